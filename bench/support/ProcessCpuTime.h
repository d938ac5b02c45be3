#pragma once
// The process's CPU time, for benchmarks that report CPU per frame.
#include <sys/resource.h>

namespace benchscenes {

// User plus system time of this process so far.
inline double ProcessCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace benchscenes
