#pragma once
// Whether a serial port belongs to a USB device, decided by the bus the device sits on. Whether
// it reports a vendor id says nothing: on-board and PCI ports report vendor ids too.
#include <QString>

class QSerialPortInfo;

bool IsUsbPort(const QSerialPortInfo& port);

// Linux: the tty's device in sysfs (/sys/class/tty/NAME/device, links resolved) lies below a
// USB bus ("…/usb1/1-2/…"). Empty for a tty without a device (a pseudo-terminal).
bool SysfsDeviceIsOnUsb(const QString& resolvedDevicePath);
// Windows: the device's location information, as SetupAPI reports it, begins with "USB".
bool LocationInformationIsUsb(const QString& location);
