#include "LineBuffer.h"

void LineBuffer::append(const QByteArray& bytes)
{
    if (start_ > 0) {
        buffer_.remove(0, start_);
        start_ = 0;
    }
    buffer_ += bytes;
}

LineBuffer::Result LineBuffer::takeLine(QByteArray& line)
{
    const qsizetype end = buffer_.indexOf('\n', start_);
    if (end < 0)
        return size() > limit_ ? Result::TooLong : Result::Incomplete;
    if (end - start_ > limit_)
        return Result::TooLong;
    line = buffer_.mid(start_, end - start_);
    if (line.endsWith('\r'))
        line.chop(1);
    start_ = end + 1;
    if (start_ == buffer_.size()) {
        buffer_.clear();
        start_ = 0;
    }
    return Result::Line;
}

QByteArray LineBuffer::takeRest()
{
    QByteArray rest = buffer_.mid(start_);
    buffer_.clear();
    start_ = 0;
    return rest;
}
