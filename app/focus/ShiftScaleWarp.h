#pragma once
// ShiftScaleWarp: resamples an RGBA picture under a shift and a scale (no
// rotation) with cubic interpolation. Such a warp separates into a vertical
// and a horizontal pass of four taps each, where a general cubic warp (what
// cv::warpAffine does) weighs sixteen per pixel and costs several times its
// bilinear one; bilinear interpolation itself softens every merged frame
// noticeably. Borders are replicated.
//
// Threads: an instance belongs to one thread at a time (which spreads bands
// of rows over OpenCV's worker threads); it keeps its tap tables and a row
// of working values per band, so warping allocates nothing once the sizes
// are known.
#include <opencv2/core.hpp>

#include <vector>

namespace focus {

class ShiftScaleWarp {
public:
    // dest(x, y) = source(scale · x + dx, scale · y + dy), for every pixel of
    // `dest` (CV_8UC4, already of the size wanted; a view into a larger
    // picture is fine). `source` is CV_8UC4 and not empty.
    void apply(const cv::Mat& source, cv::Mat& dest, double scale, double dx, double dy);
    // The same warped picture blended into `dest`: dest += alpha · (warped −
    // dest), `alpha` CV_32F of dest's size in [0, 1]. Pixels (and whole rows)
    // whose alpha is too small to change a grey level are not computed.
    void blendInto(const cv::Mat& source, cv::Mat& dest, const cv::Mat& alpha, double scale, double dx, double dy);

private:
    void warp(const cv::Mat& source, cv::Mat& dest, const cv::Mat* alpha, double scale, double dx, double dy);
    // Rows [rowFrom, rowTo) of the output, with `row` as the working row
    // (source columns first … last, of which inLo … inHi lie inside).
    void warpRows(const cv::Mat& source, cv::Mat& dest, const cv::Mat* alpha, double scale, double dy, int rowFrom,
                  int rowTo, int first, int last, int inLo, int inHi, int insideValues, float* row) const;

    // Per output column: the first of its four source columns (relative to
    // the working row) and their weights.
    std::vector<int> columnTap_;
    std::vector<float> columnWeights_;
    // One row of the vertical pass per band of rows, float RGBA, with
    // replicated borders.
    std::vector<std::vector<float>> rows_;
};

} // namespace focus
