#include "BrokerProxy.h"

#include <QTcpSocket>

namespace mqtt_test {

BrokerProxy::BrokerProxy(quint16 brokerPort) : brokerPort_(brokerPort)
{
    server_.listen(QHostAddress::LocalHost, 0);
    connect(&server_, &QTcpServer::newConnection, this, &BrokerProxy::onNewConnection);
}

void BrokerProxy::HoldUpstream(bool hold)
{
    hold_ = hold;
    if (!hold_) {
        for (auto& pair : pairs_)
            relayUp(*pair);
    }
}

void BrokerProxy::Cut()
{
    std::vector<std::unique_ptr<Pair>> gone = std::move(pairs_);
    pairs_.clear();
    for (auto& pair : gone) {
        pair->bridge->disconnect(this);
        pair->broker->disconnect(this);
        pair->bridge->abort();
        pair->broker->abort();
        pair->bridge->deleteLater();
        pair->broker->deleteLater();
    }
    hold_ = false;
}

void BrokerProxy::onNewConnection()
{
    while (QTcpSocket* bridge = server_.nextPendingConnection()) {
        auto pair = std::make_unique<Pair>();
        pair->bridge = bridge;
        pair->broker = new QTcpSocket(this);
        Pair* p = pair.get();
        connect(bridge, &QTcpSocket::readyRead, this, [this, p] { relayUp(*p); });
        connect(p->broker, &QTcpSocket::readyRead, this,
                [p] { p->bridge->write(p->broker->readAll()); });
        connect(bridge, &QTcpSocket::disconnected, p->broker, &QTcpSocket::disconnectFromHost);
        connect(p->broker, &QTcpSocket::disconnected, bridge, &QTcpSocket::disconnectFromHost);
        p->broker->connectToHost(QHostAddress::LocalHost, brokerPort_);
        pairs_.push_back(std::move(pair));
    }
}

// Written while the broker side is still connecting, the bytes wait in its buffer.
void BrokerProxy::relayUp(Pair& pair)
{
    pair.held += pair.bridge->readAll();
    if (hold_)
        return;
    pair.broker->write(pair.held);
    pair.held.clear();
}

} // namespace mqtt_test
