#pragma once
// Splits a byte stream into lines at "\n" (a "\r" before it is dropped), refusing any line
// longer than the limit before it has all arrived. Lines are taken from a read position, so a
// buffer of many short lines is not moved once per line.
#include <QByteArray>

class LineBuffer {
public:
    enum class Result { Line, Incomplete, TooLong };

    explicit LineBuffer(qsizetype limit) : limit_(limit) {}

    void append(const QByteArray& bytes);
    // The next whole line into line; TooLong when it (or the unfinished one) passes the limit.
    Result takeLine(QByteArray& line);
    // Whatever follows the lines taken so far.
    QByteArray takeRest();
    bool isEmpty() const { return size() == 0; }
    // Bytes held that no line taken yet has used.
    qsizetype size() const { return buffer_.size() - start_; }

private:
    qsizetype limit_;
    QByteArray buffer_;
    qsizetype start_ = 0;
};
