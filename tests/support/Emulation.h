#pragma once

#include <cstdlib>

// The arm64 suites run under user-mode emulation (their ctest entries set TAVLO_EMULATED),
// where a program runs several times slower than on the machine itself. A test that bounds
// from above how long something may take widens that bound there, and only there; the floor
// of a pause on the wire is never widened.
inline bool RunsEmulated()
{
    const char* value = std::getenv("TAVLO_EMULATED");
    return value != nullptr && *value != '\0';
}

// How much longer things may take under emulation than natively.
constexpr int kEmulationSlowdown = 6;

// `bound` natively; kEmulationSlowdown times it under emulation.
template <typename T> T AllowForEmulation(T bound)
{
    return RunsEmulated() ? bound * kEmulationSlowdown : bound;
}
