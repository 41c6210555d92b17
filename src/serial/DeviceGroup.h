#pragma once
// The group that owns a serial device, where the system has one: on Linux the device node's
// group ("dialout" for most adapters), which says what the operator must join to use it.
#include <QString>

// portName: a short name (ttyUSB0) or a path, links allowed. Empty when the device is not
// there or the system has no such thing.
QString DeviceGroupName(const QString& portName);
