#include "app/focus/FocusFigure.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace focus {
namespace {
// Brings the ratio (about 0.01 for a soft picture, 0.5 for a sharp one) into
// whole numbers worth reading.
constexpr double kScale = 10000.0;
// A region up to this many pixels (a quarter of a 1920 × 1080 frame) is
// measured whole; a larger one in bands of rows spread evenly over it, about
// this many pixels in all, so a rectangle over the whole frame costs what a
// quarter of it does.
constexpr int kWholePixels = 1920 * 1080 / 4;
constexpr int kBandRows = 8;
} // namespace

cv::Rect centreThird(cv::Size size) { return {size.width / 3, size.height / 3, size.width / 3, size.height / 3}; }

double FocusFigure::measure(const cv::Mat& rgba, cv::Rect region)
{
    region &= cv::Rect(0, 0, rgba.cols, rgba.rows);
    if (region.width < 3 || region.height < 3)
        return 0.0;
    const int area = region.width * region.height;
    const int band = area <= kWholePixels ? region.height : kBandRows;
    const int step = area <= kWholePixels ? region.height : kBandRows * ((area + kWholePixels - 1) / kWholePixels);
    double greySum = 0, lapSum = 0, lapSquares = 0, count = 0;
    for (int y = region.y; y < region.br().y; y += step) {
        const int rows = std::min(band, region.br().y - y);
        // One row above and below the band for the Laplacian, where the
        // region has it; at the region's own edges the kernel reflects.
        const int above = y > region.y ? 1 : 0;
        const int below = y + rows < region.br().y ? 1 : 0;
        cv::cvtColor(rgba(cv::Rect(region.x, y - above, region.width, rows + above + below)), grey_,
                     cv::COLOR_RGBA2GRAY);
        cv::Laplacian(grey_, laplacian_, CV_16S, 1);
        const cv::Rect inner(0, above, region.width, rows);
        cv::Scalar lapMean, lapDev;
        cv::meanStdDev(laplacian_(inner), lapMean, lapDev);
        const double n = double(inner.area());
        greySum += cv::sum(grey_(inner))[0];
        lapSum += lapMean[0] * n;
        lapSquares += (lapDev[0] * lapDev[0] + lapMean[0] * lapMean[0]) * n;
        count += n;
    }
    const double mean = greySum / count;
    if (mean < 1.0)
        return 0.0;
    const double lapMean = lapSum / count;
    const double variance = std::max(0.0, lapSquares / count - lapMean * lapMean);
    return kScale * variance / (mean * mean);
}

} // namespace focus
