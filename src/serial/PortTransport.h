#pragma once
// What carries the port's bytes: a serial device or a TCP connection. The port object owns one
// per open and uses it from the port thread only; everything the two have in common (the
// receive notification, pacing, reporting a loss once, coming back after it) lives above, in
// MySerialPortComm, so no caller learns which one it talks to.
#include "PortOpenError.h"
#include "RemoteAccess.h"

#include <QObject>
#include <memory>

class QIODevice;

class PortTransport : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Opens the device the transport was made for at the baud rate with 8 data bits, no
    // parity and one stop bit; bounded in time. On failure the transport is closed and
    // failure() says why.
    virtual bool open(int baudRate) = 0;
    // Opens again, after a loss, the very adapter (or address) the last open reached, with
    // the given rate. Emits reopened() or reopenFailed(): at once, or later for a transport
    // that must wait for its peer. A reopenFailed() whose error is Missing means "not back
    // yet"; any other error is a real failure.
    virtual void reopen(int baudRate) = 0;
    virtual bool configure(int baudRate) = 0;
    // Discards unsent output and closes; no signal follows.
    virtual void close() = 0;

    // The open byte stream; null when closed.
    virtual QIODevice* device() const = 0;
    // What has arrived for the reader, when device() says readyRead. A transport may keep back
    // bytes that are not the matrix's (a server's refusal).
    virtual QByteArray takeReceived();
    // Bytes handed to the system that have not left yet; -1 when the system cannot tell.
    virtual qint64 queuedInSystem() const = 0;

    const PortOpenFailure& failure() const { return failure_; }

    // A port named socket://HOST:PORT or tls://HOST:PORT is a TCP connection (shown the
    // access's token, trusting its CA); anything else a serial device.
    static std::unique_ptr<PortTransport> ForPortName(const QString& portName,
                                                      const RemoteAccess& access = {});
    static bool IsSocketPortName(const QString& portName);

signals:
    // The open device failed for good (unplugged, hung up, connection closed). Emitted at
    // most once per open.
    void lost(const QString& reason);
    void reopened();
    void reopenFailed(const PortOpenFailure& failure);

protected:
    bool fail(PortOpenError error, const QString& text);
    void succeed() { failure_ = {}; }

private:
    PortOpenFailure failure_;
};
