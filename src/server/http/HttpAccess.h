#pragma once
// Who may use the page's endpoint. Off loopback the token rule of the other endpoints holds: a
// request carries the token (Authorization: Bearer) or the cookie of a session that the login
// opened with it. And whatever the address, a browser may use the API only from this server's
// own page: a request whose Origin is another site is refused, and without a token (loopback
// only) so is one addressed by a name that another site could point at this machine.
//
// I/O thread only.
#include "HttpRequest.h"
#include "HttpResponse.h"
#include "WebSessions.h"

#include <optional>

class HttpAccess {
public:
    // secure: the page is served over TLS (https://), and its cookie is kept to it.
    explicit HttpAccess(QByteArray token, bool secure = false)
        : token_(std::move(token)), secure_(secure)
    {
    }

    bool TokenRequired() const { return !token_.isEmpty(); }
    // The refusal of a request that comes from somewhere else, or nothing.
    std::optional<HttpResponse> CheckOrigin(const HttpRequest& request) const;
    // The refusal of a request without the token or a session, or nothing.
    std::optional<HttpResponse> CheckToken(const HttpRequest& request);
    // {"token": …} opens a session; its cookie goes with the answer.
    HttpResponse Login(const HttpRequest& request);
    HttpResponse Logout(const HttpRequest& request);

private:
    QByteArray token_;
    bool secure_;
    WebSessions sessions_;
};
