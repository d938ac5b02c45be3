#pragma once

// Marks the SDK's exported functions (plain C linkage); everything else stays hidden.
#ifdef __cplusplus
#define SENSORLINK_EXTERN_C extern "C"
#else
#define SENSORLINK_EXTERN_C extern
#endif

#if defined(SENSORLINK_BUILDING)
#define SENSORLINK_API SENSORLINK_EXTERN_C __attribute__((visibility("default")))
#else
#define SENSORLINK_API SENSORLINK_EXTERN_C
#endif
