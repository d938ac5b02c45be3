#pragma once
#include <cstdint>

namespace platform {

// Milliseconds of a monotonic clock, truncated to 32 bits like GetTickCount:
// it wraps after about 49.7 days, so compare ticks only by unsigned
// subtraction (`now - start`), never by `<`.
uint32_t GetTickCount();

} // namespace platform
