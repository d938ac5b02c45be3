// The stitcher on frames of the emulated microscope, the stage held at known
// places, against where the frames truly lay and what the slide shows there.
#include "app/panorama/Stitcher.h"
#include "optics/Microscope.h"
#include "optics/Slide.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <vector>

namespace panorama {
namespace {

const cv::Size kFrame(640, 480);
// A stretch of the slide dense with cells.
const cv::Point2d kCells(6460, 2370);

class Stage {
public:
    explicit Stage(double noise = 4, double shake = 0) : m_microscope(settings(noise, shake), 30) {}

    // The frame with the field's centre at `centre` (plus shake), RGBA, and
    // where its corner truly lay (level pixels; magnification 1 at rest).
    cv::Mat frameAt(cv::Point2d centre, cv::Point* corner = nullptr)
    {
        m_microscope.holdStageAt(centre);
        cv::Mat rgb, rgba;
        m_microscope.render(m_frame, kFrame, 0.5, rgb);
        if (corner)
            *corner = m_microscope.fieldAt(m_frame, kFrame, 0.5).topLeft;
        ++m_frame;
        cv::cvtColor(rgb, rgba, cv::COLOR_RGB2RGBA);
        return rgba;
    }
    // The slide as the optics show it over `region` (level pixels), RGBA.
    cv::Mat truth(const cv::Rect& region) const
    {
        optics::FieldOfView field = m_microscope.fieldAt(0, kFrame, 0.5);
        field.topLeft = region.tl();
        cv::Mat rgb, rgba;
        m_microscope.renderField(field, region.size(), rgb);
        cv::cvtColor(rgb, rgba, cv::COLOR_RGB2RGBA);
        return rgba;
    }

private:
    static optics::OpticsSettings settings(double noise, double shake)
    {
        optics::OpticsSettings s;
        s.noiseLevels = noise;
        s.shakePixels = shake;
        s.on = true;
        return s;
    }
    optics::Microscope m_microscope;
    uint64_t m_frame = 1;
};

TEST(StitcherTest, FindsKnownShiftsAndRefusesFramesItCannotPlace)
{
    Stage stage;
    Stitcher stitcher;
    ASSERT_EQ(stitcher.add(stage.frameAt(kCells)), FrameOutcome::Placed);
    EXPECT_EQ(stitcher.field(), cv::Rect(cv::Point(0, 0), kFrame));

    // None, small and larger steps, both ways.
    for (const cv::Point step : {cv::Point(0, 0), cv::Point(7, -5), cv::Point(30, 18), cv::Point(-12, 25)}) {
        EXPECT_EQ(stitcher.add(stage.frameAt(kCells + cv::Point2d(step))), FrameOutcome::Placed) << step;
        EXPECT_EQ(stitcher.field().tl(), step);
    }
    // No overlap: not placed, and found again once back over the stitched area.
    ASSERT_EQ(stitcher.add(stage.frameAt(kCells + cv::Point2d(-12, 25))), FrameOutcome::Placed);
    EXPECT_NE(stitcher.add(stage.frameAt(kCells + cv::Point2d(1500, 0))), FrameOutcome::Placed);
    EXPECT_TRUE(stitcher.lost());
    EXPECT_EQ(stitcher.add(stage.frameAt(kCells + cv::Point2d(60, -40))), FrameOutcome::Placed);
    EXPECT_EQ(stitcher.field().tl(), cv::Point(60, -40));
    EXPECT_FALSE(stitcher.lost());

    // Empty glass beside the panorama is never placed.
    const cv::Point2d glass = optics::Slide::instance().emptyGlass(kFrame);
    const int placed = stitcher.placed();
    for (int i = 0; i < 3; ++i)
        EXPECT_NE(stitcher.add(stage.frameAt(glass + cv::Point2d(9 * i, 0))), FrameOutcome::Placed);
    EXPECT_EQ(stitcher.placed(), placed);

    // A frame of another size leaves everything as it was.
    cv::Mat larger(kFrame.height + 8, kFrame.width, CV_8UC4, cv::Scalar::all(128));
    EXPECT_EQ(stitcher.add(larger), FrameOutcome::SizeChanged);
    EXPECT_EQ(stitcher.placed(), placed);

    // A panorama started on empty glass does not start.
    Stitcher overGlass;
    EXPECT_EQ(overGlass.add(stage.frameAt(glass)), FrameOutcome::Lost);
    EXPECT_TRUE(overGlass.canvas().empty());

    // Over the ruled grid every step of its pitch matches as well: the frames
    // that follow the first are refused, never placed a pitch off.
    const cv::Point2d grid(1450, 3400);
    Stitcher overGrid;
    ASSERT_EQ(overGrid.add(stage.frameAt(grid)), FrameOutcome::Placed);
    for (const cv::Point step : {cv::Point(6, 4), cv::Point(14, 9), cv::Point(20, -3)}) {
        if (overGrid.add(stage.frameAt(grid + cv::Point2d(step))) == FrameOutcome::Placed) {
            EXPECT_LE(cv::norm(overGrid.field().tl() - step), 5.0) << step;
        }
    }
    EXPECT_EQ(overGrid.placed(), 1);
}

TEST(StitcherTest, MotionBlurIsRefusedAsTooFast)
{
    Stage stage;
    Stitcher stitcher;
    ASSERT_EQ(stitcher.add(stage.frameAt(kCells)), FrameOutcome::Placed);
    ASSERT_EQ(stitcher.add(stage.frameAt(kCells + cv::Point2d(8, 0))), FrameOutcome::Placed);
    // The stage sweeping 24 pixels sideways while the frame is taken.
    cv::Mat blurred = stage.frameAt(kCells + cv::Point2d(16, 0));
    cv::blur(blurred, blurred, cv::Size(25, 1));
    EXPECT_EQ(stitcher.add(blurred), FrameOutcome::TooFast);
    EXPECT_EQ(stitcher.placed(), 2);
}

// The stage over a 3 × 3 serpentine, half a field apart, and back over the
// first row, with noise and shake; `step` pixels per frame.
std::vector<cv::Point2d> serpentine(double step)
{
    const cv::Point2d half(kFrame.width / 2.0, kFrame.height / 2.0);
    std::vector<cv::Point2d> corners;
    for (int row = 0; row < 3; ++row) {
        corners.push_back(kCells + cv::Point2d(row % 2 ? 2 * half.x : 0, row * half.y));
        corners.push_back(kCells + cv::Point2d(row % 2 ? 0 : 2 * half.x, row * half.y));
    }
    corners.push_back(kCells + cv::Point2d(2 * half.x, 0));
    corners.push_back(kCells);
    std::vector<cv::Point2d> path;
    for (size_t i = 1; i < corners.size(); ++i) {
        const double length = cv::norm(corners[i] - corners[i - 1]);
        for (double s = 0; s < length; s += step)
            path.push_back(corners[i - 1] + (corners[i] - corners[i - 1]) * (s / length));
    }
    path.push_back(corners.back());
    return path;
}

TEST(StitcherTest, StitchesASmallSlideThatMatchesItsTruth)
{
    Stage stage(4, 2);
    Stitcher stitcher;
    cv::Point origin; // the first frame's true corner
    double worst = 0, sum = 0, closing = 0;
    int placed = 0;
    const auto path = serpentine(24);
    for (size_t i = 0; i < path.size(); ++i) {
        cv::Point truth;
        const cv::Mat frame = stage.frameAt(path[i], &truth);
        if (i == 0)
            origin = truth;
        if (stitcher.add(frame) != FrameOutcome::Placed)
            continue;
        ++placed;
        const double error = cv::norm(stitcher.field().tl() - (truth - origin));
        worst = std::max(worst, error);
        sum += error;
        if (i + 1 == path.size())
            closing = error;
    }
    // Frames over sparse cells or the scale's ticks are skipped now and
    // then; the stage is found again and the picture comes out whole.
    EXPECT_GE(placed, int(path.size()) * 3 / 5);
    EXPECT_LE(worst, 1.0);
    EXPECT_LE(sum / placed, 0.5);
    EXPECT_LE(closing, 1.0);

    // The picture against the slide under it, over the covered area.
    std::vector<uint8_t> rgba;
    stitcher.canvas().copyPicture(rgba);
    const cv::Rect bounds = stitcher.canvas().bounds();
    // The serpentine covers two frames each way, give or take the shake.
    ASSERT_NEAR(bounds.width, 2 * kFrame.width, 2);
    ASSERT_NEAR(bounds.height, 2 * kFrame.height, 2);
    const cv::Mat picture(bounds.size(), CV_8UC4, rgba.data());
    const cv::Mat truth = stage.truth(bounds + origin);
    cv::Mat a, b, covered;
    cv::cvtColor(picture, a, cv::COLOR_RGBA2GRAY);
    cv::cvtColor(truth, b, cv::COLOR_RGBA2GRAY);
    cv::threshold(a, covered, 0, 255, cv::THRESH_BINARY);
    EXPECT_GE(cv::countNonZero(covered), bounds.area() * 9 / 10);
    cv::Mat score;
    cv::matchTemplate(a, b, score, cv::TM_CCOEFF_NORMED, covered);
    EXPECT_GE(score.at<float>(0, 0), 0.95);
}

TEST(StitcherTest, StopsAtTheSizeLimit)
{
    Stage stage;
    // Room for the first frame and a little more.
    Stitcher stitcher(int64_t(kFrame.area()) * 3 / 2);
    ASSERT_EQ(stitcher.add(stage.frameAt(kCells)), FrameOutcome::Placed);
    FrameOutcome outcome = FrameOutcome::Placed;
    int x = 0;
    while (outcome == FrameOutcome::Placed && x < 400)
        outcome = stitcher.add(stage.frameAt(kCells + cv::Point2d(x += 20, 0)));
    EXPECT_EQ(outcome, FrameOutcome::LimitReached);
    EXPECT_LE(int64_t(stitcher.canvas().bounds().area()), stitcher.canvas().maxPixels());
    EXPECT_GT(stitcher.canvas().bounds().width, kFrame.width * 5 / 4);
}

} // namespace
} // namespace panorama
