#pragma once
// A TCP connection behind the port object (see PortTransport), for a port named
// socket://HOST:PORT (a serial device server, or tavloctl serve) or tls://HOST:PORT (tavloctl
// serve behind TLS). The line settings belong to whatever holds the real line, so configuring
// succeeds and does nothing.
//
// With a token (RemoteAccess) the token line goes first on every connection, reconnections
// included, as the server's raw endpoint expects; a server's refusal at the start of the
// stream is told as what it is ("the server refused the token"), never as a lost line. A tls://
// port verifies the server's certificate against the CA given or the system's CAs, and its
// name against HOST, on every connection; one that does not verify is refused with the reason.
#include "PortTransport.h"
#include "RemoteAccess.h"
#include "ServerRefusal.h"

#include <QAbstractSocket>
#include <QList>
#include <QSslCertificate>

class QTcpSocket;
class QTimer;

class TcpTransport : public PortTransport {
    Q_OBJECT
public:
    // How long a connection (its TLS handshake included) may take before the open counts as
    // timed out.
    static constexpr int kConnectTimeoutMs = 3000;

    TcpTransport(const QString& portName, RemoteAccess access);
    ~TcpTransport() override;

    bool open(int baudRate) override;
    void reopen(int baudRate) override;
    bool configure(int baudRate) override;
    void close() override;
    QIODevice* device() const override;
    QByteArray takeReceived() override;
    qint64 queuedInSystem() const override;

private:
    bool makeSocket();
    void startConnecting();
    bool failConnect(QAbstractSocket::SocketError error);
    void onReopenConnected();
    void onReopenFailed(QAbstractSocket::SocketError error);
    void attach();
    bool reportRefusal();
    void reportLost(const QString& reason);

    QString name_;
    QString host_;
    quint16 port_ = 0;
    bool tls_ = false;
    RemoteAccess access_;
    QList<QSslCertificate> trusted_; // from access_.caFile; empty: the system's
    QTcpSocket* socket_ = nullptr;   // one per connection; a QSslSocket for tls://
    QTimer* connectBound_ = nullptr;
    ServerRefusal refusal_{QString()};
    bool lostReported_ = false;
};
