#include "Endpoint.h"

#include "ServerErrors.h"

#include "ServerLog.h"
#include "ServerTls.h"
#include "WireSender.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <algorithm>

Endpoint::Endpoint(const QString& name, const ServerOptions& options, ClientQuota& quota,
                   WireSender& sender, QObject* parent)
    : QObject(parent), name_(name), limits_{options.token, options.maxClientOutput,
                                            options.maxLineBytes, options.handshakeMs},
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
        ClientConnection* client = makeClient(socket);
        if (quota_.used >= quota_.max) {
            ServerLog(QStringLiteral("%1 client %2 refused: %3 clients already")
                          .arg(name_, client->PeerText())
                          .arg(quota_.max));
            client->Refuse(ServerError::TooManyClients,
                           QStringLiteral("the server already has %1 clients; try again later")
                               .arg(quota_.max));
            continue;
        }
        ++quota_.used;
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
    if (client->CutOff())
        sender_.DropSource(client->Id());
    ServerLog(QStringLiteral("%1 client %2 left: %3").arg(name_).arg(client->Id()).arg(why));
    emit clientGone(client);
}
