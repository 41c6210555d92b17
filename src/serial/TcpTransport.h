#pragma once
// A TCP connection behind the port object (see PortTransport), for a port named
// socket://HOST:PORT: a serial device server, or tavloctl serve. The line settings belong to
// whatever holds the real line, so configuring succeeds and does nothing.
#include "PortTransport.h"

#include <QAbstractSocket>

class QTcpSocket;
class QTimer;

class TcpTransport : public PortTransport {
    Q_OBJECT
public:
    // How long a connection may take before the open counts as timed out.
    static constexpr int kConnectTimeoutMs = 3000;

    explicit TcpTransport(const QString& portName);
    ~TcpTransport() override;

    bool open(int baudRate) override;
    void reopen(int baudRate) override;
    bool configure(int baudRate) override;
    void close() override;
    QIODevice* device() const override;
    qint64 queuedInSystem() const override;

private:
    bool makeSocket();
    bool failConnect(QAbstractSocket::SocketError error);
    void onReopenConnected();
    void onReopenFailed(QAbstractSocket::SocketError error);
    void attach();
    void reportLost(const QString& reason);

    QString name_;
    QString host_;
    quint16 port_ = 0;
    QTcpSocket* socket_ = nullptr; // one per connection
    QTimer* connectBound_ = nullptr;
};
