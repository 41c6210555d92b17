#include "LineBuffer.h"

LineBuffer::Result LineBuffer::takeLine(QByteArray& line)
{
    const qsizetype end = buffer_.indexOf('\n');
    if (end < 0)
        return buffer_.size() > limit_ ? Result::TooLong : Result::Incomplete;
    if (end > limit_)
        return Result::TooLong;
    line = buffer_.left(end);
    if (line.endsWith('\r'))
        line.chop(1);
    buffer_.remove(0, end + 1);
    return Result::Line;
}

QByteArray LineBuffer::takeRest()
{
    QByteArray rest;
    rest.swap(buffer_);
    return rest;
}
