#pragma once
// The stable names a system gives serial adapters (udev's /dev/serial/by-id links on Linux):
// they survive a replug or a reboot, where ttyUSB0 may come back as ttyUSB1.
#include <QString>

inline constexpr char kStableNameFolder[] = "/dev/serial/by-id";

// The link in the folder that leads to the device, or nothing.
QString StableNameFor(const QString& devicePath, const QString& folder = kStableNameFolder);
