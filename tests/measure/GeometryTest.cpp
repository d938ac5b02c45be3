#include "Geometry.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace measure;

TEST(GeometryTolerance, SquareOfTenPixelsIsStrict)
{
    EXPECT_TRUE(nearPoint({109.9f, 109.9f}, {100, 100})); // a corner of the square, outside a circle of 10
    EXPECT_FALSE(nearPoint({110, 100}, {100, 100}));      // exactly 10 away on one axis
    EXPECT_FALSE(nearPoint({100, 90}, {100, 100}));
    EXPECT_TRUE(nearPoint({90.5f, 100}, {100, 100}));
}

TEST(GeometryTolerance, EarlierVertexWinsATie)
{
    sf::VertexArray points(sf::Points);
    points.append(sf::Vertex({100, 100}));
    points.append(sf::Vertex({104, 100}));
    EXPECT_EQ(findNearVertex(points, {103, 100}), 0);
    EXPECT_EQ(findNearVertex(points, {112, 100}), 1);
    EXPECT_EQ(findNearVertex(points, {103, 100}, 1), 1); // search from the second on
    EXPECT_EQ(findNearVertex(points, {300, 100}), -1);
}

TEST(GeometrySegment, TwoPixelsOfSlackAlongTheSegmentOnly)
{
    EXPECT_TRUE(onSegment({50, 0}, {0, 0}, {100, 0}));
    EXPECT_TRUE(onSegment({50, 9}, {0, 0}, {100, 0}));   // 2 * sqrt(50^2 + 9^2) - 100 = 1.6
    EXPECT_FALSE(onSegment({50, 11}, {0, 0}, {100, 0})); // 2.4 of slack needed
    EXPECT_FALSE(onSegment({103, 0}, {0, 0}, {100, 0})); // beyond the end
}

TEST(GeometryRect, LeftAndTopEdgesInsideRightAndBottomOutside)
{
    EXPECT_TRUE(inRect({10, 20}, {10, 20}, {30, 40}));
    EXPECT_FALSE(inRect({40, 30}, {10, 20}, {30, 40}));
    EXPECT_FALSE(inRect({20, 60}, {10, 20}, {30, 40}));
    // A negative extent is normalised.
    EXPECT_TRUE(inRect({20, 30}, {40, 60}, {-30, -40}));
    EXPECT_FALSE(inRect({40, 30}, {40, 60}, {-30, -40}));
}

TEST(GeometryCircumcircle, ThreePointsAndDegenerateCases)
{
    const auto c = circumcircle({0, 0}, {100, 0}, {50, 50});
    ASSERT_TRUE(c);
    EXPECT_NEAR(c->centre.x, 50, 1e-4);
    EXPECT_NEAR(c->centre.y, 0, 1e-4);
    EXPECT_NEAR(c->radius, 50, 1e-4);
    EXPECT_FALSE(circumcircle({5, 5}, {5, 5}, {5, 5}));       // coincident
    EXPECT_FALSE(circumcircle({0, 0}, {50, 50}, {100, 100})); // collinear
    EXPECT_FALSE(circumcircle({0, 0}, {0, 0}, {100, 100}));   // two coincide
}

TEST(GeometryFoot, InfiniteLineAndPointLikeLine)
{
    const sf::Vector2f foot = footOnLine({150, 50}, {0, 0}, {100, 0});
    EXPECT_FLOAT_EQ(foot.x, 150);
    EXPECT_FLOAT_EQ(foot.y, 0);
    const sf::Vector2f none = footOnLine({150, 50}, {7, 8}, {7, 8});
    EXPECT_FLOAT_EQ(none.x, 7);
    EXPECT_FLOAT_EQ(none.y, 8);
}

TEST(GeometryTicks, PerpendicularForEveryDirectionAndFiniteWhenDegenerate)
{
    const sf::Vector2f ends[][2] = {
        {{0, 0}, {30, 40}}, {{0, 0}, {-30, 40}}, {{10, 10}, {10, 90}}, {{0, 0}, {-30, -40}}};
    for (const auto& e : ends) {
        sf::VertexArray ticks(sf::Lines);
        appendEndTicks(ticks, e[0], e[1], 100, sf::Color::Red);
        ASSERT_EQ(ticks.getVertexCount(), 4u);
        const sf::Vector2f direction = e[1] - e[0];
        const sf::Vector2f tick = ticks[1].position - ticks[0].position;
        EXPECT_NEAR(direction.x * tick.x + direction.y * tick.y, 0, 1e-3);
        EXPECT_NEAR(dist(ticks[0].position, ticks[1].position), 200, 1e-3);
        EXPECT_NEAR(mid(ticks[2].position, ticks[3].position).x, e[1].x, 1e-4);
    }
    sf::VertexArray ticks(sf::Lines);
    appendEndTicks(ticks, {5, 5}, {5, 5}, 100, sf::Color::Red);
    for (std::size_t i = 0; i < ticks.getVertexCount(); ++i) {
        EXPECT_TRUE(std::isfinite(ticks[i].position.x));
        EXPECT_TRUE(std::isfinite(ticks[i].position.y));
    }
}

TEST(GeometryArc, FullCircleRepeatsAngleZeroPartialArcDoesNot)
{
    sf::VertexArray full(sf::LineStrip);
    appendFullCircle(full, {100, 100}, 50, sf::Color::Green);
    ASSERT_EQ(full.getVertexCount(), 201u);
    EXPECT_FLOAT_EQ(full[0].position.x, 150);
    EXPECT_FLOAT_EQ(full[200].position.x, 150);
    EXPECT_FLOAT_EQ(full[200].position.y, 100);
    EXPECT_NE(full[199].position, full[200].position);

    sf::VertexArray half(sf::LineStrip);
    appendArc(half, {100, 100}, 50, 0.0f, kPi, sf::Color::Green);
    EXPECT_GE(half.getVertexCount(), 100u); // t = 0, step, ... <= pi; no closing vertex
    EXPECT_LE(half.getVertexCount(), 101u);
    EXPECT_NE(half[half.getVertexCount() - 1].position, half[0].position);
}

TEST(GeometryAngle, ScreenConventionInZeroToTwoPi)
{
    EXPECT_NEAR(screenAngle({0, 0}, {10, 0}), 0, 1e-6);
    EXPECT_NEAR(screenAngle({0, 0}, {0, 10}), kPi / 2, 1e-5); // below: y grows downwards
    EXPECT_NEAR(screenAngle({0, 0}, {0, -10}), 3 * kPi / 2, 1e-5);
    EXPECT_NEAR(screenAngle({0, 0}, {-10, 0}), kPi, 1e-5);
    EXPECT_EQ(screenAngle({3, 3}, {3, 3}), 0.0f);
}
