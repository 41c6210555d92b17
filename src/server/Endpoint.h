#pragma once
// A listening address of the server and the clients connected to it. The number of clients is
// bounded across all endpoints by one shared quota, and so is the number from one address; a
// client over either is told and closed. A client that goes away, for whatever reason, has
// what it still has waiting dropped: nobody is left to hear how it went. Every endpoint asks
// for the token through the server's one gate (TokenGate).
//
// I/O thread only.
#include "ClientConnection.h"
#include "ServerOptions.h"

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <map>
#include <vector>

class QTcpServer;
class QTcpSocket;
class TokenGate;
class WireSender;

struct ClientQuota {
    int max = 64;
    int maxPerAddress = 16;
    int used = 0;
    std::map<QString, int> perAddress; // clients connected, by the address they came from
};

class Endpoint : public QObject {
    Q_OBJECT
public:
    Endpoint(const QString& name, const ServerOptions& options, ClientQuota& quota, TokenGate& gate,
             WireSender& sender, QObject* parent = nullptr);
    ~Endpoint() override;

    // False, with the reason, when the address cannot be bound.
    bool Listen(const QHostAddress& address, quint16 port, QString* error);
    quint16 Port() const;
    // Stops accepting; connected clients stay.
    void StopListening();
    // Every client that is connected and past its handshake.
    std::vector<ClientConnection*> Clients() const;
    void CloseAll();
    int ClientCount() const { return static_cast<int>(clients_.size()); }

signals:
    void clientGone(ClientConnection* client);

protected:
    virtual ClientConnection* makeClient(QTcpSocket* socket) = 0;
    WireSender& Sender() const { return sender_; }
    const ClientLimits& Limits() const { return limits_; }
    // A new client, already counted and begun; refuse it here if it cannot be served now.
    virtual void welcome(ClientConnection* client) { Q_UNUSED(client); }

private:
    void onNewConnection();
    void onGone(ClientConnection* client, const QString& why);
    // Why the client cannot be taken now, or an empty string.
    QString overQuota(const QString& address) const;

    QString name_;
    ClientLimits limits_;
    ClientQuota& quota_;
    WireSender& sender_;
    QTcpServer* server_;
    std::vector<ClientConnection*> clients_;
    std::map<ClientConnection*, QString> addresses_;
};
