#pragma once
// What SerialTransport asks of the operating system, one file per system:
// SerialTransport_unix.cpp and SerialTransport_win.cpp. Called on the port thread.
#include "PortOpenError.h"

#include <QSerialPort>
#include <QString>

namespace serial_system {

// The path a port name stands for: a bare Unix name lives in /dev; a Windows COM name is
// opened through the device namespace (\\.\COM10), without which COM10 and above do not open.
QString DevicePathFor(const QString& name);

// The device itself, links resolved, so that two names for one device lock the same thing;
// empty when nothing is there.
QString CanonicalPath(const QString& path);

// A failure found before the device is opened (nothing there, not a serial line); none when
// the device may be tried.
PortOpenFailure CheckBeforeOpen(const QString& devicePath);

// Why QSerialPort could not open the device, in the operator's words.
PortOpenFailure ExplainOpenFailure(const QString& devicePath, QSerialPort::SerialPortError error,
                                   const QString& detail);

// Makes the open device this program's alone; false when another program holds it.
bool HoldExclusively(QSerialPort& port);

// True when the error of raising DTR or RTS only says the line has no modem lines (a
// pseudo-terminal, a port without handshake wires), which is no failure of the device.
bool IsNoModemLines(QSerialPort::SerialPortError error);

// Bytes the driver still holds for sending; -1 when the system cannot say.
qint64 QueuedForSending(QSerialPort& port);

// A hung-up or vanished device says so when asked; a merely full one does not.
bool DeviceLooksAlive(QSerialPort& port);

} // namespace serial_system
