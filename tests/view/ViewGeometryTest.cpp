#include "app/view/ViewGeometry.h"
#include "app/view/RoundedRectangleShape.h"
#include "app/view/SFAnimatedSprite.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(ViewFit, WidePictureFillsTheWidthAndIsLetterboxedVertically)
{
    const ViewFit fit = fitImage(1920, 1080, 1000, 800);
    EXPECT_FLOAT_EQ(fit.zoom, 1000.0f / 1920.0f);
    EXPECT_FLOAT_EQ(fit.originX, 0.0f);
    EXPECT_FLOAT_EQ(fit.originY, 118.75f);
}

TEST(ViewFit, FourByThreeInFiveByFourIsStillRelativelyWider)
{
    const ViewFit fit = fitImage(640, 480, 1000, 800);
    EXPECT_FLOAT_EQ(fit.zoom, 1.5625f);
    EXPECT_FLOAT_EQ(fit.originX, 0.0f);
    EXPECT_FLOAT_EQ(fit.originY, 25.0f);
}

TEST(ViewFit, EqualAspectTakesTheHeightBranchAndTallPicturesArePillarboxed)
{
    ViewFit fit = fitImage(500, 400, 1000, 800);
    EXPECT_FLOAT_EQ(fit.zoom, 2.0f);
    EXPECT_FLOAT_EQ(fit.originX, 0.0f);
    EXPECT_FLOAT_EQ(fit.originY, 0.0f);
    fit = fitImage(400, 800, 1000, 800);
    EXPECT_FLOAT_EQ(fit.zoom, 1.0f);
    EXPECT_FLOAT_EQ(fit.originX, 300.0f);
}

TEST(ViewZoom, ZoomsAboutThePointerWithinFitAndSixteenPansInsideThePictureAndKeepsTheCentreOnResize)
{
    ViewZoom view;
    view.setSizes(1920, 1080, 1000, 800);
    ASSERT_TRUE(view.isFitted());
    const float fit = view.fitScale();
    float u = 0, v = 0;
    view.toPicture(300, 200, u, v);

    // The picture point under the pointer stays under it.
    ASSERT_TRUE(view.zoomAbout(4, 300, 200));
    EXPECT_FALSE(view.isFitted());
    EXPECT_FLOAT_EQ(view.transform().zoom, 4 * fit);
    float x = 0, y = 0;
    view.toView(u, v, x, y);
    EXPECT_NEAR(x, 300, 1e-3);
    EXPECT_NEAR(y, 200, 1e-3);
    EXPECT_EQ(view.percent(), int(std::lround(400 * fit)));

    // Panning stops at the picture's edges: the control stays covered.
    EXPECT_TRUE(view.panBy(1e6f, -1e6f));
    EXPECT_FLOAT_EQ(view.transform().originX, 0);
    EXPECT_FLOAT_EQ(view.transform().originY, 800 - 1080 * 4 * fit);
    EXPECT_FALSE(view.panBy(10, 0));

    // 16 at most; out past the fit is the fit, where a pan does nothing.
    view.zoomAbout(1000, 500, 400);
    EXPECT_FLOAT_EQ(view.transform().zoom, ViewZoom::kMaxScale);
    EXPECT_EQ(view.percent(), 1600);
    EXPECT_TRUE(view.zoomAbout(1e-4f, 500, 400));
    EXPECT_TRUE(view.isFitted());
    EXPECT_FLOAT_EQ(view.transform().originY, 118.75f);
    EXPECT_FALSE(view.panBy(5, 5));

    // 1:1 about a point, then a wider control keeps the centre's picture point.
    ASSERT_TRUE(view.setScaleAbout(1, 500, 400));
    view.toPicture(500, 400, u, v);
    view.setSizes(1920, 1080, 1200, 800);
    EXPECT_FLOAT_EQ(view.transform().zoom, 1);
    view.toView(u, v, x, y);
    EXPECT_NEAR(x, 600, 1e-3);
    EXPECT_NEAR(y, 400, 1e-3);
    EXPECT_TRUE(view.fit());
    // A picture of another size comes up fitted.
    view.setScaleAbout(2, 0, 0);
    view.setSizes(640, 480, 1200, 800);
    EXPECT_TRUE(view.isFitted());
}

