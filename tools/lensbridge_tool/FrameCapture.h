#pragma once
// Writes the first N frames a camera delivers to raw files and measures the
// rate at which frames arrive (also after the N-th, while the camera runs).
#include "camera/CWImage.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

class FrameCapture {
public:
    FrameCapture(int count, std::string prefix);

    static int callback(void* user, int kind, long param1, long param2);
    // Waits until all frames are written or `timeout` passes; true when complete.
    bool wait(std::chrono::milliseconds timeout);
    // Waits until frames have arrived for `span` since the first one (or `timeout` passes).
    void waitForSpan(std::chrono::milliseconds span, std::chrono::milliseconds timeout);

    int written();
    // Frames per second of the stream. A camera may hand over a few stored
    // frames at once when it starts, so the first second is left out when
    // there is more to measure. 0 below two frames.
    double measuredRate();
    // One line per file: name, geometry, format, bytes.
    std::vector<std::string> report();
    bool failed();

private:
    void onFrame(const CWImage& image);

    const int m_count;
    const std::string m_prefix;
    std::mutex m_mutex;
    std::condition_variable m_done;
    int m_written = 0;
    bool m_failed = false;
    std::vector<std::chrono::steady_clock::time_point> m_arrivals;
    std::vector<std::string> m_report;
};
