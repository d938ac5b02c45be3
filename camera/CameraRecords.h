#pragma once
// Records private to the camera library: the frame-rate counter, the software
// pixel processor's settings and the one-shot preview grab.

#include "camera/CWImage.h"
#include "platform/Event.h"

#include <atomic>
#include <cstdint>

// Frames per second over windows of at least 1000 ms. `startTick` and `count`
// belong to the capture thread; `rate` is read by the host at any time.
struct CMFrameRateCounter {
    uint32_t startTick = 0;
    unsigned count = 0;
    std::atomic<float> rate{0.0f};
};

// Settings are written by host calls while the capture thread may read them.
struct CMPixelProcessor {
    std::atomic<bool> flip{false};
    std::atomic<bool> mirror{false};
    std::atomic<unsigned char> offset2{0};
    std::atomic<unsigned char> offset1{0};
    std::atomic<unsigned char> offset0{0};
    std::atomic<int> colorMode{0};
};

// `target`, `pending` and `copied` are guarded by the camera lock. `copied`
// tells a served request from one whose copy could not be allocated.
struct CMPreviewGrabRequest {
    CWImage* target = nullptr;
    bool pending = false;
    bool copied = false;
    platform::Event done{false, false}; // auto-reset, initially clear
};
