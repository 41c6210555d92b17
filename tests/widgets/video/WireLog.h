#pragma once
// What the pseudo-terminal matrix received, in the shapes the video tests compare.
#include "PtyMatrix.h"

#include <QString>

#include <chrono>
#include <string>
#include <vector>

// Silence for a while after the expected commands: nothing more was sent.
inline bool NothingMoreArrives(PtyMatrix& matrix, size_t expected, int waitMs = 300)
{
    return !matrix.waitForBursts(expected + 1, waitMs);
}

// Each command leaves after its own 100 ms pause: the last one no sooner than 100 ms per
// command after the press, and no two closer than the pause. The gap allows for a few ms of
// scheduling jitter in when the port thread writes and when the matrix side timestamps a
// burst; a missing pause shows as a gap near zero.
inline QString PacingFault(const std::vector<PtyMatrix::Burst>& bursts,
                           PtyMatrix::Clock::time_point pressed)
{
    constexpr long long kPauseMs = 100, kJitterMs = 10;
    if (bursts.empty())
        return QStringLiteral("nothing arrived");
    const long long total = MsBetween(pressed, bursts.back().start);
    if (total < kPauseMs * static_cast<long long>(bursts.size()))
        return QStringLiteral("last command %1 ms after the press").arg(total);
    for (size_t i = 1; i < bursts.size(); ++i) {
        const long long gap = MsBetween(bursts[i - 1].start, bursts[i].start);
        if (gap < kPauseMs - kJitterMs)
            return QStringLiteral("commands %1 and %2 only %3 ms apart").arg(i).arg(i + 1).arg(gap);
    }
    return {};
}
