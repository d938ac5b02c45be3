#pragma once
#include <cstdint>

// Where converted RGBA frames go: the render view, or a test's collector.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    // Called on the capture thread with width × height × 4 bytes, R, G, B, A.
    virtual void updateFrame(int width, int height, const uint8_t* rgbaPixels) = 0;
    // Any thread (the capture thread asks before each MJPEG frame). How much
    // smaller than the camera's picture the sink may get it without losing a
    // pixel it shows: 1, 2 or 4.
    virtual int pictureReduction() const { return 1; }
    // Capture thread. A picture decoded at a reduced scale: width × height
    // pixels standing for a fullWidth × fullHeight camera picture.
    virtual void updateReducedFrame(int width, int height, const uint8_t* rgbaPixels, int fullWidth, int fullHeight)
    {
        (void)fullWidth;
        (void)fullHeight;
        updateFrame(width, height, rgbaPixels);
    }
};
