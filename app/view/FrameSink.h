#pragma once
#include <cstdint>

// Where converted RGBA frames go: the render view, or a test's collector.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    // Called on the capture thread with width × height × 4 bytes, R, G, B, A.
    virtual void updateFrame(int width, int height, const uint8_t* rgbaPixels) = 0;
};
