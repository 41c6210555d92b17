#include "MatrixLink.h"

#include "Cp936.h"
#include "MySerialPortComm.h"
#include "ReplyDecoder.h"
#include "ServerLog.h"

#include <span>

namespace {

constexpr int kBaudRate = 115200;
// Longer than the pauses a USB serial adapter leaves inside a stream (it hands on what it has
// every 16 ms at most), so a frame is seldom cut, and the joiner mends the rare one that is.
// Not the 30 ms that ends a raw client's command: every millisecond here is waited by every
// state change on its way to clients, and a longer gap would only make cut frames rarer, which
// the joiner already makes harmless.
constexpr int kQuietGapMs = 20;

} // namespace

MatrixLink::MatrixLink(MySerialPortComm& port, WireSender& sender, StatePoller::Timings timings,
                       QObject* parent)
    : QObject(parent), port_(port),
      poller_(
          sender, [this] { return IsWholeState(freshFrames_); }, timings),
      joiner_(MySerialPortComm::kReceiveHoldMs)
{
    ResetDeviceStatus(status_);
    connect(&joiner_, &FrameJoiner::boundReached, this, &MatrixLink::onJoinBound);
    connect(&poller_, &StatePoller::acquired, this, &MatrixLink::acquired);
    connect(&poller_, &StatePoller::overdue, this, &MatrixLink::acquisitionOverdue);
}

bool MatrixLink::Open(const QString& portName)
{
    connect(&port_, &MySerialPortComm::dataReceived, this, &MatrixLink::onData,
            Qt::UniqueConnection);
    connect(&port_, &MySerialPortComm::portLost, this, &MatrixLink::onLost, Qt::UniqueConnection);
    // With the port's reconnecting on, a loss is only a pause.
    connect(&port_, &MySerialPortComm::portLostWaiting, this, &MatrixLink::onLost,
            Qt::UniqueConnection);
    connect(&port_, &MySerialPortComm::portReconnected, this, &MatrixLink::LineReturned,
            Qt::UniqueConnection);
    // A server is left running for weeks: an adapter replugged or a matrix restarted must not
    // end its service.
    port_.SetReconnect(true);
    port_.SetReceiveQuietGap(kQuietGapMs);
    if (!port_.OpenPortByName(portName, kBaudRate)) {
        downReason_ = port_.LastOpenErrorText();
        return false;
    }
    goUp();
    return true;
}

void MatrixLink::LineReturned()
{
    if (up_ || !port_.IsOpen())
        return;
    // The matrix may have restarted, been reset or replaced meanwhile: what is known stays
    // stale until all of it has been heard again.
    refreshing_ = status_.framesReceived.load() != 0;
    goUp();
}

void MatrixLink::Close()
{
    poller_.Stop();
    joiner_.Release();
    port_.ClosePort();
    disconnect(&port_, nullptr, this, nullptr);
    if (!up_)
        return;
    up_ = false;
    downReason_ = QStringLiteral("the server closed the port");
    emit linkChanged(false);
}

void MatrixLink::goUp()
{
    up_ = true;
    freshFrames_ = 0;
    downReason_.clear();
    emit linkChanged(true);
    poller_.Start();
}

void MatrixLink::onData() { decode(joiner_.Join(readPort())); }

// A frame still unfinished after the port's full hold is not coming whole: decode what there is.
void MatrixLink::onJoinBound() { decode(joiner_.Release(readPort())); }

// Raw clients get the bytes as soon as they are read, whether or not they end a frame.
QByteArray MatrixLink::readPort()
{
    // Everything held, not one serial-sized read: a network port can hold more, and what is
    // left behind would wait for the next notification.
    const QByteArray chunk = port_.ReadAvailable();
    if (const qint64 lost = port_.TakeDroppedBytes(); lost > 0)
        ServerLog(QStringLiteral("%1 bytes from the matrix were dropped unread").arg(lost));
    if (!chunk.isEmpty())
        emit chunkReceived(chunk);
    return chunk;
}

void MatrixLink::decode(const QByteArray& chunk)
{
    if (chunk.isEmpty())
        return;
    const std::string text =
        DecodeChunk(status_, std::span(reinterpret_cast<const uint8_t*>(chunk.constData()),
                                       static_cast<size_t>(chunk.size())));
    DecodedChunk result{chunk, DecodeCp936(text), CountValidFrames(chunk)};
    for (const auto& [type, count] : result.frames) {
        if (type >= 0 && type < 32)
            freshFrames_ |= 1u << type;
    }
    if (refreshing_ && IsWholeState(freshFrames_))
        refreshing_ = false;
    poller_.CheckWhole();
    emit decoded(result);
}

void MatrixLink::onLost(const QString& reason)
{
    poller_.Stop();
    joiner_.Release(); // a frame begun before the loss will not be finished
    up_ = false;
    downReason_ = reason;
    emit linkChanged(false);
}
