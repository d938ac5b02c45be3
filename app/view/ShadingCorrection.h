#pragma once
// Flat-field correction: uneven light and lens shading taken out of every
// picture with a per-channel gain map made from a reference, the average of
// a few frames of an empty, evenly lit field. The map keeps the centre's
// brightness and colour and lifts the rest to it. It works on the picture
// as the sensor delivers it (before mirror and flip), so it follows them.
//
// Threads: the frame pipeline calls process() on the capture thread (MJPEG:
// its decoding thread) under its lock; every member function is called with
// the pipeline's lock held too (FramePipeline::lock()), from the UI thread.
// The slow steps (the reference from the frames, the gain map of a
// reference) are free functions any thread may run without the lock; only
// taking the frames out and installing the result need it.
#include "camera/CWImage.h"

#include <opencv2/core.hpp>

#include <string>

// The smoothed picture of an empty field, reduced 8 times, per channel
// (CV_32FC3, grey levels), for a picture of width × height.
struct ShadingReference {
    int width = 0, height = 0;
    cv::Mat smoothed;

    bool empty() const { return smoothed.empty() || width <= 0 || height <= 0; }
    // As a 16-bit PNG; false when it cannot be written or read.
    bool save(const std::string& file) const;
    static bool load(const std::string& file, ShadingReference& out);
};

enum class ShadingRefusal {
    None,
    Clipped,  // parts of the field are at full brightness: nothing to scale from
    TooDark,  // the field (or its corners) too dark to lift without noise
    Textured, // something lies in the field: it is no flat reference
    NoFrames,
};

// The reference from the average of RGBA pictures (any number, one size),
// or why it is refused.
ShadingRefusal makeShadingReference(const cv::Mat& averageRgb, ShadingReference& out);

// The collected frames, taken out of the correction: their sum (CV_32FC3)
// and how many there were.
struct ShadingFrames {
    cv::Mat sum;
    int count = 0;
};

// The reference from collected frames (NoFrames without any). Any thread.
ShadingRefusal makeShadingReference(const ShadingFrames& frames, ShadingReference& out);
// The per-pixel gains of a reference, for pictures of its size (CV_16UC4,
// 4096 = 1.0; empty for an empty reference). Any thread; the slow step.
cv::Mat makeShadingGains(const ShadingReference& reference);

class ShadingCorrection {
public:
    // Starts averaging the next `frames` pictures for a new reference.
    void collect(int frames);
    bool collecting() const { return m_wanted > 0; }
    // Once the frames are in: the new reference (kept, and used while
    // switched on) or why it was refused; NoFrames while still collecting.
    // Takes both steps here, under the lock (tests and tools).
    ShadingRefusal finishCollecting(ShadingReference& made);
    // Once the frames are in: hands them out and forgets them; false while
    // still collecting or with none collected.
    bool takeFrames(ShadingFrames& out);

    // Uses `reference` for pictures of its size; makes its gains here.
    void setReference(const ShadingReference& reference);
    // Uses `reference` with gains made from it by makeShadingGains (cheap).
    void setReference(const ShadingReference& reference, cv::Mat gains);
    const ShadingReference& reference() const { return m_reference; }
    void clear();
    void setEnabled(bool on) { m_enabled = on; }
    bool enabled() const { return m_enabled; }
    // The full size of the last picture process() saw (0 before one).
    int lastWidth() const { return m_lastWidth; }
    int lastHeight() const { return m_lastHeight; }
    // Switched on with a reference for pictures of this size.
    bool correctsSize(int width, int height) const;

    // Capture thread: collects the picture while a reference is being made,
    // then corrects it in place (4-byte formats of the reference's size, when
    // switched on). True when it corrected it.
    bool process(CWImage& picture);
    // The same for a picture decoded reduced from a fullWidth × fullHeight
    // one (the view's MJPEG): it counts as that size, is corrected with the
    // gains scaled down to it (once per size) and is not collected (the
    // pipeline decodes at full size while a reference is being made).
    bool process(CWImage& picture, int fullWidth, int fullHeight);
    // The correction alone, vectorised (benchmarks and tests call it directly).
    void apply(uint8_t* rgba, int width, int height) const;

private:
    // `gains` (CV_16UC4, continuous) on a picture of their size.
    static void applyGains(const cv::Mat& gains, uint8_t* rgba);

    ShadingReference m_reference;
    cv::Mat m_gains;       // CV_16UC4, 4096 = 1.0, the picture's size
    cv::Mat m_scaledGains; // the same for the last reduced picture's size
    bool m_enabled = true;
    int m_lastWidth = 0, m_lastHeight = 0;
    int m_wanted = 0;
    int m_collected = 0;
    cv::Mat m_sum; // CV_32FC3
};
