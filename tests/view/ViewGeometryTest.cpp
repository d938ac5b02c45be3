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
