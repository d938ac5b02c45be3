// The microscope model: focus, stage, shake, noise and uneven light measured
// on its pictures against the ground truth.
#include "optics/FocusLevels.h"
#include "optics/Microscope.h"
#include "optics/Slide.h"
#include "tests/optics/Sharpness.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <cmath>

namespace optics {
namespace {

using opticstest::sharpness;

// Where `moved` lies relative to `reference`, in pixels.
cv::Point2d shiftBetween(const cv::Mat& reference, const cv::Mat& moved, double* response = nullptr)
{
    cv::Mat a, b;
    cv::cvtColor(reference, a, cv::COLOR_RGB2GRAY);
    cv::cvtColor(moved, b, cv::COLOR_RGB2GRAY);
    a.convertTo(a, CV_32F);
    b.convertTo(b, CV_32F);
    return cv::phaseCorrelate(a, b, cv::noArray(), response);
}

TEST(OpticsTest, EachSpecimenIsSharpestAtItsOwnHeightAndThePictureGrowsWithTheFocus)
{
    // The round specimens of the slide's centre, at different heights, looked
    // at through every focus level.
    const Slide& slide = Slide::instance();
    int checked = 0;
    for (const Specimen& s : slide.specimens()) {
        const bool atTheCentre = std::hypot(s.cx - kSlideWidth / 2.0, s.cy - kSlideHeight / 2.0) < 700;
        if (s.kind != Specimen::Kind::Cell || !atTheCentre)
            continue;
        ++checked;
        int sharpest = -1;
        double best = 0;
        for (int level = 0; level < kFocusLevels; ++level) {
            const double m = magnificationAt(focusOfLevel(level));
            cv::Mat field(96, 96, CV_8UC3);
            FocusLevels::instance().copyField(
                level, cv::Point(int(std::lround(s.cx * m)) - 48, int(std::lround(s.cy * m)) - 48), field);
            const double measure = sharpness(field);
            if (measure > best) {
                best = measure;
                sharpest = level;
            }
        }
        EXPECT_EQ(sharpest, s.level) << "specimen at " << s.cx << ", " << s.cy;
    }
    EXPECT_EQ(checked, 3);

    // The scale's longest ticks, 100 slide pixels apart, lie 2 % further apart
    // at the highest focus than at the lowest (blurred alike at both).
    auto tickPitch = [](int level) {
        const double m = magnificationAt(focusOfLevel(level));
        const cv::Point2d start(kSlideWidth / 2.0 - 450, kSlideHeight / 2.0 + 50);
        cv::Mat strip(1, 900, CV_8UC3);
        FocusLevels::instance().copyField(level, cv::Point(int(start.x * m), int(start.y * m)), strip);
        cv::Mat green;
        cv::extractChannel(strip, green, 1);
        const double threshold = cv::mean(green)[0] - 15;
        std::vector<double> ticks; // the middle of every dark run
        for (int x = 0, runStart = -1; x < green.cols; ++x) {
            const bool dark = green.at<uint8_t>(0, x) < threshold;
            if (dark && runStart < 0)
                runStart = x;
            if (!dark && runStart >= 0) {
                if (runStart > 0)
                    ticks.push_back((runStart + x - 1) / 2.0);
                runStart = -1;
            }
        }
        return ticks.size() > 5 ? (ticks.back() - ticks.front()) / static_cast<double>(ticks.size() - 1) : 0.0;
    };
    EXPECT_NEAR(tickPitch(0), 100 * magnificationAt(0), 0.5);
    EXPECT_NEAR(tickPitch(kFocusLevels - 1) / tickPitch(0), 1.02, 0.004);
}

TEST(OpticsTest, AStageFrameShowsTheTruthAtItsReportedPositionAndShakeMovesItByAtMostTheShake)
{
    OpticsSettings settings;
    settings.on = true;
    settings.stage = {3, 3, 40};
    settings.shakePixels = 6;
    OpticsSettings steady = settings;
    steady.shakePixels = 0;
    Microscope shaking(settings, 30), still(steady, 30);
    const cv::Size size(640, 480);
    const double rest = focusOfLevel(kRestLevel);
    cv::Mat frame, unshaken;
    cv::Point2d previousShake;
    double largestShake = 0;
    for (uint64_t n = 0; n < 10; ++n) {
        shaking.render(n, size, rest, frame);
        const FieldOfView field = shaking.fieldAt(n, size, rest);
        // The sharp slide, cut out where the field says the frame lies.
        const cv::Mat truth = Slide::instance().renderSharp(cv::Rect(field.topLeft, size));
        double response = 0;
        EXPECT_LT(cv::norm(shiftBetween(truth, frame, &response)), 1.0) << "frame " << n;
        EXPECT_GT(response, 0.2) << "frame " << n;
        // The same frame without the shake: the difference is the hand's.
        still.render(n, size, rest, unshaken);
        const cv::Point2d shake = shiftBetween(frame, unshaken);
        EXPECT_LE(cv::norm(shake), 3.0 + 0.75) << "frame " << n;
        if (n > 0) {
            EXPECT_LE(cv::norm(shake - previousShake), 6.0 + 0.75) << "frame " << n;
        }
        largestShake = std::max(largestShake, cv::norm(shake));
        previousShake = shake;
    }
    EXPECT_GT(largestShake, 1.5) << "the field does shake";
}

TEST(OpticsTest, NoiseAndUnevenLightHaveTheirStatedSize)
{
    OpticsSettings settings;
    settings.on = true;
    settings.noiseLevels = 5;
    settings.shadingPercent = 35;
    Microscope microscope(settings, 30);
    const cv::Size size(160, 120);
    cv::Mat first, second, clean;
    microscope.render(1, size, 0.5, first);
    microscope.render(2, size, 0.5, second);
    microscope.renderField(microscope.fieldAt(1, size, 0.5), size, clean);

    // Uneven light: the corners darker by the stated share in green, a little
    // less in red, a little more in blue; the centre as it was.
    OpticsSettings shadingOnly = settings;
    shadingOnly.noiseLevels = 0;
    Microscope shaded(shadingOnly, 30);
    cv::Mat dim;
    shaded.render(1, size, 0.5, dim);
    cv::Vec3d corner, centre;
    for (int c = 0; c < 3; ++c) {
        auto ratio = [&](int x, int y) { return double(dim.at<cv::Vec3b>(y, x)[c]) / clean.at<cv::Vec3b>(y, x)[c]; };
        corner[c] = (ratio(0, 0) + ratio(size.width - 1, 0) + ratio(0, size.height - 1) +
                     ratio(size.width - 1, size.height - 1)) /
                    4;
        centre[c] = ratio(size.width / 2, size.height / 2);
    }
    EXPECT_NEAR(corner[1], 0.65, 0.015);
    EXPECT_GT(corner[0], corner[1] + 0.02);
    EXPECT_LT(corner[2], corner[1] - 0.02);
    EXPECT_NEAR(centre[1], 1.0, 0.01);

    // Noise: its deviation as stated, new in every frame.
    cv::Mat dimFloat, firstFloat, secondFloat;
    dim.convertTo(dimFloat, CV_32F);
    first.convertTo(firstFloat, CV_32F);
    second.convertTo(secondFloat, CV_32F);
    cv::Scalar mean, deviation;
    cv::meanStdDev(firstFloat - dimFloat, mean, deviation);
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(deviation[c], 5.0, 0.4) << c;
        EXPECT_NEAR(mean[c], 0.0, 0.5) << c;
    }
    cv::meanStdDev(firstFloat - secondFloat, mean, deviation);
    EXPECT_NEAR(deviation[1], 5.0 * std::sqrt(2.0), 0.6) << "frames carry different noise";
}

} // namespace
} // namespace optics
