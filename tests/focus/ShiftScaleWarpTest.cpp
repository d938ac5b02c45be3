#include "app/focus/ShiftScaleWarp.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace {

// The separable warp agrees with OpenCV's general cubic warp (replicated
// borders) for a shift and a scale either way, into a view of a larger
// picture, also where the output reaches past the source's edges; blended
// into a picture, it leaves the picture alone where the weight is 0.
TEST(ShiftScaleWarp, AgreesWithTheGeneralCubicWarp)
{
    cv::RNG rng(3);
    cv::Mat source(200, 300, CV_8UC4);
    rng.fill(source, cv::RNG::UNIFORM, 0, 256);
    // Smooth enough that OpenCV's 1/32-pixel positions cost under a grey level.
    cv::GaussianBlur(source, source, cv::Size(), 2.0);
    struct Case {
        double scale, dx, dy;
        cv::Rect view;
    };
    const Case cases[] = {{1.0, 0.37, -0.81, {0, 0, 300, 200}},
                          {1.02, -6.4, 3.2, {10, 20, 200, 120}},
                          {0.98, 12.6, -9.3, {0, 0, 300, 200}}};
    focus::ShiftScaleWarp warp;
    for (const Case& c : cases) {
        cv::Mat whole(source.size(), CV_8UC4, cv::Scalar::all(0));
        cv::Mat view = whole(c.view);
        warp.apply(source, view, c.scale, c.dx, c.dy);
        const cv::Matx23d m(c.scale, 0, c.dx, 0, c.scale, c.dy);
        cv::Mat expected;
        cv::warpAffine(source, expected, cv::Mat(m), c.view.size(), cv::INTER_CUBIC | cv::WARP_INVERSE_MAP,
                       cv::BORDER_REPLICATE);
        cv::Mat diff;
        cv::absdiff(view, expected, diff);
        double worst = 0;
        cv::minMaxLoc(diff.reshape(1), nullptr, &worst);
        EXPECT_LE(worst, 2.0) << "scale " << c.scale << " shift " << c.dx << ", " << c.dy;
        EXPECT_LT(cv::mean(diff)[0], 0.3);
        // Nothing written outside the view.
        EXPECT_EQ(cv::countNonZero(whole.reshape(1).colRange(0, c.view.x * 4)), 0);

        // Blended into a picture by a ramp: untouched where it is 0.
        cv::Mat alpha(c.view.size(), CV_32F);
        for (int x = 0; x < alpha.cols; ++x)
            alpha.col(x).setTo(std::max(0.0, double(x) / alpha.cols * 2 - 1));
        cv::Mat blended(c.view.size(), CV_8UC4, cv::Scalar(40, 90, 160, 255)), beta;
        cv::Mat blendedExpected;
        cv::subtract(cv::Scalar(1.0), alpha, beta);
        cv::blendLinear(expected, blended, alpha, beta, blendedExpected);
        warp.blendInto(source, blended, alpha, c.scale, c.dx, c.dy);
        cv::absdiff(blended, blendedExpected, diff);
        cv::minMaxLoc(diff.reshape(1), nullptr, &worst);
        EXPECT_LE(worst, 2.0);
        cv::absdiff(blended.colRange(0, alpha.cols / 2), cv::Scalar(40, 90, 160, 255), diff);
        EXPECT_EQ(cv::countNonZero(diff.reshape(1)), 0) << "where alpha is 0 the picture stays";
    }
}

} // namespace
