#pragma once
// Who may use the page's endpoint. Off loopback the token rule of the other endpoints holds: a
// request carries the token (Authorization: Bearer) or the cookie of a session that the login
// opened with it. And whatever the address, a browser may use the API only from this server's
// own page: a request whose Origin is another site is refused, and without a token (loopback
// only) so is one addressed by a name that another site could point at this machine.
//
// The token given (Bearer or login) is judged by the connection through the server's gate, as
// every endpoint's is; a live session's cookie is no try of the token. Sessions opened with a
// token that has since been replaced are over: a token is replaced to shut someone out.
//
// I/O thread only.
#include "HttpRequest.h"
#include "HttpResponse.h"
#include "WebSessions.h"

#include <optional>

class TokenGate;

class HttpAccess {
public:
    // secure: the page is served over TLS (https://), and its cookie is kept to it.
    explicit HttpAccess(const TokenGate& gate, bool secure = false);

    bool TokenRequired() const;
    // The refusal of a request that comes from somewhere else, or nothing.
    std::optional<HttpResponse> CheckOrigin(const HttpRequest& request) const;
    // The token an API request brings to be judged, when one is asked for and it brings one.
    std::optional<QByteArray> BearerToken(const HttpRequest& request) const;
    // For a request without a Bearer token: the refusal when it holds no session, or nothing.
    std::optional<HttpResponse> CheckSession(const HttpRequest& request);
    // The login's {"token": …}, or its refusal when it has none.
    static std::optional<HttpResponse> ReadLogin(const HttpRequest& request, QByteArray* token);
    // The answer to a login, its token judged: a session's cookie when right.
    HttpResponse LoggedIn(bool right);
    HttpResponse Logout(const HttpRequest& request);
    static HttpResponse WrongToken();

private:
    void endOldSessions();

    const TokenGate& gate_;
    bool secure_;
    int generation_; // of the token the sessions were opened with
    WebSessions sessions_;
};
