#pragma once
// A connection to the page's endpoint: HTTP/1.1 requests answered one at a time, in order, and
// kept alive between them; or, once its first request asked for it, a WebSocket that carries
// the JSON requests, replies and events one message each.
//
// As a peer of the JSON dispatch it answers the request in hand (HTTP) or the message it came
// in (WebSocket). A connection that has not brought a whole request within its time is closed,
// and so is one whose WebSocket handshake has not finished within it.
//
// Requests are read one at a time: while one is in hand nothing more is read, so a connection
// holds one head and one body at most however much its client pipelines. With a token, a
// connection that has not shown it (see Authenticate) is closed after the token's deadline, and
// any 401 answer closes the connection.
//
// I/O thread only.
#include "ApiPeer.h"
#include "ClientConnection.h"
#include "HttpRequestReader.h"
#include "HttpResponse.h"

#include <QTimer>
#include <functional>

class QWebSocket;
class QWebSocketServer;

class HttpClient : public ClientConnection, public ApiPeer {
    Q_OBJECT
public:
    using RequestHandler = std::function<void(HttpClient& client, const HttpRequest& request)>;
    // A well-formed request from the WebSocket: an object with "id" and "cmd".
    using MessageHandler =
        std::function<void(HttpClient& client, const QJsonValue& id, const QJsonObject& request)>;

    HttpClient(QTcpSocket* socket, const ClientLimits& limits, HttpRequestReader::Limits http,
               RequestHandler onRequest, QObject* parent = nullptr);
    ~HttpClient() override;

    // Answers the request in hand; the next one is read after it.
    void Respond(const HttpResponse& response);
    // The request in hand carried the token or a session: the connection may stay.
    void Authenticate() { MarkAuthorized(); }
    // The token of the request in hand; its answer may come later.
    using ClientConnection::JudgeToken;
    // Hands the connection to a WebSocket, with the request in hand as its opening handshake;
    // false (nothing done) unless that request was the connection's first and nothing follows
    // it.
    bool Upgrade(MessageHandler onMessage);
    bool IsWebSocket() const { return webSocket_ != nullptr; }
    // Says goodbye as a WebSocket does, then closes.
    void CloseWebSocket(const QString& reason);

    QObject* Lifetime() override { return this; }
    uint64_t SourceId() const override { return Id(); }
    void Reply(const QJsonValue& id, const QJsonObject& fields = {}) override;
    void Fail(const QJsonValue& id, const char* code, const QString& message) override;
    void SendLine(const QByteArray& line) override;

    // The HTTP status that goes with an error code of the JSON API.
    static int StatusFor(const char* code);

protected:
    void onInput(const QByteArray& bytes) override;
    QByteArray formatRefusal(const char* code, const QString& message) const override;
    qsizetype inputRoom() const override;
    void onJudged() override;

private:
    void readNext();
    void take(const HttpRequest& request);
    void onUpgraded();
    void onMessage(const QString& text);
    void sendMessage(const QJsonObject& object);
    void onIdle();

    QTcpSocket* tcp_;
    HttpRequestReader reader_;
    RequestHandler onRequest_;
    MessageHandler onMessage_;
    QTimer idle_;
    bool busy_ = false; // a request is in hand
    bool firstRequest_ = true;
    bool keepAlive_ = true;
    bool withBody_ = true;
    QWebSocketServer* upgrader_ = nullptr;
    QWebSocket* webSocket_ = nullptr;
};
