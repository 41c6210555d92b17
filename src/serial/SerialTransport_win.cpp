// SerialTransport on Windows: COM ports, which the system opens for one program only.
#include "SerialTransportSystem.h"

#include "WindowsOpenError.h"

#include <QRegularExpression>

#include <windows.h>

namespace serial_system {

namespace {

HANDLE Handle(QSerialPort& port) { return reinterpret_cast<HANDLE>(port.handle()); }

const wchar_t* Wide(const QString& text) { return reinterpret_cast<const wchar_t*>(text.utf16()); }

// The system's own answer for opening the device, asked again because QSerialPort keeps only
// its own coarse kind of error.
DWORD OpenErrorCode(const QString& devicePath)
{
    const HANDLE probe = CreateFileW(Wide(devicePath), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                     OPEN_EXISTING, 0, nullptr);
    if (probe == INVALID_HANDLE_VALUE)
        return GetLastError();
    CloseHandle(probe);
    return ERROR_SUCCESS;
}

} // namespace

QString DevicePathFor(const QString& name)
{
    static const QRegularExpression comName(QStringLiteral("^COM[0-9]+$"),
                                            QRegularExpression::CaseInsensitiveOption);
    if (comName.match(name).hasMatch())
        return QStringLiteral("\\\\.\\") + name.toUpper();
    return name;
}

QString CanonicalPath(const QString& path) { return path; }

PortOpenFailure CheckBeforeOpen(const QString& devicePath)
{
    if (devicePath.isEmpty())
        return {PortOpenError::Missing, QStringLiteral("no such port")};
    return {};
}

PortOpenFailure ExplainOpenFailure(const QString& devicePath, QSerialPort::SerialPortError error,
                                   const QString& detail)
{
    const DWORD code = OpenErrorCode(devicePath);
    if (code != ERROR_SUCCESS)
        return OpenFailureForWindowsError(code, detail);
    // It opens now: the first attempt met a passing state (the other program let go).
    if (error == QSerialPort::PermissionError)
        return {PortOpenError::Busy, QStringLiteral("held by another program")};
    return {PortOpenError::Other, detail};
}

// Windows opens a COM port for one program at a time already.
bool HoldExclusively(QSerialPort&) { return true; }

// Windows reports a refused EscapeCommFunction (a line without modem lines) as an unknown
// error, not as an unsupported request.
bool IsNoModemLines(QSerialPort::SerialPortError error)
{
    return error == QSerialPort::UnsupportedOperationError || error == QSerialPort::UnknownError;
}

qint64 QueuedForSending(QSerialPort& port)
{
    COMSTAT status{};
    DWORD errors = 0;
    if (!ClearCommError(Handle(port), &errors, &status))
        return -1;
    return status.cbOutQue;
}

bool DeviceLooksAlive(QSerialPort& port)
{
    DWORD modem = 0;
    return GetCommModemStatus(Handle(port), &modem) || GetLastError() != ERROR_ACCESS_DENIED;
}

} // namespace serial_system
