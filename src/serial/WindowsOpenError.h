#pragma once
// The operator's words for the Windows error codes that opening a COM port ends with. Kept
// apart from the calls that get them so that the mapping can be tested on every system.
#include "PortOpenError.h"

#include <cstdint>

// code: a Windows system error code (GetLastError); detail: the text for codes not known here.
PortOpenFailure OpenFailureForWindowsError(std::uint32_t code, const QString& detail);
