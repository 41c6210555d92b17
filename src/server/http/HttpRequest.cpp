#include "HttpRequest.h"

#include <QList>

namespace {

// "Connection: keep-alive, Upgrade" holds the word, in any case.
bool listHolds(const QByteArray& list, const QByteArray& word)
{
    for (const QByteArray& item : list.split(','))
        if (item.trimmed().compare(word, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

} // namespace

QByteArray HttpRequest::header(const QByteArray& lowerName) const
{
    QByteArray value;
    for (const auto& [name, given] : headers) {
        if (name != lowerName)
            continue;
        if (!value.isEmpty())
            value += ", ";
        value += given;
    }
    return value;
}

bool HttpRequest::hasHeader(const QByteArray& lowerName) const
{
    for (const auto& header : headers)
        if (header.first == lowerName)
            return true;
    return false;
}

bool HttpRequest::keepAlive() const
{
    const QByteArray connection = header("connection");
    if (version == "HTTP/1.0")
        return listHolds(connection, "keep-alive");
    return !listHolds(connection, "close");
}

bool HttpRequest::isWebSocketUpgrade() const
{
    return listHolds(header("connection"), "upgrade") && listHolds(header("upgrade"), "websocket");
}
