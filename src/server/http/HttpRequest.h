#pragma once
// One HTTP/1.1 request as the page's endpoint reads it: the header names in lower case, the
// target without its query, the body whole (its size is bounded before it is read).
#include <QByteArray>
#include <utility>
#include <vector>

struct HttpRequest {
    QByteArray method;
    QByteArray path;
    QByteArray version; // "HTTP/1.1" or "HTTP/1.0"
    std::vector<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;
    bool bareLineFeeds = false; // some line of the head ended in LF alone

    // The header's value, several of the same name joined by ", "; empty when absent.
    QByteArray header(const QByteArray& lowerName) const;
    bool hasHeader(const QByteArray& lowerName) const;
    // Whether the client wants the connection kept after the answer.
    bool keepAlive() const;
    bool isWebSocketUpgrade() const;
};
