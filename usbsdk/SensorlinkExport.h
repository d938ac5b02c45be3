#pragma once

// Marks the SDK's exported functions (plain C linkage); everything else stays hidden.
#if defined(SENSORLINK_BUILDING)
#define SENSORLINK_API extern "C" __attribute__((visibility("default")))
#else
#define SENSORLINK_API extern "C"
#endif
