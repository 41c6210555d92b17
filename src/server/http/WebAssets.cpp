#include "WebAssets.h"

#include <QCryptographicHash>
#include <QFile>
#include <map>

namespace {

struct Asset {
    QByteArray contentType;
    QByteArray body;
    QByteArray etag;
};

// The page may load only its own files and talk only to its own server.
constexpr char kPagePolicy[] = "default-src 'self'; connect-src 'self'; img-src 'self' data:; "
                               "frame-ancestors 'none'; base-uri 'none'; form-action 'self'";

const std::map<QByteArray, Asset>& assets()
{
    static const std::map<QByteArray, Asset> files = [] {
        const std::pair<const char*, const char*> list[] = {
            {"/index.html", "text/html; charset=utf-8"},
            {"/app.js", "text/javascript; charset=utf-8"},
            {"/style.css", "text/css; charset=utf-8"},
            {"/icon.svg", "image/svg+xml"},
        };
        std::map<QByteArray, Asset> loaded;
        for (const auto& [path, type] : list) {
            QFile file(QStringLiteral(":/web") + QLatin1String(path));
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QByteArray body = file.readAll();
            const QByteArray hash = QCryptographicHash::hash(body, QCryptographicHash::Sha256);
            loaded[path] = {type, body, '"' + hash.toHex().left(32) + '"'};
        }
        return loaded;
    }();
    return files;
}

} // namespace

std::optional<HttpResponse> WebAssets::Serve(const HttpRequest& request) const
{
    const QByteArray path = request.path == "/" ? QByteArray("/index.html") : request.path;
    const auto it = assets().find(path);
    if (it == assets().end())
        return std::nullopt;
    const Asset& asset = it->second;
    HttpResponse response;
    response.with("ETag", asset.etag).with("Cache-Control", "no-cache");
    if (asset.contentType.startsWith("text/html"))
        response.with("Content-Security-Policy", kPagePolicy);
    if (request.header("if-none-match") == asset.etag) {
        response.status = 304;
        return response;
    }
    response.contentType = asset.contentType;
    response.body = asset.body;
    return response;
}
