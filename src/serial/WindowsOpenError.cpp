#include "WindowsOpenError.h"

namespace {
// Windows' own numbers, spelled out so that this file builds on every system.
constexpr std::uint32_t kFileNotFound = 2;
constexpr std::uint32_t kPathNotFound = 3;
constexpr std::uint32_t kAccessDenied = 5;
constexpr std::uint32_t kSharingViolation = 32;
constexpr std::uint32_t kInvalidName = 123;
constexpr std::uint32_t kBusy = 170;
constexpr std::uint32_t kNotReady = 21;
constexpr std::uint32_t kDeviceNotConnected = 1167;
} // namespace

PortOpenFailure OpenFailureForWindowsError(std::uint32_t code, const QString& detail)
{
    switch (code) {
    case kFileNotFound:
    case kPathNotFound:
    case kInvalidName:
    case kDeviceNotConnected:
        return {PortOpenError::Missing, QStringLiteral("no such port")};
    case kAccessDenied:
        // A COM port opens for one program at a time, and a port that is there but taken
        // answers "access denied".
        return {PortOpenError::Busy, QStringLiteral("access denied: held by another program")};
    case kSharingViolation:
    case kBusy:
        return {PortOpenError::Busy, QStringLiteral("held by another program")};
    case kNotReady:
        return {PortOpenError::Missing, QStringLiteral("the device is not ready")};
    default:
        return {PortOpenError::Other,
                QStringLiteral("%1 (Windows error %2)").arg(detail).arg(code)};
    }
}
