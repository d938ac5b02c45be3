#include "app/focus/FocusFigure.h"
#include "optics/Microscope.h"
#include "optics/Slide.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <vector>

// Through a focus sweep over one specimen of the emulated slide the figure
// rises to the specimen's own height and falls after it, whatever the light.
TEST(FocusFigure, PeaksAtTheSpecimensHeightThroughASweep)
{
    const optics::Specimen* specimen = nullptr;
    for (const auto& s : optics::Slide::instance().specimens())
        if (s.kind == optics::Specimen::Kind::Cell && s.level >= 6 && s.level <= 14 && s.rx > 30 && s.ry > 30) {
            specimen = &s;
            break;
        }
    ASSERT_NE(specimen, nullptr);
    optics::OpticsSettings settings;
    settings.noiseLevels = 2;
    settings.on = true;
    optics::Microscope microscope(settings, 30);
    microscope.holdStageAt(cv::Point2d(specimen->cx, specimen->cy));
    const cv::Size size(640, 480);
    const cv::Rect region = focus::centreThird(size);
    focus::FocusFigure figure;
    std::vector<double> figures;
    cv::Mat rgb, rgba;
    for (int level = 0; level < optics::kFocusLevels; ++level) {
        microscope.render(uint64_t(level), size, optics::focusOfLevel(level), rgb);
        cv::cvtColor(rgb, rgba, cv::COLOR_RGB2RGBA);
        figures.push_back(figure.measure(rgba, region));
    }
    const int peak = int(std::max_element(figures.begin(), figures.end()) - figures.begin());
    EXPECT_NEAR(peak, specimen->level, 1);
    // Rising towards the peak and falling after it, down to the figure of
    // noise alone (the floor), which the far levels share.
    const double floor = *std::min_element(figures.begin(), figures.end());
    for (int level = peak; level - 1 >= 0 && figures[size_t(level - 1)] > 1.1 * floor; --level)
        EXPECT_GT(figures[size_t(level)], figures[size_t(level - 1)]) << "level " << level;
    for (int level = peak; level + 1 < optics::kFocusLevels && figures[size_t(level + 1)] > 1.1 * floor; ++level)
        EXPECT_GT(figures[size_t(level)], figures[size_t(level + 1)]) << "level " << level;
    EXPECT_GT(figures[size_t(peak)], 3 * floor);
    EXPECT_LT(figures.front(), 1.3 * floor);
    EXPECT_LT(figures.back(), 1.3 * floor);

    // Half the light: the same figure; an empty or black region: 0.
    microscope.render(uint64_t(peak), size, optics::focusOfLevel(peak), rgb);
    cv::cvtColor(rgb, rgba, cv::COLOR_RGB2RGBA);
    const double full = figure.measure(rgba, region);
    cv::Mat dim;
    rgba.convertTo(dim, -1, 0.5);
    EXPECT_NEAR(figure.measure(dim, region), full, 0.1 * full);
    EXPECT_EQ(figure.measure(rgba, cv::Rect(700, 0, 50, 50)), 0.0);
    EXPECT_EQ(figure.measure(cv::Mat(size, CV_8UC4, cv::Scalar::all(0)), region), 0.0);
}

// A region larger than a quarter of a full-HD frame is measured on bands of
// its rows: the figure reads within a tenth of the whole region's (a few
// percent but where a sharp edge lies along a row, as the micrometer's bar),
// sharp or soft, so the best since the toggle stays comparable.
TEST(FocusFigure, ALargeRegionMeasuredOnBandsReadsAsTheWholeOfIt)
{
    optics::OpticsSettings settings;
    settings.noiseLevels = 2;
    settings.on = true;
    optics::Microscope microscope(settings, 30);
    microscope.holdStageAt(cv::Point2d(optics::kSlideWidth / 2.0, optics::kSlideHeight / 2.0));
    const cv::Size size(1280, 720);
    focus::FocusFigure figure;
    cv::Mat rgb, rgba, grey, laplacian;
    std::vector<double> banded;
    for (const double focusAt : {0.5, 0.3}) {
        microscope.render(0, size, focusAt, rgb);
        cv::cvtColor(rgb, rgba, cv::COLOR_RGB2RGBA);
        banded.push_back(figure.measure(rgba, cv::Rect(cv::Point(), size)));
        // Every pixel: the variance of the Laplacian over the squared mean grey.
        cv::cvtColor(rgba, grey, cv::COLOR_RGBA2GRAY);
        cv::Laplacian(grey, laplacian, CV_16S, 1);
        cv::Scalar mean, dev;
        cv::meanStdDev(laplacian, mean, dev);
        const double grey0 = cv::mean(grey)[0];
        EXPECT_NEAR(banded.back(), 1e4 * dev[0] * dev[0] / (grey0 * grey0), 0.1 * banded.back()) << focusAt;
    }
    EXPECT_GT(banded[0], 1.5 * banded[1]) << "the sharper picture reads higher";
}
