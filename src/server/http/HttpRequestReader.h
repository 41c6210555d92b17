#pragma once
// Cuts HTTP/1.1 requests out of the bytes a client sends, refusing any whose head or body
// passes its bound before that part has been buffered: a head that has not ended within its
// bound, or a Content-Length over the body's bound, is refused at once. Bodies must come with a
// Content-Length; chunked ones are refused. After an error the stream cannot be followed and
// the connection must close.
//
// The end of a head is looked for only within the head's bound, and each byte once, however the
// bytes are cut; what is held is one head and one body at most (HttpClient reads no more).
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

    void append(const QByteArray& bytes);
    // The next whole request, or the error that ends the stream.
    Result next(HttpRequest& request, Error& error);
    // Bytes taken in so far that belong to no request yet.
    qsizetype buffered() const { return buffer_.size() - start_; }
    // The most a request's head and body take together: what a client needs to have read.
    qsizetype wholeRequestBytes() const { return limits_.headBytes + limits_.bodyBytes; }

private:
    bool readHead(const QByteArray& head, HttpRequest& request, Error& error);
    bool readHeaderLine(const QByteArray& line, HttpRequest& request, Error& error) const;
    bool readBodyLength(const HttpRequest& request, Error& error);

    Limits limits_;
    // Where the next head ends, or -1, searching from searchedTo_ onwards.
    qsizetype findHeadEnd();

    QByteArray buffer_;
    qsizetype start_ = 0;      // the first byte of the request being read
    qsizetype searchedTo_ = 0; // bytes from start_ that hold no end of a head
    bool haveHead_ = false;
    HttpRequest head_;
    qsizetype headEnd_ = 0;
    qsizetype bodyLength_ = 0;
};
