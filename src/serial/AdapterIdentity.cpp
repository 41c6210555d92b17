#include "AdapterIdentity.h"

#include <QSerialPortInfo>

namespace {
template <typename T>
bool SameWhereKnown(const std::optional<T>& known, const std::optional<T>& seen)
{
    return !known || known == seen;
}
} // namespace

AdapterIdentity AdapterIdentity::Of(const QSerialPortInfo& info)
{
    AdapterIdentity identity;
    identity.serialNumber = info.serialNumber();
    if (info.hasVendorIdentifier())
        identity.vendorId = info.vendorIdentifier();
    if (info.hasProductIdentifier())
        identity.productId = info.productIdentifier();
    return identity;
}

AdapterIdentity AdapterIdentity::At(const QString& devicePath)
{
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        if (info.systemLocation() == devicePath || info.portName() == devicePath)
            return Of(info);
    }
    return {};
}

bool AdapterIdentity::admitsDeviceAt(const QString& devicePath) const
{
    const bool knowsNothing = serialNumber.isEmpty() && !vendorId && !productId;
    return knowsNothing || admits(At(devicePath));
}

bool AdapterIdentity::admits(const AdapterIdentity& candidate) const
{
    if (!serialNumber.isEmpty() && serialNumber != candidate.serialNumber)
        return false;
    return SameWhereKnown(vendorId, candidate.vendorId) &&
           SameWhereKnown(productId, candidate.productId);
}
