#pragma once
#include <chrono>
#include <cstdint>

// Where converted RGBA frames go: the render view, or a test's collector.
class FrameSink {
public:
    // When a frame left the camera's driver (the capture thread's callback);
    // the default value means unknown.
    using FrameTime = std::chrono::steady_clock::time_point;

    virtual ~FrameSink() = default;
    // Called with width × height × 4 bytes, R, G, B, A, on the thread that
    // converted the frame (see updateReducedFrame).
    virtual void updateFrame(int width, int height, const uint8_t* rgbaPixels) = 0;
    // Any thread (the pipeline asks before each MJPEG frame). How much
    // smaller than the camera's picture the sink may get it without losing a
    // pixel it shows: 1, 2 or 4.
    virtual int pictureReduction() const { return 1; }
    // The thread that converted the frame (the capture thread, or the
    // pipeline's decoding thread for MJPEG). A picture of width × height
    // pixels standing for a fullWidth × fullHeight camera picture (smaller
    // when it was decoded at a reduced scale), from a frame that left the
    // driver at `dequeued`.
    virtual void updateReducedFrame(int width, int height, const uint8_t* rgbaPixels, int fullWidth, int fullHeight,
                                    FrameTime dequeued)
    {
        (void)fullWidth;
        (void)fullHeight;
        (void)dequeued;
        updateFrame(width, height, rgbaPixels);
    }
};
