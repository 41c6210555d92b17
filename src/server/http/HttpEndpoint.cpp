#include "HttpEndpoint.h"

#include "ApiEndpoint.h"
#include "ApiRequests.h"
#include "HttpClient.h"
#include "ServerErrors.h"
#include "ServerLog.h"

namespace {

constexpr char kApiPrefix[] = "/api/v1/";

HttpResponse notAllowed(const QByteArray& allowed)
{
    return HttpResponse::Error(405, ServerError::BadRequest,
                               QStringLiteral("this takes %1 only").arg(QLatin1String(allowed)))
        .with("Allow", allowed);
}

bool isRead(const HttpRequest& request)
{
    return request.method == "GET" || request.method == "HEAD";
}

// A POST's body must say it is JSON: a page of another site can send other types without
// asking first, but not this one.
std::optional<HttpResponse> checkJsonBody(const HttpRequest& request)
{
    const QByteArray type = request.header("content-type").split(';').first().trimmed().toLower();
    if (type == "application/json")
        return std::nullopt;
    return HttpResponse::Error(415, ServerError::BadRequest,
                               QStringLiteral("send the body as application/json"));
}

} // namespace

HttpEndpoint::HttpEndpoint(const ServerOptions& options, ClientQuota& quota, TokenGate& gate,
                           WireSender& sender, ApiEndpoint& api, QObject* parent)
    : Endpoint(QStringLiteral("web"), options, quota, gate, sender, parent), api_(api),
      access_(gate, options.tls.has_value()), httpLimits_{options.maxHttpHeadBytes,
                                                          options.maxLineBytes}
{
    connect(&api_, &ApiEndpoint::published, this, &HttpEndpoint::onPublished);
    connect(this, &Endpoint::clientGone, this,
            [this](ClientConnection* client) { api_.PeerGone(*static_cast<HttpClient*>(client)); });
}

void HttpEndpoint::Shutdown()
{
    for (ClientConnection* client : Clients()) {
        auto* http = static_cast<HttpClient*>(client);
        if (http->IsWebSocket())
            http->CloseWebSocket(QStringLiteral("the server is ending"));
    }
    CloseAll();
}

ClientConnection* HttpEndpoint::makeClient(QTcpSocket* socket)
{
    // The token is asked of each request, not in a handshake; a connection that has shown it
    // by the token's deadline may stay (see serveApi), others are closed then.
    return new HttpClient(
        socket, Limits(), httpLimits_,
        [this](HttpClient& client, const HttpRequest& request) { serve(client, request); }, this);
}

void HttpEndpoint::serve(HttpClient& client, const HttpRequest& request)
{
    if (auto refusal = access_.CheckOrigin(request)) {
        client.Respond(*refusal);
        return;
    }
    if (request.path.startsWith(kApiPrefix)) {
        serveApi(client, request,
                 QString::fromUtf8(request.path.mid(qsizetype(strlen(kApiPrefix)))));
        return;
    }
    if (!isRead(request)) {
        client.Respond(notAllowed("GET, HEAD"));
        return;
    }
    if (auto file = assets_.Serve(request)) {
        client.Respond(*file);
        return;
    }
    client.Respond(HttpResponse::Error(404, ServerError::UnknownCommand,
                                       QStringLiteral("no such page; the page is at /")));
}

void HttpEndpoint::serveApi(HttpClient& client, const HttpRequest& request, const QString& name)
{
    if (name == QLatin1String("login") || name == QLatin1String("logout")) {
        if (request.method != "POST")
            client.Respond(notAllowed("POST"));
        else if (auto refusal = checkJsonBody(request); refusal && name == QLatin1String("login"))
            client.Respond(*refusal);
        else
            respondToLogin(client, request, name);
        return;
    }
    // The client stays busy with this request while its token waits to be judged.
    if (const std::optional<QByteArray> token = access_.BearerToken(request)) {
        client.JudgeToken(*token, [this, &client, request, name](bool right) {
            if (right)
                serveAuthorized(client, request, name);
            else
                client.Respond(HttpAccess::WrongToken());
        });
        return;
    }
    if (auto refusal = access_.CheckSession(request)) {
        client.Respond(*refusal);
        return;
    }
    serveAuthorized(client, request, name);
}

