#pragma once
// Splits a byte stream into lines at "\n" (a "\r" before it is dropped), refusing any line
// longer than the limit before it has all arrived.
#include <QByteArray>

class LineBuffer {
public:
    enum class Result { Line, Incomplete, TooLong };

    explicit LineBuffer(qsizetype limit) : limit_(limit) {}

    void append(const QByteArray& bytes) { buffer_ += bytes; }
    // The next whole line into line; TooLong when it (or the unfinished one) passes the limit.
    Result takeLine(QByteArray& line);
    // Whatever follows the lines taken so far.
    QByteArray takeRest();
    bool isEmpty() const { return buffer_.isEmpty(); }

private:
    qsizetype limit_;
    QByteArray buffer_;
};
