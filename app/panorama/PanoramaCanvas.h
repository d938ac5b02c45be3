#pragma once
// The growing panorama: colour with a blending weight per pixel, and a grey
// copy reduced by kReduction in which new frames are looked for. Frames are
// blended in with a weight that falls off towards their edges, so seams fade
// instead of showing as steps. Positions are panorama pixels: the first
// frame's corner is (0, 0), later ones may lie left of or above it. The
// canvas grows in steps as frames reach beyond it, never past `maxPixels`
// for the covered area. One thread at a time.
#include <opencv2/core.hpp>

#include <cstdint>
#include <vector>

namespace panorama {

class PanoramaCanvas {
public:
    static constexpr int kReduction = 4;
    // A frame's weight inside its feathered edge. The weight a pixel gathers
    // stops at 255, so a pixel seen many times is the mean of about
    // 255 / kFullWeight frames: a frame placed a pixel off barely moves it,
    // and the next frame is found where the frames before agree it belongs.
    static constexpr int kFullWeight = 16;

    explicit PanoramaCanvas(int64_t maxPixels);

    // Blends `rgba` (8UC4 R, G, B, A; A is ignored) in with its corner at
    // `at`. False, and nothing changed, when the covered area would grow
    // past the limit.
    bool place(const cv::Mat& rgba, cv::Point at);

    bool empty() const { return m_bounds.empty(); }
    // The covered area (the bounding box of every frame placed).
    cv::Rect bounds() const { return m_bounds; }
    int64_t maxPixels() const { return m_maxPixels; }

    // The reduced grey copy over `region` (panorama pixels, corner and size
    // multiples of kReduction), CV_32F, and what of it is covered (1 or 0);
    // both zero beyond the canvas.
    void reducedRegion(const cv::Rect& region, cv::Mat& grey, cv::Mat& known) const;
    // The same over the whole canvas, reduced once more by `factor`;
    // `corner` gets the panorama position of its first pixel.
    void reducedWhole(int factor, cv::Mat& grey, cv::Mat& known, cv::Point& corner) const;
    // Full-size grey (CV_32F) and covered (CV_32F 1 or 0) over `region`.
    void greyRegion(const cv::Rect& region, cv::Mat& grey, cv::Mat& known) const;

    // The covered area, R, G, B, A rows (A 255; uncovered pixels black).
    void copyPicture(std::vector<uint8_t>& rgba) const;
    // The covered area reduced to fit within `maxSide` pixels on its longer
    // side (never enlarged), 8UC4 RGBA; `scale` gets the reduced size per
    // panorama pixel.
    cv::Mat preview(int maxSide, double& scale) const;

private:
    // Makes room for `field` (panorama pixels) and some more around it.
    void grow(const cv::Rect& field);
    // Brings the reduced copy up to date over `field`.
    void refreshReduced(const cv::Rect& field);
    const cv::Mat& featherFor(cv::Size size);
    // The reduced copy's pixels under `region` (panorama pixels, multiples of
    // kReduction), zero beyond the canvas.
    cv::Mat smallRegion(const cv::Rect& region) const;

    const int64_t m_maxPixels;
    cv::Mat m_colour;   // 8UC4: R, G, B and the weight blended so far (0: nothing yet)
    cv::Mat m_small;    // 8UC4: m_colour reduced by kReduction, A 255 where wholly covered
    cv::Point m_origin; // panorama position of m_colour(0, 0), a multiple of kReduction
    cv::Rect m_bounds;
    cv::Mat m_feather;     // 8UC1 weight of a frame's pixels, 1 at its edges to kFullWeight inside
    unsigned m_frames = 0; // frames placed: each takes the dither at another phase
    // Kept between frames so placing one allocates nothing: a frame row's
    // blend shares, and the frame's dither rows, per byte.
    std::vector<uint16_t> m_shares;
    std::vector<uint16_t> m_rounding;
};

} // namespace panorama
