#pragma once
// The JSON endpoint: requests in, replies and events out, one JSON object per line. It keeps
// the state document as it was last published, so a request for the state costs nothing and a
// block that changes nothing publishes nothing.
//
// It is also the one dispatch of requests: the page's WebSockets and HTTP requests come here
// through Handle() as its own clients do, and take the same events through published().
//
// I/O thread only.
#include "Endpoint.h"
#include "PendingActions.h"
#include "ServerOptions.h"

#include <QJsonObject>

class ApiClient;
class ApiPeer;
class MatrixLink;
class WireSender;
struct DecodedChunk;

class ApiEndpoint : public Endpoint {
    Q_OBJECT
public:
    ApiEndpoint(const ServerOptions& options, ClientQuota& quota, TokenGate& gate,
                WireSender& sender, const MatrixLink& link, QObject* parent = nullptr);

    void OnDecoded(const DecodedChunk& chunk);
    void OnLinkChanged(bool up);
    void OnCommandDone(quint64 ticket, bool onWire);
    // The server is ending: every request still open is answered, every client gets the
    // shutdown event and is closed.
    void Shutdown();

    // A well-formed request (an object with "id" and "cmd") from any front end, past its
    // token; the peer takes the reply.
    void Handle(ApiPeer& peer, const QJsonValue& id, const QJsonObject& request);
    // The peer has gone: what it still waits for is not answered.
    void PeerGone(const ApiPeer& peer);

signals:
    // Every event as it goes to the subscribers, for those of the other front ends.
    void published(const QByteArray& eventLine);

protected:
    ClientConnection* makeClient(QTcpSocket* socket) override;

private:
    void subscribe(ApiPeer& client, const QJsonValue& id);
    void act(ApiPeer& client, const QJsonValue& id, const QString& cmd, const QJsonObject& request);
    int waitMs(const QJsonObject& request) const;
    void submit(ApiPeer& client, const QJsonValue& id, PendingActions::Request request);
    bool refreshState();
    void publish(const QByteArray& eventLine);
    QByteArray linkEvent() const;
    QByteArray stateEvent() const;

    int defaultWaitMs_;
    int maxWaitMs_;
    const MatrixLink& link_;
    PendingActions pending_;
    QJsonObject state_;
};
