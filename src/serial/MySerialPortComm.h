#pragma once
// The one connection to the matrix: a serial device, or a TCP connection for a port named
// socket://HOST:PORT (a serial device server, tavloctl serve). Callers never learn which; both
// behave alike in everything below. The device lives on the port's own thread; every call
// below may come from any thread and is carried out there. LastOpenError() and
// LastOpenErrorText() are kept on the opening side: read them on the thread that opened.
//
// - Writes are queued to the port thread: serialised by construction and put on the wire at
//   once, even while the calling thread sleeps in one of its pauses.
// - Received bytes are held until read, up to kMaxHeldUnread; beyond that the oldest are
//   dropped and counted (TakeDroppedBytes), so a flood cannot grow memory without bound.
// - When at least 2 bytes are held the port waits 500 ms (bytes arriving meanwhile join the
//   first ones) and then emits dataReceived, which receivers on other threads get queued.
//   With a quiet gap set (SetReceiveQuietGap), it also emits as soon as the line has been
//   quiet that long; the 500 ms stay the bound, so a line that never pauses is still handed
//   on every 500 ms.
// - A port that fails for good while open (adapter pulled, line gone, connection closed) is
//   closed by the port object itself and portLost is emitted once. With reconnecting on (see
//   SetReconnect) it is reported with portLostWaiting instead, and the port comes back by
//   itself when the device does.
// - Every operation on a closed port returns 0/false and does nothing else.
#include "PortOpenError.h"
#include "RemoteAccess.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>

class PortCalls;
class QThread;

class MySerialPortComm : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxRead = 16384;
    // At 115200 baud a line needs a minute and a half to send this much: a real matrix never
    // reaches it, even with the reader held up; only a flood over a network port does.
    static constexpr qint64 kMaxHeldUnread = 1 << 20;
    // How long received bytes are held before dataReceived, at most.
    static constexpr int kReceiveHoldMs = 500;

    MySerialPortComm();
    ~MySerialPortComm() override; // closes the port if open, ends the port thread

    // Opens the port by name (COM3, ttyUSB0), device path (/dev/pts/4, links resolved) or
    // socket://HOST:PORT, at the baud rate with 8 data bits, no parity, one stop bit and no
    // flow control, then raises DTR and RTS. On Unix the device is locked against every other
    // Tavlo program, whatever name it uses. An open port is closed first. False when the
    // device cannot be opened or set up; LastOpenError() then says why. A connection is given
    // a few seconds at most.
    bool OpenPortByName(const QString& portName, int baudRate);
    PortOpenError LastOpenError() const { return lastOpenFailure_.error; }
    // The reason in plain words, without the port's name: "held by another program".
    QString LastOpenErrorText() const { return lastOpenFailure_.text; }
    // Succeeds and does nothing on a network port: the line belongs to the far end.
    bool ConfigureLine(int baudRate);
    bool IsOpen() const;

    // Queues the bytes for the port thread; returns the count queued, 0 when closed.
    int WritePort(const QByteArray& bytes);
    // The oldest bytes held, at most kMaxRead of them; empty when closed or nothing is held.
    QByteArray ReadPort();
    // Everything held (at most kMaxHeldUnread bytes); empty when closed or nothing is held.
    QByteArray ReadAvailable();
    // Bytes dropped unread since the last call, because more than kMaxHeldUnread was held.
    qint64 TakeDroppedBytes();
    // Blocks until every byte written so far has left the port (for a network port: has been
    // taken by the peer, where the system can tell), or the time is up.
    bool DrainOutput(int timeoutMs);
    // Discards unsent output, stops the monitor, closes the device; stops waiting for a lost
    // port to return.
    void ClosePort();

    // Coming back after a loss; off by default, as a program would choose for its run.
    // With it on, a port lost while open is not closed for good:
    // - portLostWaiting(reason) is emitted instead of portLost, and the port counts as closed
    //   (IsOpen() false, writes dropped) while IsWaitingToReconnect() is true;
    // - the port object looks for the same adapter as soon as the system reports a device
    //   arriving, and else about once a second: a serial device by
    //   the name it was opened with (a /dev/serial/by-id link stays right across replugs) and,
    //   where the system reports them, by serial number, vendor and product, never another
    //   adapter; a network port reconnects to the same address;
    // - it reopens it with the same line settings and emits portReconnected();
    // - a reopen that fails (busy, permission, refused) is retried with backoff up to 8 s, and
    //   each new reason is emitted once through reconnectFailing(reason), in plain words
    //   without the port's name: "held by another program", "connection refused".
    // ClosePort() and OpenPortByName() stop the waiting; SetReconnect(false) stops it too and
    // then reports the loss with portLost, as if reconnecting had been off.
    void SetReconnect(bool on);
    bool IsWaitingToReconnect() const;

    // Ends the receive hold early once the line has been quiet for gapMs after the last byte;
    // 0, the default, keeps the full hold. A program's choice for its run, kept across opens.
    // Worth it for a reader that copes with a reply handed on in pieces, as a pause in the
    // middle of one still ends the hold.
    void SetReceiveQuietGap(int gapMs);

    // The token and trust shown to servers behind network ports (socket://, tls://) from the
    // next open on; kept across opens and reconnections.
    void SetRemoteAccess(const RemoteAccess& access);
    // Why the port was last lost: TokenNeeded or TokenRefused when a server refused this
    // program (such a loss is final, with reconnecting on too), Other for any other loss.
    // Set before portLost is emitted.
    PortOpenError LastLossError() const;

    // A port named socket://HOST:PORT or tls://HOST:PORT is a network port; names for the system's
    // port list pass such a name through as it is.
    static bool IsSocketPortName(const QString& portName);

signals:
    // Bytes accepted by WritePort, emitted on the writer's thread as they are queued (so a
    // receiver on another thread sees them in the order they go out).
    void dataWritten(const QByteArray& bytes);
    // The rest are emitted on the port thread; receivers on other threads get them queued.
    void dataReceived();                          // the receive notification
    void portLost(const QString& reason);         // failed while open; the port is closed
    void portLostWaiting(const QString& reason);  // lost, and waiting for it to return
    void portReconnected();                       // open again after portLostWaiting
    void reconnectFailing(const QString& reason); // still waiting: a reopen failed, and why

private:
    class Worker;
    QThread* thread_;
    Worker* worker_;
    PortCalls* calls_; // every call into the worker goes through here
    PortOpenFailure lastOpenFailure_;
};

// The program's one port.
MySerialPortComm& GlobalSerialPort();
