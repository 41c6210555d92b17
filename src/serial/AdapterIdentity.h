#pragma once
// What tells one serial adapter from another, as the system reports it. Remembered when a port
// opens, so that after a loss only that same adapter is opened again, never another one that
// happens to take its place.
#include <QString>
#include <optional>

class QSerialPortInfo;

struct AdapterIdentity {
    QString serialNumber;
    std::optional<quint16> vendorId;
    std::optional<quint16> productId;

    static AdapterIdentity Of(const QSerialPortInfo& info);
    // The identity of the listed port at a device path; empty when the system lists none there
    // (a pseudo-terminal, a device the system does not describe).
    static AdapterIdentity At(const QString& devicePath);

    // True when candidate may be the adapter this identity was taken from: every detail known
    // here is the same there. An identity that knows nothing admits any device.
    bool admits(const AdapterIdentity& candidate) const;
    // The same for the device at a path. Listing the system's ports takes tens of milliseconds,
    // so an identity that knows nothing does not ask.
    bool admitsDeviceAt(const QString& devicePath) const;
};
