#include "SerialTransport.h"

#include "SerialTransportSystem.h"

#include <QSerialPortInfo>

using namespace serial_system;

namespace {
// Passing errors in a row, with nothing read or written in between, after which a device that
// still looks alive is taken for failed all the same: a driver that rejects every request must
// not keep the port thread spinning.
constexpr int kMaxPassingErrors = 100;

// Errors that say the device is gone or broken. The rest are refusals of one request (modem
// lines on a device that has none), time-outs of a bounded wait, or calls on a closed port,
// and the device goes on working after them.
bool MeansDeviceFailed(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::NoError:
    case QSerialPort::TimeoutError:
    case QSerialPort::UnsupportedOperationError:
    case QSerialPort::NotOpenError:
        return false;
    default:
        return true;
    }
}

// QSerialPort's own error text is taken from errno, which after a read that simply returned
// nothing is whatever an earlier call left there ("Inappropriate ioctl for device"); say what
// happened in plain words instead.
QString LossReason(const QString& portName, QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::ReadError:
        return QStringLiteral("%1 can no longer be read; the device may have been removed")
            .arg(portName);
    case QSerialPort::WriteError:
        return QStringLiteral("%1 can no longer be written; the device may have been removed")
            .arg(portName);
    case QSerialPort::ResourceError:
        return QStringLiteral("%1 is no longer available; the device may have been removed")
            .arg(portName);
    default:
        return QStringLiteral("%1 failed (error %2)").arg(portName).arg(int(error));
    }
}

} // namespace

SerialTransport::SerialTransport(const QString& portName)
    : name_(portName), stablePath_(DevicePathFor(portName))
{
}

SerialTransport::~SerialTransport() { close(); }

bool SerialTransport::open(int baudRate)
{
    const QString devicePath = CanonicalPath(stablePath_);
    if (!openDevice(devicePath, baudRate))
        return false;
    identity_ = AdapterIdentity::At(devicePath);
    return true;
}

void SerialTransport::reopen(int baudRate)
{
    const QString devicePath = findReturnedAdapter();
    if (devicePath.isEmpty()) {
        fail(PortOpenError::Missing, QStringLiteral("not back yet"));
        emit reopenFailed(failure());
    } else if (openDevice(devicePath, baudRate)) {
        emit reopened();
    } else {
        emit reopenFailed(failure());
    }
}

bool SerialTransport::openDevice(const QString& devicePath, int baudRate)
{
    close();
    if (const PortOpenFailure refused = CheckBeforeOpen(devicePath); refused.failed())
        return fail(refused.error, refused.text);
    port_ = new QSerialPort(this);
    port_->setPortName(devicePath);
    // The line settings go in before open so that the device never runs at a stale rate;
    // configure() below sets them again and reports whether the driver took them.
    port_->setBaudRate(baudRate);
    if (!port_->open(QIODevice::ReadWrite))
        return failOpen(devicePath);
    if (!lockDevice())
        return false;
    port_->clear(QSerialPort::AllDirections);
    if (!configure(baudRate)) {
        close();
        return fail(PortOpenError::Other,
                    QStringLiteral("the device does not take 8N1 at %1 baud").arg(baudRate));
    }
    if (!raiseModemLines()) {
        const QString detail = port_->errorString();
        close();
        return fail(PortOpenError::Other, detail);
    }
    passingErrors_ = 0;
    connect(port_, &QSerialPort::bytesWritten, this, [this] { passingErrors_ = 0; });
    connect(port_, &QSerialPort::readyRead, this, [this] { passingErrors_ = 0; });
    connect(port_, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError e) { onError(e); });
    succeed();
    return true;
}

// Drivers raise both lines when a device opens, and some adapters and matrices need them;
// QSerialPort may have lowered them. A device without modem lines (a pseudo-terminal)
// refuses, which is no failure of the device.
bool SerialTransport::raiseModemLines()
{
    for (auto raise : {&QSerialPort::setDataTerminalReady, &QSerialPort::setRequestToSend}) {
        if (!(port_->*raise)(true) && !IsNoModemLines(port_->error()) &&
            MeansDeviceFailed(port_->error()))
            return false;
        port_->clearError();
    }
    return true;
}

bool SerialTransport::failOpen(const QString& devicePath)
{
    const PortOpenFailure why =
        ExplainOpenFailure(devicePath, port_->error(), port_->errorString());
    close();
    return fail(why.error, why.text);
}

bool SerialTransport::lockDevice()
{
    if (HoldExclusively(*port_))
        return true;
    close();
    return fail(PortOpenError::Busy, QStringLiteral("held by another program"));
}

// The device behind the stable path if it is the same adapter; else, when the adapter carries
// a serial number, wherever the system lists that adapter now.
QString SerialTransport::findReturnedAdapter() const
{
    const QString atStablePath = CanonicalPath(stablePath_);
    if (!atStablePath.isEmpty() && identity_.admitsDeviceAt(atStablePath))
        return atStablePath;
    if (identity_.serialNumber.isEmpty())
        return {};
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        if (identity_.admits(AdapterIdentity::Of(info)))
            return info.systemLocation();
    }
    return {};
}

bool SerialTransport::configure(int baudRate)
{
    if (!port_)
        return false;
    // No flow control, set explicitly: the binary reply frames carry the XON and XOFF bytes,
    // which software flow control would swallow.
    return port_->setBaudRate(baudRate) && port_->setDataBits(QSerialPort::Data8) &&
           port_->setParity(QSerialPort::NoParity) && port_->setStopBits(QSerialPort::OneStop) &&
           port_->setFlowControl(QSerialPort::NoFlowControl);
}

void SerialTransport::close()
{
    if (!port_)
        return;
    // QSerialPort drops its own buffer on close; the driver's queue is flushed only when it
    // still holds bytes, because on a pseudo-terminal a flush also throws away what the other
    // side has not read yet, which has long left this port.
    if (port_->isOpen() && queuedInSystem() != 0)
        port_->clear(QSerialPort::Output);
    port_->disconnect(this);
    port_->close();
    delete port_;
    port_ = nullptr;
}

qint64 SerialTransport::queuedInSystem() const { return port_ ? QueuedForSending(*port_) : -1; }

// Some drivers (a pseudo-terminal whose master is gone) keep signalling the same error for as
// long as the descriptor is watched, so further signals are cut off first.
void SerialTransport::onError(QSerialPort::SerialPortError error)
{
    if (!port_ || !MeansDeviceFailed(error))
        return;
    if (isPassingError(error)) {
        port_->clearError();
        return;
    }
    disconnect(port_, &QSerialPort::errorOccurred, this, nullptr);
    emit lost(LossReason(name_, error));
}

// Two errors QSerialPort reports come and go on a device that works:
// - a write into a full driver queue (EAGAIN) is reported as ResourceError, the same code as
//   a device that is gone; QSerialPort keeps the bytes and writes them when it can;
// - a read notification that finds nothing is reported as ReadError. That happens when a
//   bounded wait (waitForBytesWritten, in a drain) has already read the bytes that woke the
//   notification, which the event loop then still delivers.
// A device that does not report a hang-up when polled tells them apart from a real loss.
bool SerialTransport::isPassingError(QSerialPort::SerialPortError error)
{
    const bool stalledWrite =
        (error == QSerialPort::ResourceError || error == QSerialPort::WriteError) &&
        port_->bytesToWrite() > 0;
    if (!stalledWrite && error != QSerialPort::ReadError)
        return false;
    if (!DeviceLooksAlive(*port_))
        return false;
    return ++passingErrors_ <= kMaxPassingErrors;
}
