#pragma once
// What the port has received and nobody has read yet, held up to a bound. Past the bound the
// oldest bytes are dropped and counted: a reader that falls behind a flood is brought back to
// the present rather than served ever older data, and memory stays bounded whatever the peer
// sends. Not thread-safe: the port thread alone uses it.
#include <QByteArray>
#include <deque>

class ReceiveQueue {
public:
    explicit ReceiveQueue(qint64 bound) : bound_(bound) {}

    void append(const QByteArray& bytes);
    // The oldest bytes, at most maxBytes of them (negative: all), removed from the queue.
    QByteArray take(qint64 maxBytes);
    qint64 size() const { return size_; }
    // Bytes dropped since the last call.
    qint64 takeDropped();
    void clear();

private:
    // Removes the oldest count bytes, copying them to into when it is given.
    void removeOldest(qint64 count, QByteArray* into);

    qint64 bound_;
    std::deque<QByteArray> chunks_; // appended whole, so a chunk is never copied on the way in
    qint64 headOffset_ = 0;         // bytes of the first chunk already taken or dropped
    qint64 size_ = 0;
    qint64 dropped_ = 0;
};
