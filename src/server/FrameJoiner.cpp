#include "FrameJoiner.h"

#include "ReplyFrame.h"

#include <span>

FrameJoiner::FrameJoiner(int boundMs, QObject* parent) : QObject(parent)
{
    bound_.setSingleShot(true);
    bound_.setInterval(boundMs);
    connect(&bound_, &QTimer::timeout, this, &FrameJoiner::boundReached);
}

QByteArray FrameJoiner::Join(const QByteArray& chunk)
{
    held_ += chunk;
    const std::span bytes(reinterpret_cast<const uint8_t*>(held_.constData()),
                          static_cast<size_t>(held_.size()));
    if (!EndsInsideFrame(bytes))
        return Release();
    // Counted from the first piece: later pieces do not extend the hold.
    if (!bound_.isActive())
        bound_.start();
    return {};
}

QByteArray FrameJoiner::Release(const QByteArray& chunk)
{
    bound_.stop();
    held_ += chunk;
    QByteArray whole;
    whole.swap(held_);
    return whole;
}
