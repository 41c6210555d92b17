#pragma once
// Joins the chunks read from the matrix so that decoding sees whole frames. A chunk read when
// the line paused in the middle of a frame is held, and the next joined to it, until the bytes
// held end outside every frame. Holding is bounded: when boundMs have passed since it began,
// boundReached() asks the owner to add what the port holds and release the lot as it stands,
// which is what a reader that does not join would have decoded.
//
// I/O thread only.
#include <QByteArray>
#include <QObject>
#include <QTimer>

class FrameJoiner : public QObject {
    Q_OBJECT
public:
    explicit FrameJoiner(int boundMs, QObject* parent = nullptr);

    // What is held with the chunk after it; empty while that still ends inside a frame.
    QByteArray Join(const QByteArray& chunk);
    // What is held with the chunk after it, however they end; nothing is held afterwards.
    QByteArray Release(const QByteArray& chunk = {});
    bool IsHolding() const { return !held_.isEmpty(); }

signals:
    void boundReached();

private:
    QByteArray held_;
    QTimer bound_;
};
