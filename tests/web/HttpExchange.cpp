#include "HttpExchange.h"

#include <QJsonDocument>
#include <QTest>

namespace web_test {

QByteArray HttpAnswer::header(const QByteArray& name) const
{
    for (const QByteArray& line : head.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

QJsonObject HttpAnswer::json() const { return QJsonDocument::fromJson(body).object(); }

HttpExchange::HttpExchange(quint16 port)
{
    socket_.connectToHost(QHostAddress::LocalHost, port);
    socket_.waitForConnected(3000);
}

HttpAnswer HttpExchange::send(const QByteArray& bytes, int timeoutMs)
{
    socket_.write(bytes);
    HttpAnswer answer;
    const auto whole = [&] {
        pending_ += socket_.readAll();
        const qsizetype end = pending_.indexOf("\r\n\r\n");
        if (end < 0)
            return false;
        answer.head = pending_.left(end);
        const qsizetype length = answer.header("Content-Length").toLongLong();
        if (pending_.size() < end + 4 + length)
            return false;
        answer.body = pending_.mid(end + 4, length);
        pending_.remove(0, end + 4 + length);
        return true;
    };
    if (!QTest::qWaitFor(whole, timeoutMs))
        return answer;
    answer.status = answer.head.split(' ').value(1).toInt();
    if (answer.header("Connection") == "close")
        answer.closed = QTest::qWaitFor(
            [&] { return socket_.state() == QAbstractSocket::UnconnectedState; }, timeoutMs);
    return answer;
}

QByteArray Request(const QByteArray& method, const QByteArray& path, const QByteArray& headers,
                   const QByteArray& body)
{
    QByteArray request = method + ' ' + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers;
    if (!body.isEmpty())
        request += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    return request + "\r\n" + body;
}

QByteArray JsonPost(const QByteArray& path, const QJsonObject& body, const QByteArray& headers)
{
    return Request("POST", path, "Content-Type: application/json\r\n" + headers,
                   QJsonDocument(body).toJson(QJsonDocument::Compact));
}

} // namespace web_test
