#pragma once

// Marks what the camera access library exports; everything else stays hidden.
#if defined(LENSBRIDGE_BUILDING)
#define LENSBRIDGE_API __attribute__((visibility("default")))
#else
#define LENSBRIDGE_API
#endif
