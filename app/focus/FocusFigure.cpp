#include "app/focus/FocusFigure.h"

#include <opencv2/imgproc.hpp>

namespace focus {
namespace {
// Brings the ratio (about 0.01 for a soft picture, 0.5 for a sharp one) into
// whole numbers worth reading.
constexpr double kScale = 10000.0;
} // namespace

cv::Rect centreThird(cv::Size size) { return {size.width / 3, size.height / 3, size.width / 3, size.height / 3}; }

double FocusFigure::measure(const cv::Mat& rgba, cv::Rect region)
{
    region &= cv::Rect(0, 0, rgba.cols, rgba.rows);
    if (region.width < 3 || region.height < 3)
        return 0.0;
    cv::cvtColor(rgba(region), grey_, cv::COLOR_RGBA2GRAY);
    cv::Laplacian(grey_, laplacian_, CV_16S, 1);
    const double mean = cv::mean(grey_)[0];
    if (mean < 1.0)
        return 0.0;
    cv::Scalar lapMean, lapDev;
    cv::meanStdDev(laplacian_, lapMean, lapDev);
    return kScale * lapDev[0] * lapDev[0] / (mean * mean);
}

} // namespace focus
