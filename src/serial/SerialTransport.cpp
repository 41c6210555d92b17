#include "SerialTransport.h"

#include <QFileInfo>
#include <QSerialPortInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace {
const QString kNoSuchDevice = QStringLiteral("no such device");
const QString kNotSerial = QStringLiteral("not a serial device");
const QString kHeldElsewhere = QStringLiteral("held by another program");

// Passing errors in a row, with nothing read or written in between, after which a device that
// still looks alive is taken for failed all the same: a driver that rejects every request must
// not keep the port thread spinning.
constexpr int kMaxPassingErrors = 100;

// The path a port name stands for, as QSerialPort reads names: a bare name lives in /dev.
QString DevicePathFor(const QString& name)
{
#ifdef Q_OS_UNIX
    const bool isPath = name.startsWith(QLatin1Char('/')) ||
                        name.startsWith(QStringLiteral("./")) ||
                        name.startsWith(QStringLiteral("../"));
    return isPath ? name : QStringLiteral("/dev/") + name;
#else
    return name;
#endif
}

// The device itself, links resolved, so that two names for one device lock the same thing;
// empty when nothing is there.
QString CanonicalPath(const QString& path)
{
#ifdef Q_OS_UNIX
    return QFileInfo(path).canonicalFilePath();
#else
    return path;
#endif
}

bool IsCharacterDevice(const QString& path)
{
#ifdef Q_OS_UNIX
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISCHR(info.st_mode);
#else
    Q_UNUSED(path);
    return true;
#endif
}

bool AccessDenied(const QString& path)
{
#ifdef Q_OS_UNIX
    // The effective ids decide an open, and so they decide here (the real ones would not).
    const QByteArray name = QFile::encodeName(path);
    return ::faccessat(AT_FDCWD, name.constData(), R_OK | W_OK, AT_EACCESS) != 0 && errno == EACCES;
#else
    Q_UNUSED(path);
    return false;
#endif
}

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

// A hung-up or vanished device says so when polled; a merely full one does not.
bool DeviceLooksAlive(qintptr handle)
{
#ifdef Q_OS_UNIX
    pollfd probe{static_cast<int>(handle), POLLOUT, 0};
    if (::poll(&probe, 1, 0) < 0)
        return false;
    return (probe.revents & (POLLHUP | POLLERR | POLLNVAL)) == 0;
#else
    Q_UNUSED(handle);
    return true;
#endif
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
    if (devicePath.isEmpty())
        return fail(PortOpenError::Missing, kNoSuchDevice);
    if (!IsCharacterDevice(devicePath))
        return fail(PortOpenError::NotSerialDevice, kNotSerial);
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
    port_->setDataTerminalReady(true);
    port_->setRequestToSend(true);
    if (MeansDeviceFailed(port_->error()))
        return false;
    port_->clearError();
    return true;
}

bool SerialTransport::failOpen(const QString& devicePath)
{
    const QSerialPort::SerialPortError error = port_->error();
    const QString detail = port_->errorString();
    close();
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return fail(PortOpenError::Missing, kNoSuchDevice);
    case QSerialPort::PermissionError:
        // QSerialPort says "permission" both for a device the user may not open and for one
        // that is locked or held exclusively by another program.
        if (AccessDenied(devicePath))
            return fail(PortOpenError::PermissionDenied, QStringLiteral("permission denied"));
        return fail(PortOpenError::Busy, kHeldElsewhere);
    case QSerialPort::UnsupportedOperationError:
        return fail(PortOpenError::NotSerialDevice, kNotSerial);
    default:
        return fail(PortOpenError::Other, detail);
    }
}

// The terminal's exclusive mode does not hold against root, and QSerialPort's lock file
// follows the name; an advisory lock on the open device holds against every Tavlo program.
bool SerialTransport::lockDevice()
{
#ifdef Q_OS_UNIX
    if (::flock(static_cast<int>(port_->handle()), LOCK_EX | LOCK_NB) == 0)
        return true;
    close();
    return fail(PortOpenError::Busy, kHeldElsewhere);
#else
    return true;
#endif
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

qint64 SerialTransport::queuedInSystem() const
{
#if defined(Q_OS_UNIX) && defined(TIOCOUTQ)
    int queued = 0;
    if (port_ && ::ioctl(static_cast<int>(port_->handle()), TIOCOUTQ, &queued) == 0)
        return queued;
#endif
    return -1;
}

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
    if (!DeviceLooksAlive(port_->handle()))
        return false;
    return ++passingErrors_ <= kMaxPassingErrors;
}
