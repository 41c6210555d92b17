#include "TokenTries.h"

#include <QTest>

namespace server_test {

namespace {

QByteArray tryBytes(TryOn endpoint, const QByteArray& token)
{
    switch (endpoint) {
    case TryOn::Raw:
        // A browser's request as the first command: a client past its token has it refused at
        // once, with no wait for the matrix, and one that is not is told of its token.
        return token + "\nGET / HTTP/1.1\r\n\r\n";
    case TryOn::Json:
        return "{\"id\":1,\"cmd\":\"auth\",\"token\":\"" + token + "\"}\n";
    case TryOn::Bearer:
        return "GET /api/v1/status HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer " + token +
               "\r\n\r\n";
    case TryOn::Login: {
        const QByteArray body = "{\"token\":\"" + token + "\"}";
        return "POST /api/v1/login HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: "
               "application/json\r\nContent-Length: " +
               QByteArray::number(body.size()) + "\r\n\r\n" + body;
    }
    }
    return {};
}

} // namespace

TokenTry::TokenTry(TryOn endpoint, quint16 port, const char* from, const QByteArray& token)
    : endpoint_(endpoint)
{
    QObject::connect(&socket_, &QTcpSocket::readyRead, [this] { read(); });
    socket_.bind(QHostAddress(QString::fromLatin1(from)));
    socket_.connectToHost(QHostAddress::LocalHost, port);
    (void)QTest::qWaitFor([&] { return socket_.state() == QAbstractSocket::ConnectedState; }, 3000);
    sentAt_ = Clock::now();
    socket_.write(tryBytes(endpoint, token));
    socket_.flush();
}

bool TokenTry::wait(int timeoutMs)
{
    return QTest::qWaitFor([this] { return answered_; }, timeoutMs);
}

double TokenTry::ms() const
{
    return std::chrono::duration<double, std::milli>(answeredAt_ - sentAt_).count();
}

void TokenTry::read()
{
    received_ += socket_.readAll();
    if (answered_)
        return;
    const bool http = endpoint_ == TryOn::Bearer || endpoint_ == TryOn::Login;
    if (http && received_.contains("\r\n")) {
        accepted_ = received_.startsWith("HTTP/1.1 200");
    } else if (endpoint_ == TryOn::Json && received_.contains('\n')) {
        accepted_ = received_.contains("\"ok\":true");
    } else if (endpoint_ == TryOn::Raw &&
               (received_.contains("wrong token") || received_.contains("browser request"))) {
        accepted_ = received_.contains("browser request");
    } else {
        return;
    }
    answered_ = true;
    answeredAt_ = Clock::now();
}

} // namespace server_test
