#pragma once
// Phase correlation of two pictures of the same size, with what it takes to
// judge the answer: the height of the best peak and of the best one away from
// it. A picture with several equally good matches (a ruled grid) has a
// runner-up as high as the peak; pictures that do not overlap have only low,
// scattered peaks. Plain functions on the caller's thread; their working
// buffers are kept per thread, so a thread that calls them for every frame
// does not allocate for every frame.
#include <opencv2/core.hpp>

namespace panorama {

struct CorrelationPeak {
    // `moved` shows what `reference` shows at x + shift: reference(x + shift) ≈ moved(x).
    cv::Point2d shift;
    // The peak's height: 1 for identical pictures, the overlap's share of the
    // common detail for shifted ones, near 0 for unrelated ones.
    double height = 0;
    // The highest value more than a few pixels away from the peak.
    double runnerUp = 0;
};

// `reference` and `moved`: CV_32F of the same size, detail only (no mean,
// no slow light changes), zero where nothing is known. Only shifts up to
// `maxShift` pixels on either axis are considered.
CorrelationPeak correlate(const cv::Mat& reference, const cv::Mat& moved, cv::Size maxShift);

// The same in two steps, for a reference matched against many pictures: the
// spectrum of a picture as `correlate` pads and transforms it, then the peak
// of two such spectra of pictures of the same size.
void spectrumOf(const cv::Mat& picture, cv::Mat& spectrum);
CorrelationPeak correlateSpectra(const cv::Mat& reference, const cv::Mat& moved, cv::Size maxShift);

// The detail of a grey picture (CV_32F): the picture less its local mean over
// about `sigma` pixels, taken from the known pixels only (`known`: CV_32F,
// 1 known, 0 not; empty: all known), and zero where nothing is known.
void detailOf(const cv::Mat& grey, const cv::Mat& known, double sigma, cv::Mat& detail);

} // namespace panorama
