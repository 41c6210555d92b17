#include "HttpAccess.h"

#include "ServerErrors.h"
#include "TokenGate.h"

#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

// "127.0.0.1:8080", "localhost", "[::1]:8080": the name without its port.
QByteArray hostName(const QByteArray& host)
{
    if (host.startsWith('['))
        return host.mid(1, host.indexOf(']') - 1);
    const qsizetype colon = host.lastIndexOf(':');
    return colon < 0 ? host : host.left(colon);
}

bool isLoopbackName(const QByteArray& host)
{
    const QByteArray name = hostName(host).toLower();
    return name == "localhost" || QHostAddress(QString::fromLatin1(name)).isLoopback();
}

HttpResponse unauthorized(const QString& message)
{
    return HttpResponse::Error(401, ServerError::Unauthorized, message);
}

} // namespace

HttpAccess::HttpAccess(const TokenGate& gate, bool secure)
    : gate_(gate), secure_(secure), generation_(gate.Generation())
{
}

bool HttpAccess::TokenRequired() const { return gate_.Required(); }

std::optional<HttpResponse> HttpAccess::CheckOrigin(const HttpRequest& request) const
{
    const QByteArray host = request.header("host");
    // Without a Host it is no browser's: they all name the host they mean.
    if (!TokenRequired() && request.hasHeader("host") && !isLoopbackName(host))
        return HttpResponse::Error(403, ServerError::Forbidden,
                                   QStringLiteral("without a token the page is served to "
                                                  "loopback addresses only, not to \"%1\"")
                                       .arg(QString::fromLatin1(host)));
    if (!request.hasHeader("origin"))
        return std::nullopt; // not a browser's cross-site request: a program, or a plain visit
    const QByteArray origin = request.header("origin");
    if (origin.compare((secure_ ? "https://" : "http://") + host, Qt::CaseInsensitive) == 0)
        return std::nullopt;
    return HttpResponse::Error(
        403, ServerError::Forbidden,
        QStringLiteral("requests from pages of %1 are not taken").arg(QString::fromLatin1(origin)));
}

std::optional<QByteArray> HttpAccess::BearerToken(const HttpRequest& request) const
{
    const QByteArray authorization = request.header("authorization");
    if (!TokenRequired() || !authorization.startsWith("Bearer "))
        return std::nullopt;
    return authorization.mid(7).trimmed();
}

std::optional<HttpResponse> HttpAccess::CheckSession(const HttpRequest& request)
{
    endOldSessions();
    if (!TokenRequired() || sessions_.Holds(request.header("cookie")))
        return std::nullopt;
    return unauthorized(
        QStringLiteral("log in first, or send the token as \"Authorization: Bearer TOKEN\""));
}

std::optional<HttpResponse> HttpAccess::ReadLogin(const HttpRequest& request, QByteArray* token)
{
    const QJsonValue given = QJsonDocument::fromJson(request.body).object().value("token");
    if (!given.isString())
        return HttpResponse::Error(400, ServerError::BadRequest,
                                   QStringLiteral("the login needs {\"token\": \"…\"}"));
    *token = given.toString().toUtf8();
    return std::nullopt;
}

HttpResponse HttpAccess::LoggedIn(bool right)
{
    if (!right)
        return WrongToken();
    endOldSessions();
    HttpResponse ok = HttpResponse::Json(200, {{"ok", true}});
    if (TokenRequired())
        ok.with("Set-Cookie", WebSessions::SetCookie(sessions_.Open(), secure_));
    return ok;
}

void HttpAccess::endOldSessions()
{
    if (generation_ == gate_.Generation())
        return;
    generation_ = gate_.Generation();
    sessions_ = WebSessions();
}

HttpResponse HttpAccess::WrongToken() { return unauthorized(QStringLiteral("wrong token")); }

HttpResponse HttpAccess::Logout(const HttpRequest& request)
{
    sessions_.Close(request.header("cookie"));
    return HttpResponse::Json(200, {{"ok", true}})
        .with("Set-Cookie", WebSessions::ExpiredCookie(secure_));
}