void HttpEndpoint::serveAuthorized(HttpClient& client, const HttpRequest& request,
                                   const QString& name)
{
    client.Authenticate();
    if (name == QLatin1String("ws"))
        openWebSocket(client, request);
    else
        serveRequest(client, request, name);
}

void HttpEndpoint::respondToLogin(HttpClient& client, const HttpRequest& request,
                                  const QString& name)
{
    if (name == QLatin1String("logout")) {
        client.Respond(access_.Logout(request));
        return;
    }
    QByteArray token;
    if (auto refusal = HttpAccess::ReadLogin(request, &token)) {
        client.Respond(*refusal);
        return;
    }
    if (!access_.TokenRequired()) {
        client.Authenticate();
        client.Respond(access_.LoggedIn(true));
        return;
    }
    client.JudgeToken(token, [this, &client](bool right) {
        if (right)
            client.Authenticate();
        client.Respond(access_.LoggedIn(right));
    });
}

void HttpEndpoint::serveRequest(HttpClient& client, const HttpRequest& request, const QString& cmd)
{
    const bool read = cmd == QLatin1String("status");
    if (!read && !IsActionRequest(cmd)) {
        client.Respond(HttpResponse::Error(
            404, ServerError::UnknownCommand,
            QStringLiteral("no request \"%1\" under /api/v1/ (see docs/api.md)").arg(cmd)));
        return;
    }
    if (read != isRead(request)) {
        client.Respond(notAllowed(read ? "GET, HEAD" : "POST"));
        return;
    }
    if (auto refusal = read ? std::nullopt : checkJsonBody(request)) {
        client.Respond(*refusal);
        return;
    }
    dispatch(client, request, cmd);
}

void HttpEndpoint::openWebSocket(HttpClient& client, const HttpRequest& request)
{
    if (request.method != "GET" || !request.isWebSocketUpgrade()) {
        client.Respond(HttpResponse::Error(400, ServerError::BadRequest,
                                           QStringLiteral("this is the page's WebSocket; open "
                                                          "it as one")));
        return;
    }
    // What Qt's handshake would wait on for ever, or drop without a word.
    if (request.bareLineFeeds || request.header("sec-websocket-key").isEmpty() ||
        request.header("sec-websocket-version") != "13") {
        client.Respond(HttpResponse::Error(400, ServerError::BadRequest,
                                           QStringLiteral("a WebSocket handshake needs lines "
                                                          "ending in CR LF, a Sec-WebSocket-Key "
                                                          "and Sec-WebSocket-Version 13")));
        return;
    }
    const bool upgraded =
        client.Upgrade([this](HttpClient& peer, const QJsonValue& id, const QJsonObject& message) {
            api_.Handle(peer, id, message);
        });
    if (!upgraded) {
        client.Respond(HttpResponse::Error(400, ServerError::BadRequest,
                                           QStringLiteral("open the WebSocket on a connection "
                                                          "of its own")));
        return;
    }
    ServerLog(QStringLiteral("web client %1 opened the WebSocket").arg(client.Id()));
}

// The path names the request and the body holds its fields, as a JSON request would.
void HttpEndpoint::dispatch(HttpClient& client, const HttpRequest& request, const QString& cmd)
{
    QJsonObject fields;
    if (!request.body.trimmed().isEmpty()) {
        QString why;
        const std::optional<QJsonObject> body = ReadJsonObject(request.body, &why);
        if (!body) {
            client.Fail(QJsonValue::Null, ServerError::BadJson, why);
            return;
        }
        fields = *body;
    }
    const QJsonValue id = 1; // an HTTP answer goes to its request: the id is not shown
    fields.insert("id", id);
    fields.insert("cmd", cmd);
    api_.Handle(client, id, fields);
}

void HttpEndpoint::onPublished(const QByteArray& eventLine)
{
    for (ClientConnection* client : Clients()) {
        auto* http = static_cast<HttpClient*>(client);
        if (http->IsWebSocket() && http->Subscribed())
            http->SendLine(eventLine);
    }
}
