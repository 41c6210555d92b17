// SerialTransport on Unix: devices are paths, locked with flock().
#include "SerialTransportSystem.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace serial_system {

namespace {

const QString kHeldElsewhere = QStringLiteral("held by another program");

int Descriptor(QSerialPort& port) { return static_cast<int>(port.handle()); }

bool IsCharacterDevice(const QString& path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISCHR(info.st_mode);
}

bool AccessDenied(const QString& path)
{
    // The effective ids decide an open, and so they decide here (the real ones would not).
    const QByteArray name = QFile::encodeName(path);
    return ::faccessat(AT_FDCWD, name.constData(), R_OK | W_OK, AT_EACCESS) != 0 && errno == EACCES;
}

} // namespace

QString DevicePathFor(const QString& name)
{
    const bool isPath = name.startsWith(QLatin1Char('/')) ||
                        name.startsWith(QStringLiteral("./")) ||
                        name.startsWith(QStringLiteral("../"));
    return isPath ? name : QStringLiteral("/dev/") + name;
}

QString CanonicalPath(const QString& path) { return QFileInfo(path).canonicalFilePath(); }

PortOpenFailure CheckBeforeOpen(const QString& devicePath)
{
    if (devicePath.isEmpty())
        return {PortOpenError::Missing, QStringLiteral("no such device")};
    if (!IsCharacterDevice(devicePath))
        return {PortOpenError::NotSerialDevice, QStringLiteral("not a serial device")};
    return {};
}

PortOpenFailure ExplainOpenFailure(const QString& devicePath, QSerialPort::SerialPortError error,
                                   const QString& detail)
{
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return {PortOpenError::Missing, QStringLiteral("no such device")};
    case QSerialPort::PermissionError:
        // QSerialPort says "permission" both for a device the user may not open and for one
        // that is locked or held exclusively by another program.
        if (AccessDenied(devicePath))
            return {PortOpenError::PermissionDenied, QStringLiteral("permission denied")};
        return {PortOpenError::Busy, kHeldElsewhere};
    case QSerialPort::UnsupportedOperationError:
        return {PortOpenError::NotSerialDevice, QStringLiteral("not a serial device")};
    default:
        return {PortOpenError::Other, detail};
    }
}

// The terminal's exclusive mode does not hold against root, and QSerialPort's lock file
// follows the name; an advisory lock on the open device holds against every Tavlo program.
bool HoldExclusively(QSerialPort& port)
{
    return ::flock(Descriptor(port), LOCK_EX | LOCK_NB) == 0;
}

bool IsNoModemLines(QSerialPort::SerialPortError error)
{
    return error == QSerialPort::UnsupportedOperationError;
}

qint64 QueuedForSending(QSerialPort& port)
{
    int queued = 0;
    if (::ioctl(Descriptor(port), TIOCOUTQ, &queued) == 0)
        return queued;
    return -1;
}

bool DeviceLooksAlive(QSerialPort& port)
{
    pollfd probe{Descriptor(port), POLLOUT, 0};
    if (::poll(&probe, 1, 0) < 0)
        return false;
    return (probe.revents & (POLLHUP | POLLERR | POLLNVAL)) == 0;
}

} // namespace serial_system
