#include "ReceiveQueue.h"

#include <algorithm>
#include <utility>

void ReceiveQueue::append(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return;
    const qint64 over = size_ + bytes.size() - bound_;
    if (over > 0) {
        dropped_ += over;
        const qint64 fromQueue = std::min(over, size_);
        removeOldest(fromQueue, nullptr);
        // A single chunk larger than the bound keeps only its newest part.
        chunks_.push_back(over > fromQueue ? bytes.right(bound_) : bytes);
    } else {
        chunks_.push_back(bytes);
    }
    size_ += chunks_.back().size();
}

QByteArray ReceiveQueue::take(qint64 maxBytes)
{
    QByteArray out;
    const qint64 count = maxBytes < 0 ? size_ : std::min(maxBytes, size_);
    out.reserve(count);
    removeOldest(count, &out);
    return out;
}

qint64 ReceiveQueue::takeDropped() { return std::exchange(dropped_, 0); }

void ReceiveQueue::clear()
{
    chunks_.clear();
    headOffset_ = 0;
    size_ = 0;
}

void ReceiveQueue::removeOldest(qint64 count, QByteArray* into)
{
    while (count > 0) {
        const QByteArray& head = chunks_.front();
        const qint64 part = std::min(head.size() - headOffset_, count);
        if (into)
            into->append(head.constData() + headOffset_, part);
        headOffset_ += part;
        size_ -= part;
        count -= part;
        if (headOffset_ == head.size()) {
            chunks_.pop_front();
            headOffset_ = 0;
        }
    }
}
