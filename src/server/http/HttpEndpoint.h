#pragma once
// The page's endpoint: the page and its files, the JSON API as REST under /api/v1/, and the
// page's WebSocket (/api/v1/ws), which carries the same requests, replies and events as the
// JSON endpoint. Every request goes through the JSON endpoint's one dispatch; the clients count
// against the server's one client quota.
//
// I/O thread only.
#include "Endpoint.h"
#include "HttpAccess.h"
#include "HttpRequestReader.h"
#include "WebAssets.h"

class ApiEndpoint;
class HttpClient;

class HttpEndpoint : public Endpoint {
    Q_OBJECT
public:
    HttpEndpoint(const ServerOptions& options, ClientQuota& quota, TokenGate& gate,
                 WireSender& sender, ApiEndpoint& api, QObject* parent = nullptr);

    // Every WebSocket is told goodbye, every connection closed.
    void Shutdown();

protected:
    ClientConnection* makeClient(QTcpSocket* socket) override;

private:
    void serve(HttpClient& client, const HttpRequest& request);
    void serveApi(HttpClient& client, const HttpRequest& request, const QString& name);
    void serveAuthorized(HttpClient& client, const HttpRequest& request, const QString& name);
    void respondToLogin(HttpClient& client, const HttpRequest& request, const QString& name);
    void serveRequest(HttpClient& client, const HttpRequest& request, const QString& cmd);
    void openWebSocket(HttpClient& client, const HttpRequest& request);
    void dispatch(HttpClient& client, const HttpRequest& request, const QString& cmd);
    void onPublished(const QByteArray& eventLine);

    ApiEndpoint& api_;
    HttpAccess access_;
    WebAssets assets_;
    HttpRequestReader::Limits httpLimits_;
};
