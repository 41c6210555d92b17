#pragma once
// CPU time the test process has used so far, user and system, for checks that waiting is idle.
#include <sys/resource.h>

inline double ProcessCpuSeconds()
{
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(use.ru_utime) + seconds(use.ru_stime);
}
