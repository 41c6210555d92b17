#include "BrowserRequest.h"

#include <QByteArray>

namespace {

bool isUpper(char c) { return c >= 'A' && c <= 'Z'; }

bool isNameChar(char c)
{
    return isUpper(c) || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

// The length of the method at the start ("POST"), or 0.
qsizetype methodLength(QByteArrayView bytes)
{
    qsizetype n = 0;
    while (n < bytes.size() && isUpper(bytes[n]))
        ++n;
    return n;
}

// A method, one space, and a target that is a path or "*".
bool startsWithMethodAndPath(QByteArrayView bytes)
{
    const qsizetype method = methodLength(bytes);
    if (method < 3 || method + 1 >= bytes.size() || bytes[method] != ' ')
        return false;
    const char target = bytes[method + 1];
    return target == '/' || target == '*';
}

} // namespace

bool LooksLikeHttpRequestLine(QByteArrayView line)
{
    if (!startsWithMethodAndPath(line))
        return false;
    const qsizetype version = line.lastIndexOf(QByteArrayView(" HTTP/"));
    return version > methodLength(line);
}

bool LooksLikeHttpHeaderLine(QByteArrayView line)
{
    qsizetype n = 0;
    while (n < line.size() && isNameChar(line[n]))
        ++n;
    return n > 0 && n < line.size() && line[n] == ':';
}

bool LooksLikeHttpRequest(QByteArrayView bytes)
{
    if (startsWithMethodAndPath(bytes))
        return true;
    for (qsizetype start = 0; start < bytes.size();) {
        qsizetype end = bytes.indexOf('\n', start);
        if (end < 0)
            end = bytes.size();
        if (bytes.sliced(start, end - start).trimmed().toByteArray().toLower().startsWith("host:"))
            return true;
        start = end + 1;
    }
    return false;
}
