#pragma once
// Cuts HTTP/1.1 requests out of the bytes a client sends, refusing any whose head or body
// passes its bound before that part has been buffered: a head that has not ended within its
// bound, or a Content-Length over the body's bound, is refused at once. Bodies must come with a
// Content-Length; chunked ones are refused. After an error the stream cannot be followed and
// the connection must close.
#include "HttpRequest.h"

#include <QString>

class HttpRequestReader {
public:
    struct Limits {
        qsizetype headBytes = 16 * 1024; // request line and headers
        qsizetype bodyBytes = 64 * 1024;
    };
    struct Error {
        int status = 400;
        QString message;
    };
    enum class Result { Incomplete, Request, Error };

    explicit HttpRequestReader(Limits limits) : limits_(limits) {}

    void append(const QByteArray& bytes) { buffer_ += bytes; }
    // The next whole request, or the error that ends the stream.
    Result next(HttpRequest& request, Error& error);
    // Bytes taken in so far that belong to no request yet.
    qsizetype buffered() const { return buffer_.size(); }

private:
    bool readHead(const QByteArray& head, HttpRequest& request, Error& error);
    bool readHeaderLine(const QByteArray& line, HttpRequest& request, Error& error) const;
    bool readBodyLength(const HttpRequest& request, Error& error);

    Limits limits_;
    QByteArray buffer_;
    bool haveHead_ = false;
    HttpRequest head_;
    qsizetype headEnd_ = 0;
    qsizetype bodyLength_ = 0;
};
