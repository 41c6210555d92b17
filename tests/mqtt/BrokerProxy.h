#pragma once
// A TCP relay between the bridge and the broker, to lose a connection at the worst moment:
// what the bridge sends can be held back (its acknowledgements never reach the broker), and
// every connection can be cut at once, as a network would drop them. Runs on the test's
// event loop.
#include <QByteArray>
#include <QObject>
#include <QTcpServer>
#include <memory>
#include <vector>

class QTcpSocket;

namespace mqtt_test {

class BrokerProxy : public QObject {
    Q_OBJECT
public:
    explicit BrokerProxy(quint16 brokerPort);

    quint16 Port() const { return server_.serverPort(); }
    // While held, the bridge's bytes are kept here instead of reaching the broker.
    void HoldUpstream(bool hold);
    // Every connection closed at once; bytes held back are lost with it.
    void Cut();
    int Connections() const { return static_cast<int>(pairs_.size()); }

private:
    struct Pair {
        QTcpSocket* bridge;
        QTcpSocket* broker;
        QByteArray held;
    };
    void onNewConnection();
    void relayUp(Pair& pair);

    quint16 brokerPort_;
    QTcpServer server_;
    std::vector<std::unique_ptr<Pair>> pairs_;
    bool hold_ = false;
};

} // namespace mqtt_test
