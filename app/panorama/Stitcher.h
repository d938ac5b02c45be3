#pragma once
// Live stitching: each new frame is found in the panorama built so far
// (phase correlation on a reduced picture near where the stage is expected,
// refined at full size, then checked against the panorama) and blended in.
// A frame found without confidence is not placed: over empty glass, over a
// ruled grid that matches equally well at several places, blurred, or beyond
// the stitched area. Once lost, every frame is looked for near where the
// stage was last and over the whole panorama until the stage is back over
// it. The whole panorama's spectrum is made once, on the first frame lost,
// and searched from the next on, so no frame pays for both. One thread at a
// time (the panorama worker); nothing here touches the window.
#include "app/panorama/PanoramaCanvas.h"

#include <opencv2/core.hpp>

#include <cstdint>
#include <optional>

namespace panorama {

enum class FrameOutcome {
    Placed,       // found and blended in
    Lost,         // not found with confidence: move back over the stitched area
    TooFast,      // not found, and the stage moved fast or the frame is blurred: slow down
    SizeChanged,  // another frame size than the panorama's: nothing done
    LimitReached, // placing it would take the panorama past its size limit: nothing done
};

class Stitcher {
public:
    static constexpr int64_t kDefaultMaxPixels = 100'000'000;

    explicit Stitcher(int64_t maxPixels = kDefaultMaxPixels);

    // One frame, 8UC4 R, G, B, A (A ignored). The first frame with detail
    // starts the panorama with its corner at (0, 0).
    FrameOutcome add(const cv::Mat& rgba);

    const PanoramaCanvas& canvas() const { return m_canvas; }
    // Where the latest frame was placed (panorama pixels); while lost, where
    // the stage was last seen. Empty before the first frame.
    cv::Rect field() const { return m_field; }
    bool lost() const { return m_lost; }
    int placed() const { return m_placed; }
    cv::Size frameSize() const { return m_frameSize; }

private:
    struct Frame {
        cv::Mat grey;   // full size, CV_32F
        cv::Mat detail; // reduced, CV_32F, tapered at its edges
        double sharpness = 0;
    };
    void prepare(const cv::Mat& rgba, Frame& frame);
    // The frame's corner when it lies within 1 / `reach` of a frame of
    // `expected`; nullopt when it is not found there with confidence.
    std::optional<cv::Point> track(const Frame& frame, cv::Point expected, int reach) const;
    // Makes the whole panorama's reduced detail and its spectrum for search().
    void prepareSearch();
    // Where over the whole panorama the frame lies, roughly; nullopt when
    // nowhere with confidence. Needs prepareSearch() since the last frame placed.
    std::optional<cv::Point> search(const Frame& frame);
    // The corner refined at full size from `coarse`; nullopt when the
    // panorama and the frame disagree there.
    std::optional<cv::Point> refine(const Frame& frame, cv::Point coarse) const;

    PanoramaCanvas m_canvas;
    cv::Size m_frameSize;
    cv::Mat m_taper;   // reduced frame size, CV_32F
    Frame m_frame;     // the frame being added; kept so its buffers are reused
    cv::Mat m_reduced; // prepare()'s scratch: the frame reduced, and its edges
    cv::Mat m_edges;
    // The whole panorama as search() matches against: the spectrum of its
    // padded detail, the panorama position of its first pixel, its padding
    // and size; empty until made, and again once a frame is placed.
    cv::Mat m_searchSpectrum;
    cv::Point m_searchCorner;
    cv::Size m_searchPad, m_searchSize;
    int m_searchReduction = 1;                    // search()'s reduction beyond the reduced copy's
    cv::Mat m_searchMoved, m_searchMovedSpectrum; // search()'s scratch
    cv::Rect m_field;
    cv::Point m_velocity;   // the last step between two placed frames
    double m_sharpness = 0; // of the latest frame placed
    bool m_lost = false;
    int m_placed = 0;
};

} // namespace panorama
