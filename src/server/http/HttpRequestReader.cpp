#include "HttpRequestReader.h"

#include <QList>
#include <algorithm>
#include <cctype>

namespace {

constexpr int kMaxHeaders = 100;

bool isTokenChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           QByteArray("!#$%&'*+-.^_`|~").contains(c);
}

bool isToken(const QByteArray& text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), isTokenChar);
}

HttpRequestReader::Error error(int status, const QString& message) { return {status, message}; }

} // namespace

void HttpRequestReader::append(const QByteArray& bytes)
{
    if (start_ > 0) {
        buffer_.remove(0, start_);
        start_ = 0;
    }
    buffer_ += bytes;
}

// A head ends at an empty line; lines may end in CR LF or LF alone. Relative to start_.
qsizetype HttpRequestReader::findHeadEnd()
{
    const QByteArrayView held = QByteArrayView(buffer_).sliced(start_);
    // Past the bound there is nothing to find: the head is too long wherever it ends.
    const qsizetype limit = std::min(held.size(), limits_.headBytes + 2);
    for (qsizetype i = std::max<qsizetype>(searchedTo_, 1); i < limit; ++i) {
        if (held[i] != '\n')
            continue;
        if (held[i - 1] == '\n')
            return i + 1;
        if (i >= 2 && held[i - 1] == '\r' && held[i - 2] == '\n')
            return i + 1;
    }
    searchedTo_ = std::max<qsizetype>(limit, 1);
    return -1;
}

HttpRequestReader::Result HttpRequestReader::next(HttpRequest& request, Error& error)
{
    if (!haveHead_) {
        // Empty lines before a request are allowed, and some clients send one after a body.
        while (buffer_.size() > start_ &&
               (buffer_[start_] == '\n' ||
                QByteArrayView(buffer_).sliced(start_).startsWith("\r\n"))) {
            start_ += buffer_[start_] == '\n' ? 1 : 2;
            searchedTo_ = 0;
        }
        const qsizetype end = findHeadEnd();
        if ((end < 0 && buffered() > limits_.headBytes) || end > limits_.headBytes) {
            error = ::error(
                431, QStringLiteral("the request's head is over %1 bytes").arg(limits_.headBytes));
            return Result::Error;
        }
        if (end < 0)
            return Result::Incomplete;
        head_ = {};
        if (!readHead(buffer_.mid(start_, end), head_, error) || !readBodyLength(head_, error))
            return Result::Error;
        haveHead_ = true;
        headEnd_ = end;
    }
    if (buffered() - headEnd_ < bodyLength_)
        return Result::Incomplete;
    request = std::move(head_);
    request.body = buffer_.mid(start_ + headEnd_, bodyLength_);
    start_ += headEnd_ + bodyLength_;
    searchedTo_ = 0;
    haveHead_ = false;
    return Result::Request;
}

bool HttpRequestReader::readHead(const QByteArray& head, HttpRequest& request, Error& error)
{
    QList<QByteArray> lines = head.split('\n');
    lines.removeLast(); // what follows the blank line's end
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        else
            request.bareLineFeeds = true;
    }
    const QList<QByteArray> start = lines.value(0).split(' ');
    if (start.size() != 3 || !isToken(start[0]) || !start[1].startsWith('/')) {
        error = ::error(400, QStringLiteral("not an HTTP request line"));
        return false;
    }
    request.method = start[0];
    const qsizetype query = start[1].indexOf('?');
    request.path = query < 0 ? start[1] : start[1].left(query);
    request.version = start[2];
    if (request.version != "HTTP/1.1" && request.version != "HTTP/1.0") {
        error = ::error(505, QStringLiteral("only HTTP/1.1 and HTTP/1.0 are spoken here"));
        return false;
    }
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (!lines[i].isEmpty() && !readHeaderLine(lines[i], request, error))
            return false;
    }
    if (request.version == "HTTP/1.1" && !request.hasHeader("host")) {
        error = ::error(400, QStringLiteral("an HTTP/1.1 request needs a Host header"));
        return false;
    }
    return true;
}

bool HttpRequestReader::readHeaderLine(const QByteArray& line, HttpRequest& request,
                                       Error& error) const
{
    const qsizetype colon = line.indexOf(':');
    // A name with space before its colon, or a line folded onto the one above, is where
    // requests are smuggled past other readers: refused, not guessed at.
    if (colon <= 0 || !isToken(line.left(colon))) {
        error = ::error(400, QStringLiteral("a malformed header line"));
        return false;
    }
    if (request.headers.size() >= kMaxHeaders) {
        error = ::error(431, QStringLiteral("more than %1 headers").arg(kMaxHeaders));
        return false;
    }
    request.headers.emplace_back(line.left(colon).toLower(), line.mid(colon + 1).trimmed());
    return true;
}

bool HttpRequestReader::readBodyLength(const HttpRequest& request, Error& error)
{
    bodyLength_ = 0;
    if (request.hasHeader("transfer-encoding")) {
        error = ::error(411, QStringLiteral("send the body with a Content-Length"));
        return false;
    }
    if (!request.hasHeader("content-length"))
        return true;
    qsizetype length = -1;
    for (const QByteArray& given : request.header("content-length").split(',')) {
        const QByteArray digits = given.trimmed();
        bool ok = digits.size() <= 18 && std::all_of(digits.begin(), digits.end(), ::isdigit);
        const qsizetype value = ok ? digits.toLongLong(&ok) : -1;
        if (!ok || (length >= 0 && value != length)) {
            error = ::error(400, QStringLiteral("a malformed Content-Length"));
            return false;
        }
        length = value;
    }
    if (length > limits_.bodyBytes) {
        error = ::error(413, QStringLiteral("a body of %1 bytes; at most %2 are taken")
                                 .arg(length)
                                 .arg(limits_.bodyBytes));
        return false;
    }
    bodyLength_ = length;
    return true;
}
