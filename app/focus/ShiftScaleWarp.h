#pragma once
// ShiftScaleWarp: resamples an RGBA picture under a shift and a scale (no
// rotation) with cubic interpolation. Such a warp separates into a vertical
// and a horizontal pass of four taps each, where a general cubic warp (what
// cv::warpAffine does) weighs sixteen per pixel and costs several times its
// bilinear one; bilinear interpolation itself softens every merged frame
// noticeably. Borders are replicated.
//
// Threads: an instance belongs to one thread at a time; it keeps its tap
// tables and one row of working values, so warping allocates nothing once
// the sizes are known.
#include <opencv2/core.hpp>

#include <vector>

namespace focus {

class ShiftScaleWarp {
public:
    // dest(x, y) = source(scale · x + dx, scale · y + dy), for every pixel of
    // `dest` (CV_8UC4, already of the size wanted; a view into a larger
    // picture is fine). `source` is CV_8UC4 and not empty.
    void apply(const cv::Mat& source, cv::Mat& dest, double scale, double dx, double dy);

private:
    // Per output column: the first of its four source columns (relative to
    // the working row) and their weights.
    std::vector<int> columnTap_;
    std::vector<float> columnWeights_;
    // One row of the vertical pass, float RGBA, with replicated borders.
    std::vector<float> row_;
};

} // namespace focus
