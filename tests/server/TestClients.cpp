#include "TestClients.h"

#include <QJsonDocument>
#include <QTest>

namespace server_test {

namespace {

// With the event loop running: the server accepts in this same thread.
void connectTo(QTcpSocket& socket, quint16 port)
{
    socket.connectToHost(QHostAddress::LocalHost, port);
    (void)QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::ConnectedState; }, 3000);
}

} // namespace

JsonClient::JsonClient(quint16 port)
{
    QObject::connect(&socket_, &QTcpSocket::readyRead, [this] { readLines(); });
    connectTo(socket_, port);
}

void JsonClient::send(const QJsonObject& request)
{
    sendBytes(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
}

void JsonClient::sendBytes(const QByteArray& bytes)
{
    socket_.write(bytes);
    socket_.flush();
}

std::optional<JsonClient::Message>
JsonClient::waitFor(const std::function<bool(const QJsonObject&)>& match, int timeoutMs)
{
    std::optional<Message> found;
    (void)QTest::qWaitFor(
        [&] {
            for (const Message& message : messages_) {
                if (match(message.object)) {
                    found = message;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    return found;
}

std::optional<JsonClient::Message> JsonClient::reply(int id, int timeoutMs)
{
    return waitFor([id](const QJsonObject& o) { return o.value("id") == id; }, timeoutMs);
}

std::optional<JsonClient::Message> JsonClient::event(const QString& name, int timeoutMs)
{
    return waitFor([name](const QJsonObject& o) { return o.value("event") == name; }, timeoutMs);
}

QJsonObject JsonClient::request(QJsonObject request, int timeoutMs)
{
    const int id = ++nextId_;
    request.insert("id", id);
    send(request);
    const std::optional<Message> answer = reply(id, timeoutMs);
    return answer ? answer->object : QJsonObject{};
}

bool JsonClient::waitClosed(int timeoutMs)
{
    return QTest::qWaitFor([this] { return socket_.state() == QAbstractSocket::UnconnectedState; },
                           timeoutMs);
}

void JsonClient::readLines()
{
    pending_ += socket_.readAll();
    for (qsizetype end = pending_.indexOf('\n'); end >= 0; end = pending_.indexOf('\n')) {
        const QByteArray line = pending_.left(end);
        pending_.remove(0, end + 1);
        messages_.push_back({QJsonDocument::fromJson(line).object(), Clock::now()});
    }
}

RawClient::RawClient(quint16 port)
{
    QObject::connect(&socket_, &QTcpSocket::readyRead, [this] { received_ += socket_.readAll(); });
    connectTo(socket_, port);
}

void RawClient::send(const QByteArray& bytes)
{
    socket_.write(bytes);
    socket_.flush();
}

bool RawClient::waitReceived(const std::function<bool(const QByteArray&)>& done, int timeoutMs)
{
    return QTest::qWaitFor([&] { return done(received_); }, timeoutMs);
}

bool RawClient::waitClosed(int timeoutMs)
{
    return QTest::qWaitFor([this] { return socket_.state() == QAbstractSocket::UnconnectedState; },
                           timeoutMs);
}

} // namespace server_test
