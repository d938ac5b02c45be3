#include "app/focus/FocusStacker.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <vector>

namespace {

const cv::Size kSize(640, 480);

// A sharp picture with detail everywhere: grey texture of a few pixels' grain
// over a slow gradient, RGBA.
cv::Mat sharpPicture()
{
    cv::RNG rng(7);
    cv::Mat grain(kSize, CV_8U);
    rng.fill(grain, cv::RNG::UNIFORM, 40, 215);
    cv::GaussianBlur(grain, grain, cv::Size(), 1.0);
    cv::Mat rgba;
    cv::cvtColor(grain, rgba, cv::COLOR_GRAY2RGBA);
    return rgba;
}

// Four regions (quadrants with a gap between them) at heights 0.2 … 0.8.
struct Region {
    cv::Rect rect;
    double height;
};
std::vector<Region> regions()
{
    return {{{0, 0, 320, 240}, 0.2}, {{320, 0, 320, 240}, 0.4}, {{0, 240, 320, 240}, 0.6}, {{320, 240, 320, 240}, 0.8}};
}

// The stack's frame at focus `f`: each region blurred by its distance from
// the focus, then placed by `placement` (what the stacker must find again),
// then noise.
cv::Mat frameAt(const cv::Mat& sharp, double f, const focus::Placement& placement, int seed)
{
    cv::Mat frame(kSize, CV_8UC4);
    for (const Region& region : regions()) {
        const double sigma = 10.0 * std::abs(region.height - f);
        cv::Mat blurred;
        if (sigma < 0.3)
            blurred = sharp.clone();
        else
            cv::GaussianBlur(sharp, blurred, cv::Size(), sigma);
        blurred(region.rect).copyTo(frame(region.rect));
    }
    cv::Mat placed;
    cv::warpAffine(frame, placed, cv::Mat(focus::StackRegistration::frameFromResult(placement, kSize)), kSize,
                   cv::INTER_LINEAR, cv::BORDER_REFLECT);
    cv::Mat noise(kSize, CV_16SC4);
    cv::RNG rng(uint64_t(seed) + 100);
    rng.fill(noise, cv::RNG::NORMAL, 0, 2);
    cv::Mat noisy;
    placed.convertTo(noisy, CV_16SC4);
    noisy += noise;
    noisy.convertTo(placed, CV_8UC4);
    cv::Mat alpha(kSize, CV_8U, cv::Scalar(255));
    cv::insertChannel(alpha, placed, 3);
    return placed;
}

// Mean absolute difference of two RGBA pictures inside `rect`.
double meanError(const cv::Mat& a, const cv::Mat& b, cv::Rect rect)
{
    cv::Mat diff;
    cv::absdiff(a(rect), b(rect), diff);
    const cv::Scalar m = cv::mean(diff);
    return (m[0] + m[1] + m[2]) / 3;
}

cv::Rect inner(cv::Rect r, int margin)
{
    return {r.x + margin, r.y + margin, r.width - 2 * margin, r.height - 2 * margin};
}

} // namespace

// Frames through the depth, each sharp in one region: the result is sharp in
// every region, inside the shift and scale the stage and the optics add.
TEST(FocusStacker, MergesASweepIntoThePictureSharpEverywhereAlsoWhenFramesShiftAndScale)
{
    const cv::Mat sharp = sharpPicture();
    for (const bool moving : {false, true}) {
        SCOPED_TRACE(moving ? "shift and scale" : "still");
        focus::FocusStacker stacker(kSize);
        int seed = 0;
        for (double f = 0.0; f <= 1.001; f += 0.05) {
            focus::Placement truth;
            if (moving) {
                truth.dx = 3.0 * std::sin(seed * 1.7);
                truth.dy = 3.0 * std::cos(seed * 2.3);
                truth.scale = 1.0 + 0.02 * (f - 0.5);
            }
            // The first frame sets the result's geometry: it must be placed as the truth is.
            const cv::Mat frame = frameAt(sharp, f, seed == 0 ? focus::Placement{} : truth, seed);
            ++seed;
            const auto outcome = stacker.add(frame);
            ASSERT_NE(outcome, focus::FocusStacker::Outcome::NotPlaced) << "focus " << f;
            if (moving && seed > 1) {
                const focus::Placement& found = stacker.lastPlacement();
                EXPECT_NEAR(found.dx, truth.dx, 0.35) << "focus " << f;
                EXPECT_NEAR(found.dy, truth.dy, 0.35) << "focus " << f;
                EXPECT_NEAR(found.scale, truth.scale, 0.0015) << "focus " << f;
            }
        }
        EXPECT_EQ(stacker.framesAdded(), 21);
        for (const Region& region : regions()) {
            const cv::Rect rect = inner(region.rect, 24);
            // A frame focused elsewhere (0.3 away) for comparison.
            const cv::Mat off = frameAt(sharp, region.height > 0.5 ? region.height - 0.3 : region.height + 0.3, {}, 99);
            const double merged = meanError(stacker.result(), sharp, rect);
            EXPECT_LT(merged, 4.0) << "height " << region.height;
            EXPECT_LT(merged, 0.4 * meanError(off, sharp, rect)) << "height " << region.height;
        }
    }
}

// A frame of another size is refused and changes nothing; an empty field
// cannot be placed and is left out.
TEST(FocusStacker, RefusesFramesItCannotMerge)
{
    focus::FocusStacker stacker(kSize);
    const cv::Mat sharp = sharpPicture();
    ASSERT_EQ(stacker.add(sharp), focus::FocusStacker::Outcome::Merged);
    const cv::Mat before = stacker.result().clone();
    EXPECT_EQ(stacker.add(cv::Mat(cv::Size(320, 240), CV_8UC4, cv::Scalar::all(9))),
              focus::FocusStacker::Outcome::WrongSize);
    EXPECT_EQ(stacker.add(cv::Mat(kSize, CV_8UC4, cv::Scalar(120, 120, 120, 255))),
              focus::FocusStacker::Outcome::NotPlaced);
    EXPECT_EQ(cv::norm(stacker.result(), before, cv::NORM_INF), 0.0);
    EXPECT_EQ(stacker.add(sharp), focus::FocusStacker::Outcome::NothingNew);
}