TEST(ViewFit, NothingToFitGivesTheIdentity)
{
    const ViewFit fit = fitImage(0, 1080, 1000, 800);
    EXPECT_FLOAT_EQ(fit.zoom, 1.0f);
    EXPECT_FLOAT_EQ(fit.originX, 0.0f);
    EXPECT_FLOAT_EQ(fit.originY, 0.0f);
}

TEST(RecordingTime, FormatsHoursMinutesSeconds)
{
    EXPECT_EQ(formatElapsed(3725), "01:02:05");
    EXPECT_EQ(formatElapsed(59), "00:00:59");
    EXPECT_EQ(formatElapsed(0), "00:00:00");
    EXPECT_EQ(formatElapsed(100 * 3600), "100:00:00");
}

TEST(RoundedRectangle, CornersRunCounterClockwiseFromTheTopRight)
{
    sf::RoundedRectangleShape box({100, 40}, 10, 10);
    ASSERT_EQ(box.getPointCount(), 40u);
    // Corner 0 starts at angle 0 on the right edge and ends at the top.
    EXPECT_NEAR(box.getPoint(0).x, 100, 1e-4);
    EXPECT_NEAR(box.getPoint(0).y, 10, 1e-4);
    EXPECT_NEAR(box.getPoint(9).x, 90, 1e-3);
    EXPECT_NEAR(box.getPoint(9).y, 0, 1e-3);
    // Corner 2 (bottom left) centre is (r, height - r); its index offset is
    // i - c, so its angles continue past 180 degrees by two steps.
    const float step = 90.0f / 9.0f;
    const float a = step * (20 - 2) * 3.1415927f / 180.0f;
    EXPECT_NEAR(box.getPoint(20).x, 10 + 10 * std::cos(a), 1e-3);
    EXPECT_NEAR(box.getPoint(20).y, 30 - 10 * std::sin(a), 1e-3);
    EXPECT_EQ(box.getPoint(40), sf::Vector2f(0, 0));
}

TEST(AnimatedSprite, StepsThroughFramesAndWraps)
{
    std::vector<sf::IntRect> frames;
    for (int i = 0; i < 3; ++i)
        frames.emplace_back(i * 20, 0, 20, 20);
    SFAnimatedSprite sprite(sf::seconds(0.1f));
    sprite.setFrames(&frames, nullptr);
    EXPECT_EQ(sprite.currentFrame(), 0u);
    EXPECT_FLOAT_EQ(sprite.vertices()[2].position.x, 20.0f);
    sprite.update(sf::milliseconds(50));
    EXPECT_EQ(sprite.currentFrame(), 0u);
    sprite.update(sf::milliseconds(60));
    EXPECT_EQ(sprite.currentFrame(), 1u);
    EXPECT_NEAR(sprite.vertices()[0].texCoords.x, 20.0001f, 1e-4);
    sprite.update(sf::milliseconds(100));
    sprite.update(sf::milliseconds(100));
    EXPECT_EQ(sprite.currentFrame(), 0u) << "looped back after the last frame";
    EXPECT_FALSE(sprite.isPaused());
}

TEST(AnimatedSprite, AnUnloopedSpritePausesAfterTheLastFrame)
{
    std::vector<sf::IntRect> frames(2, sf::IntRect(0, 0, 20, 20));
    SFAnimatedSprite sprite(sf::seconds(0.1f), false, false);
    sprite.setFrames(&frames, nullptr);
    sprite.update(sf::milliseconds(100));
    sprite.update(sf::milliseconds(100));
    EXPECT_TRUE(sprite.isPaused());
    sprite.update(sf::milliseconds(100));
    EXPECT_EQ(sprite.currentFrame(), 0u);
    sprite.play();
    sprite.update(sf::milliseconds(100));
    EXPECT_EQ(sprite.currentFrame(), 1u);
}

TEST(AnimatedSprite, WithoutFramesUpdateDoesNothing)
{
    SFAnimatedSprite sprite(sf::seconds(0.1f));
    sprite.update(sf::seconds(5));
    EXPECT_EQ(sprite.currentFrame(), 0u);
}
