#include "SerialPortBus.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSerialPortInfo>

#ifdef Q_OS_WIN
#include <windows.h>

#include <devguid.h>
#include <setupapi.h>
#endif

namespace {
#ifdef Q_OS_WIN
// Fixed buffers as SetupAPI's texts are bounded: 255 characters and the terminator.
QString DeviceText(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property)
{
    wchar_t text[256] = {};
    if (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, nullptr,
                                           reinterpret_cast<PBYTE>(text), sizeof text - 2, nullptr))
        return {};
    return QString::fromWCharArray(text);
}

QString PortNameOf(HDEVINFO set, SP_DEVINFO_DATA& device)
{
    const HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE)
        return {};
    wchar_t name[256] = {};
    DWORD size = sizeof name - 2;
    const LONG status =
        RegQueryValueExW(key, L"PortName", nullptr, nullptr, reinterpret_cast<LPBYTE>(name), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? QString::fromWCharArray(name) : QString();
}

QString LocationInformationOf(const QString& portName)
{
    const HDEVINFO set =
        SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE)
        return {};
    QString location;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        if (PortNameOf(set, device) == portName) {
            location = DeviceText(set, device, SPDRP_LOCATION_INFORMATION);
            break;
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    return location;
}
#endif
} // namespace

bool IsUsbPort(const QSerialPortInfo& port)
{
#if defined(Q_OS_WIN)
    return LocationInformationIsUsb(LocationInformationOf(port.portName()));
#elif defined(Q_OS_LINUX)
    const QString device = QStringLiteral("/sys/class/tty/%1/device").arg(port.portName());
    return SysfsDeviceIsOnUsb(QFileInfo(device).canonicalFilePath());
#else
    return port.hasVendorIdentifier();
#endif
}

bool SysfsDeviceIsOnUsb(const QString& resolvedDevicePath)
{
    // A USB bus appears in the path as its root hub, "usb" and the bus number.
    static const QRegularExpression usbBus(QStringLiteral("/usb\\d+/"));
    return resolvedDevicePath.contains(usbBus);
}

bool LocationInformationIsUsb(const QString& location)
{
    return location.startsWith(QStringLiteral("USB"));
}
