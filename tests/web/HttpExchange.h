#pragma once
// One HTTP exchange over a real loopback socket, written byte for byte as the test gives it, so
// that malformed and oversized requests can be sent as they are.
#include <QByteArray>
#include <QJsonObject>
#include <QTcpSocket>

namespace web_test {

struct HttpAnswer {
    int status = 0; // 0: no answer in time
    QByteArray head;
    QByteArray body;
    bool closed = false; // the server closed the connection after it

    QByteArray header(const QByteArray& name) const;
    QJsonObject json() const;
    QString errorCode() const { return json()["error"].toObject()["code"].toString(); }
};

class HttpExchange {
public:
    explicit HttpExchange(quint16 port);
    // Writes the bytes and reads one answer.
    HttpAnswer send(const QByteArray& bytes, int timeoutMs = 5000);
    QTcpSocket& socket() { return socket_; }

private:
    QTcpSocket socket_;
    QByteArray pending_;
};

// A whole request: method, path, extra header lines ("Name: value\r\n" each), body.
QByteArray Request(const QByteArray& method, const QByteArray& path, const QByteArray& headers = {},
                   const QByteArray& body = {});
QByteArray JsonPost(const QByteArray& path, const QJsonObject& body,
                    const QByteArray& headers = {});

} // namespace web_test
