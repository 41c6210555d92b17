#pragma once
// What the pseudo-terminal matrix received, in the shapes the video tests compare.
#include "PtyMatrix.h"

#include <chrono>
#include <string>
#include <vector>

inline std::vector<std::string> BurstBytes(PtyMatrix& matrix)
{
    std::vector<std::string> out;
    for (const auto& burst : matrix.bursts())
        out.push_back(burst.bytes);
    return out;
}

inline long long MsBetween(PtyMatrix::Clock::time_point from, PtyMatrix::Clock::time_point to)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

// Silence for a while after the expected commands: nothing more was sent.
inline bool NothingMoreArrives(PtyMatrix& matrix, size_t expected, int waitMs = 300)
{
    return !matrix.waitForBursts(expected + 1, waitMs);
}
