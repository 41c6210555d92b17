#pragma once
// The server's side of the line: opens the port, decodes every chunk into the server's own
// DeviceStatus, passes each chunk on unchanged, runs the server's own requests, and knows
// whether the line is up.
//
// Up and down are the only two states, and going up always starts a fresh acquisition. What
// was known before a loss is kept, marked stale, until the matrix has sent its whole state
// afresh; each part is replaced as it arrives, so no client sees a value blanked meanwhile. Open()
// switches the port's reconnecting on (MySerialPortComm::SetReconnect): a loss is a pause, and
// the port's return (portReconnected) brings the line up again through LineReturned().
//
// What the matrix sends is read as soon as the line pauses (MySerialPortComm's quiet gap), not
// after the port's full hold, so state changes reach clients within tens of milliseconds. Raw
// clients get each chunk as read; decoding waits, through a FrameJoiner, for the frames that a
// pause cut in two.
//
// I/O thread only; the port's notifications arrive queued.
#include "DecodedChunk.h"
#include "DeviceStatus.h"
#include "FrameJoiner.h"
#include "StatePoller.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class MySerialPortComm;
class WireSender;

class MatrixLink : public QObject {
    Q_OBJECT
public:
    MatrixLink(MySerialPortComm& port, WireSender& sender, StatePoller::Timings timings,
               QObject* parent = nullptr);

    // Opens the port at 115200 8N1; the line is up and the acquisition starts. False, with
    // nothing started, when the port cannot be opened.
    bool Open(const QString& portName);
    // The port came back (reopened by the port object): up again, with a fresh acquisition.
    void LineReturned();
    // Closes the port; callers drain the sender first.
    void Close();

    bool IsUp() const { return up_; }
    // The values may not be the matrix's: the line is down, or it came back and the whole
    // state has not arrived afresh since.
    bool IsStale() const { return !up_ || refreshing_; }
    const QString& DownReason() const { return downReason_; }
    const DeviceStatus& Status() const { return status_; }

signals:
    void chunkReceived(const QByteArray& chunk); // as read, before decoding
    void decoded(const DecodedChunk& chunk);     // Status() holds what it carried
    void linkChanged(bool up);
    void acquired(); // every block and table has arrived
    void acquisitionOverdue();

private:
    void goUp();
    void onData();
    void onJoinBound();
    QByteArray readPort();
    void decode(const QByteArray& chunk);
    void onLost(const QString& reason);

    MySerialPortComm& port_;
    DeviceStatus status_;
    StatePoller poller_;
    FrameJoiner joiner_;
    bool up_ = false;
    bool refreshing_ = false;
    uint32_t freshFrames_ = 0; // frame types decoded since the line last came up (1 << type)
    QString downReason_ = QStringLiteral("the port is not open");
};
