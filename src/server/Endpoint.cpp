#include "Endpoint.h"

#include "ServerErrors.h"

#include "ServerLog.h"
#include "ServerTls.h"
#include "WireSender.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <algorithm>

Endpoint::Endpoint(const QString& name, const ServerOptions& options, ClientQuota& quota,
                   TokenGate& gate, WireSender& sender, QObject* parent)
    : QObject(parent), name_(name), limits_{&gate, options.maxClientOutput, options.maxLineBytes,
                                            options.handshakeMs},
      quota_(quota), sender_(sender), server_(MakeListener(options.tls, name, this))
{
    // Not newConnection: behind TLS that comes with the bare connection, and the socket is
    // only handed on once its handshake is done.
    connect(server_, &QTcpServer::pendingConnectionAvailable, this, &Endpoint::onNewConnection);
}

Endpoint::~Endpoint()
{
    // Clients are children; they must not report to an endpoint half gone.
    for (ClientConnection* client : clients_)
        client->disconnect(this);
}

bool Endpoint::Listen(const QHostAddress& address, quint16 port, QString* error)
{
    if (server_->listen(address, port))
        return true;
    if (error)
        *error = QStringLiteral("cannot listen on %1 port %2: %3")
                     .arg(address.toString())
                     .arg(port)
                     .arg(server_->errorString());
    return false;
}

quint16 Endpoint::Port() const { return server_->serverPort(); }

void Endpoint::StopListening() { server_->close(); }

std::vector<ClientConnection*> Endpoint::Clients() const
{
    std::vector<ClientConnection*> ready;
    std::copy_if(clients_.begin(), clients_.end(), std::back_inserter(ready),
                 [](ClientConnection* c) { return c->Authorized() && !c->Closing(); });
    return ready;
}

void Endpoint::CloseAll()
{
    for (ClientConnection* client : std::vector(clients_))
        client->Close();
}

void Endpoint::onNewConnection()
{
    while (QTcpSocket* socket = server_->nextPendingConnection()) {
        const QString address = socket->peerAddress().toString();
        ClientConnection* client = makeClient(socket);
        if (const QString full = overQuota(address); !full.isEmpty()) {
            ServerLog(
                QStringLiteral("%1 client %2 refused: %3").arg(name_, client->PeerText(), full));
            client->Refuse(ServerError::TooManyClients, full + QStringLiteral("; try again later"));
            continue;
        }
        ++quota_.used;
        ++quota_.perAddress[address];
        addresses_[client] = address;
        clients_.push_back(client);
        connect(client, &ClientConnection::gone, this, &Endpoint::onGone);
        ServerLog(QStringLiteral("%1 client %2 (%3) connected")
                      .arg(name_)
                      .arg(client->Id())
                      .arg(client->PeerText()));
        client->Begin();
        welcome(client);
    }
}

void Endpoint::onGone(ClientConnection* client, const QString& why)
{
    const auto it = std::find(clients_.begin(), clients_.end(), client);
    if (it == clients_.end())
        return;
    clients_.erase(it);
    --quota_.used;
    const auto address = addresses_.find(client);
    if (--quota_.perAddress[address->second] == 0)
        quota_.perAddress.erase(address->second);
    addresses_.erase(address);
    sender_.DropSource(client->Id());
    ServerLog(QStringLiteral("%1 client %2 left: %3").arg(name_).arg(client->Id()).arg(why));
    emit clientGone(client);
}

QString Endpoint::overQuota(const QString& address) const
{
    if (quota_.used >= quota_.max)
        return QStringLiteral("the server already has %1 clients").arg(quota_.max);
    const auto from = quota_.perAddress.find(address);
    if (from != quota_.perAddress.end() && from->second >= quota_.maxPerAddress)
        return QStringLiteral("the server already has %1 clients from %2")
            .arg(quota_.maxPerAddress)
            .arg(address);
    return {};
}
