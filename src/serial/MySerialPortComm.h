#pragma once
// The one serial connection to the matrix. The QSerialPort lives on the port's own thread (the
// monitor thread); every call below may come from any thread and is carried out there.
//
// - Writes are queued to the port thread: serialised by construction and put on the wire at
//   once, even while the calling thread sleeps in one of its pauses.
// - When at least 2 bytes are queued the port waits 500 ms (bytes arriving meanwhile join the
//   first ones) and then emits dataReceived, which receivers on other threads get queued.
// - A port that fails for good while open (adapter pulled, line gone) is closed by the port
//   object itself and portLost is emitted once.
// - Every operation on a closed port returns 0/false and does nothing else.
#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>

class QThread;

class MySerialPortComm : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxRead = 16384;

    MySerialPortComm();
    ~MySerialPortComm() override; // closes the port if open, ends the port thread

    // Opens the port by name (COM3, ttyUSB0) or device path (/dev/pts/4) at the baud rate with
    // 8 data bits, no parity, one stop bit; flow control stays as the driver has it. An open
    // port is closed first. False when the device cannot be opened or set up.
    bool OpenPortByName(const QString& portName, int baudRate);
    bool ConfigureLine(int baudRate);
    bool IsOpen() const;

    // Queues the bytes for the port thread; returns the count queued, 0 when closed.
    int WritePort(const QByteArray& bytes);
    // Whatever is queued, at most kMaxRead bytes; empty when closed or nothing is queued.
    QByteArray ReadPort();
    // Blocks until every byte written so far has left the port, or the time is up.
    bool DrainOutput(int timeoutMs);
    // Discards unsent output, stops the monitor, closes the device.
    void ClosePort();

signals:
    // Bytes accepted by WritePort, emitted on the writer's thread as they are queued (so a
    // receiver on another thread sees them in the order they go out).
    void dataWritten(const QByteArray& bytes);
    void dataReceived();                  // the receive notification
    void portLost(const QString& reason); // the device failed while open; the port is closed

private:
    class Worker;
    QThread* thread_;
    Worker* worker_;
};

// The program's one port.
MySerialPortComm& GlobalSerialPort();
