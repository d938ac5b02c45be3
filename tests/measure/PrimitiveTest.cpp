// Each measuring class driven through the container as an operator would:
// tool button, clicks with movements in between, drags with the move tool.
#include "LabelFont.h"
#include "MeasureTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace measuretest;

namespace {

// These suites run without a display: labels get no font (and no bounds).
const bool fontless = (measure::setLabelFontPath("/nonexistent/pellumo-test-font.ttf"), true);

class PrimitiveTest : public ::testing::Test {
protected:
    SFPrimitiveContainer c;
    Operator op{c};

    MeasureData last() { return c.measureData(c.count() - 1); }
    std::string lastLabel() { return labelOf(c, c.count() - 1); }
};

void expectFiniteEverywhere(const SFPrimitiveContainer& c, int index)
{
    const MeasureData d = c.measureData(index);
    for (float v : {d.centerX, d.centerY, d.startX, d.startY, d.endX, d.endY, d.radius, d.area, d.perimeter, d.angle,
                    d.width, d.height})
        EXPECT_TRUE(std::isfinite(v));
    for (float v : d.lengths)
        EXPECT_TRUE(std::isfinite(v));
    for (float v : d.distances)
        EXPECT_TRUE(std::isfinite(v));
    for (const sf::VertexArray& array : {shapeOf(c, index), dimensionOf(c, index)})
        for (std::size_t i = 0; i < array.getVertexCount(); ++i)
            EXPECT_TRUE(std::isfinite(array[i].position.x) && std::isfinite(array[i].position.y)) << "vertex " << i;
    const std::string label = labelOf(c, index);
    EXPECT_EQ(label.find("nan"), std::string::npos) << label;
    EXPECT_EQ(label.find("inf"), std::string::npos) << label;
}

} // namespace

// ---------------------------------------------------------------- Point

TEST_F(PrimitiveTest, PointReportsImageCoordinatesWithoutUnit)
{
    c.setViewTransform(10, 20, 2.0f);
    c.setCalibration("mm", 0.5f);
    op.place(ToolPoint, {{31, 45}});
    EXPECT_EQ(typeOf(c, 0), "Point");
    EXPECT_TRUE(finishedAt(c, 0));
    EXPECT_FLOAT_EQ(last().centerX, 10.5f);
    EXPECT_FLOAT_EQ(last().centerY, 12.5f);
    EXPECT_EQ(lastLabel(), "(X:10.5, Y:12.5)");
    EXPECT_EQ(shapeOf(c, 0).getVertexCount(), 4u); // a plus sign
}

TEST_F(PrimitiveTest, PointDraggedWithItsLabel)
{
    op.place(ToolPoint, {{100, 100}});
    sf::Vector2f labelBefore;
    c.withPrimitive(0, [&](const SFPrimitiveBase& p) { labelBefore = p.labelPosition(); });
    EXPECT_EQ(labelBefore, sf::Vector2f(100, 105));
    c.setTool(ToolMove);
    op.drag({104, 97}, {134, 137});
    EXPECT_FLOAT_EQ(last().centerX, 130);
    EXPECT_FLOAT_EQ(last().centerY, 140);
    c.withPrimitive(0, [&](const SFPrimitiveBase& p) { EXPECT_EQ(p.labelPosition(), sf::Vector2f(130, 145)); });
}

// ---------------------------------------------------------------- Line

TEST_F(PrimitiveTest, LineOfHundredPixelsInMillimetres)
{
    c.setCalibration("mm", 0.01f);
    op.place(ToolLine, {{50, 50}, {150, 50}});
    EXPECT_EQ(typeOf(c, 0), "Line");
    EXPECT_TRUE(finishedAt(c, 0));
    EXPECT_EQ(lastLabel(), "L: 1.00 mm");
    ASSERT_EQ(last().lengths.size(), 1u);
    EXPECT_FLOAT_EQ(last().startX, 50);
    EXPECT_FLOAT_EQ(last().endX, 150);
}

TEST_F(PrimitiveTest, LineLengthHonoursZoomAndFactor)
{
    c.setViewTransform(0, 0, 2.0f);
    c.setCalibration("px", 0.5f);
    op.place(ToolLine, {{0, 0}, {60, 80}});
    EXPECT_EQ(lastLabel(), "L: 25.00 px");
    EXPECT_FLOAT_EQ(last().endX, 30);
    EXPECT_FLOAT_EQ(last().endY, 40);
}

TEST_F(PrimitiveTest, LineRubberBandsWithTicksAndDropsThemOnRelease)
{
    c.setTool(ToolLine);
    op.click(100, 100);
    op.move(100, 200);
    EXPECT_FALSE(finishedAt(c, 0));
    sf::VertexArray shape = shapeOf(c, 0);
    ASSERT_EQ(shape.getVertexCount(), 6u);
    EXPECT_EQ(shape[1].position, sf::Vector2f(100, 200));
    // A vertical line has horizontal ticks 200 pixels long.
    EXPECT_EQ(shape[2].position.y, 100);
    EXPECT_FLOAT_EQ(std::fabs(shape[3].position.x - shape[2].position.x), 200);
    EXPECT_EQ(lastLabel(), "L: 100.00 px");
    op.click(100, 250);
    EXPECT_TRUE(finishedAt(c, 0));
    shape = shapeOf(c, 0);
    ASSERT_EQ(shape.getVertexCount(), 2u);
    EXPECT_EQ(shape[1].position, sf::Vector2f(100, 250));
}

TEST_F(PrimitiveTest, LineEndAndBodyDragged)
{
    op.place(ToolLine, {{100, 100}, {200, 100}});
    c.setTool(ToolMove);
    op.drag({203, 104}, {203, 204}); // the second end
    EXPECT_FLOAT_EQ(last().endX, 200);
    EXPECT_FLOAT_EQ(last().endY, 200);
    EXPECT_FLOAT_EQ(last().startY, 100);
    op.drag({150, 150}, {170, 160}); // the body
    EXPECT_FLOAT_EQ(last().startX, 120);
    EXPECT_FLOAT_EQ(last().startY, 110);
    EXPECT_FLOAT_EQ(last().endX, 220);
    EXPECT_FLOAT_EQ(last().endY, 210);
}

TEST_F(PrimitiveTest, LineOfZeroLengthStaysFinite)
{
    op.place(ToolLine, {{80, 80}});
    op.move(80, 80); // rubber band onto the first end: no direction for the ticks
    expectFiniteEverywhere(c, 0);
    EXPECT_EQ(lastLabel(), "L: 0.00 px");
}

// ---------------------------------------------------------------- Line distance

TEST_F(PrimitiveTest, LineDistanceBetweenSegmentMidpoints)
{
    op.place(ToolLineDistance, {{0, 100}, {100, 100}, {20, 160}});
    EXPECT_FALSE(finishedAt(c, 0));
    op.click(80, 160);
    EXPECT_TRUE(finishedAt(c, 0));
    EXPECT_EQ(typeOf(c, 0), "LineDistance");
    const MeasureData d = last();
    ASSERT_EQ(d.lengths.size(), 1u);
    ASSERT_EQ(d.distances.size(), 1u);
    EXPECT_FLOAT_EQ(d.distances[0], 60);
    EXPECT_FLOAT_EQ(d.startX, 50);
    EXPECT_FLOAT_EQ(d.endX, 50);
    EXPECT_FLOAT_EQ(d.endY, 160);
    EXPECT_EQ(lastLabel(), "D: 60.00 px");
    EXPECT_EQ(shapeOf(c, 0).getVertexCount(), 4u); // ticks gone after the release
    EXPECT_EQ(dimensionOf(c, 0).getVertexCount(), 2u);
}

TEST_F(PrimitiveTest, LineDistanceSegmentDragged)
{
    op.place(ToolLineDistance, {{0, 100}, {100, 100}, {0, 160}, {100, 160}});
    c.setTool(ToolMove);
    op.drag({50, 161}, {50, 201}); // the second segment's body
    EXPECT_FLOAT_EQ(last().distances[0], 100);
}

// ---------------------------------------------------------------- Broken line

TEST_F(PrimitiveTest, BrokenLineEndsOnlyOnSecondaryPressWithThreeVertices)
{
    c.setTool(ToolBrokenLine);
    op.click(0, 0);
    op.rightClick(0, 0); // two vertices: not ended
    EXPECT_FALSE(finishedAt(c, 0));
    op.click(30, 40);
    op.click(30, 100);
    op.rightClick(60, 100);
    EXPECT_TRUE(finishedAt(c, 0));
    EXPECT_EQ(typeOf(c, 0), "Broken Line");
    EXPECT_FLOAT_EQ(last().lengths[0], 50 + 60 + 30);
    EXPECT_EQ(lastLabel(), "L: 140.00 px");
    // Finished: further movement does not stretch it.
    op.move(500, 500);
    EXPECT_FLOAT_EQ(last().lengths[0], 140);
}

TEST_F(PrimitiveTest, BrokenLineVertexDragged)
{
    c.setTool(ToolBrokenLine);
    op.click(0, 0);
    op.click(100, 0);
    op.rightClick(100, 100);
    c.setTool(ToolMove);
    op.drag({100, 0}, {200, 0});
    EXPECT_NEAR(last().lengths[0], 200 + std::sqrt(100.f * 100 + 100 * 100), 1e-3);
}

// ---------------------------------------------------------------- Rectangle

TEST_F(PrimitiveTest, RectangleFromTwoCorners)
{
    op.place(ToolRect, {{10, 10}, {110, 60}});
    EXPECT_EQ(typeOf(c, 0), "Rectangle");
    const MeasureData d = last();
    EXPECT_FLOAT_EQ(d.width, 100);
    EXPECT_FLOAT_EQ(d.height, 50);
    EXPECT_FLOAT_EQ(d.area, 5000);
    EXPECT_FLOAT_EQ(d.perimeter, 300);
    EXPECT_EQ(lastLabel(), "S: 5000.0000 px^2");
}

TEST_F(PrimitiveTest, RectangleCornerDragKeepsItAxisAligned)
{
    op.place(ToolRect, {{10, 10}, {110, 60}});
    c.setTool(ToolMove);
    op.drag({110, 60}, {130, 90}); // corner 2
    op.drag({10, 10}, {0, 0});     // corner 0, with the closing vertex
    const sf::VertexArray s = shapeOf(c, 0);
    ASSERT_EQ(s.getVertexCount(), 5u);
    EXPECT_EQ(s[0].position, sf::Vector2f(0, 0));
    EXPECT_EQ(s[1].position, sf::Vector2f(130, 0));
    EXPECT_EQ(s[2].position, sf::Vector2f(130, 90));
    EXPECT_EQ(s[3].position, sf::Vector2f(0, 90));
    EXPECT_EQ(s[4].position, s[0].position);
    EXPECT_FLOAT_EQ(last().area, 130 * 90);
    op.drag({130, 0}, {150, 5}); // corner 1
    op.drag({0, 90}, {-5, 100}); // corner 3
    const sf::VertexArray t = shapeOf(c, 0);
    EXPECT_EQ(t[0].position, sf::Vector2f(-5, 5));
    EXPECT_EQ(t[1].position, sf::Vector2f(150, 5));
    EXPECT_EQ(t[2].position, sf::Vector2f(150, 100));
    EXPECT_EQ(t[3].position, sf::Vector2f(-5, 100));
    EXPECT_EQ(t[4].position, t[0].position);
}

// ---------------------------------------------------------------- Polygon

TEST_F(PrimitiveTest, PolygonClosedOnSecondaryPress)
{
    c.setTool(ToolPolygon);
    op.click(0, 0);
    op.rightClick(50, 0);
    EXPECT_FALSE(finishedAt(c, 0));
    op.click(100, 0);
    op.click(100, 100);
    op.rightClick(0, 100);
    EXPECT_TRUE(finishedAt(c, 0));
    EXPECT_EQ(typeOf(c, 0), "Polygon");
    const sf::VertexArray s = shapeOf(c, 0);
    ASSERT_EQ(s.getVertexCount(), 5u);
    EXPECT_EQ(s[4].position, s[0].position);
    EXPECT_FLOAT_EQ(last().area, 10000);
    EXPECT_FLOAT_EQ(last().perimeter, 400);
    EXPECT_EQ(lastLabel(), "S: 10000.0000 px^2");
}

TEST_F(PrimitiveTest, PolygonFirstVertexDragMovesTheClosingOneToo)
{
    c.setTool(ToolPolygon);
    op.click(0, 0);
    op.click(100, 0);
    op.click(100, 100);
    op.rightClick(0, 100);
    c.setTool(ToolMove);
    op.drag({0, 0}, {0, -100});
    const sf::VertexArray s = shapeOf(c, 0);
    EXPECT_EQ(s[0].position, sf::Vector2f(0, -100));
    EXPECT_EQ(s[s.getVertexCount() - 1].position, sf::Vector2f(0, -100));
    EXPECT_FLOAT_EQ(last().area, 15000);
}

// ---------------------------------------------------------------- Circles

TEST_F(PrimitiveTest, CircleByCentreAndRadius)
{
    c.setTool(ToolCircle);
    op.click(100, 100);
    op.move(150, 100);
    EXPECT_EQ(shapeOf(c, 0).getVertexCount(), 1u + 201u); // centre, then the closed circle
    op.click(150, 100);
    EXPECT_EQ(typeOf(c, 0), "Circle");
    const MeasureData d = last();
    EXPECT_FLOAT_EQ(d.radius, 50);
    EXPECT_NEAR(d.perimeter, 314.159, 1e-3);
    EXPECT_NEAR(d.area, 7853.98, 1e-2);
    EXPECT_FLOAT_EQ(d.centerX, 100);
    EXPECT_EQ(lastLabel(), "R: 50.00 px");
}

TEST_F(PrimitiveTest, CircleRimAndCentreDragged)
{
    op.place(ToolCircle, {{100, 100}, {150, 100}});
    c.setTool(ToolMove);
    op.drag({100, 148}, {100, 170}); // the rim
    EXPECT_FLOAT_EQ(last().radius, 70);
    op.drag({102, 101}, {202, 101}); // the centre
    EXPECT_FLOAT_EQ(last().centerX, 200);
    EXPECT_FLOAT_EQ(last().radius, 70);
}

TEST_F(PrimitiveTest, TwoPointCircleOnItsDiameter)
{
    op.place(ToolCircle2, {{100, 100}, {200, 100}});
    EXPECT_EQ(typeOf(c, 0), "Two Points Circle");
    EXPECT_FLOAT_EQ(last().radius, 50);
    EXPECT_FLOAT_EQ(last().centerX, 150);
    c.setTool(ToolMove);
    op.drag({200, 100}, {300, 100});
    EXPECT_FLOAT_EQ(last().radius, 100);
    EXPECT_FLOAT_EQ(last().centerX, 200);
}

TEST_F(PrimitiveTest, ThreePointCircle)
{
    op.place(ToolCircle3, {{0, 100}, {100, 100}, {50, 150}});
    EXPECT_TRUE(finishedAt(c, 0));
    EXPECT_EQ(typeOf(c, 0), "Three Points Circle");
    EXPECT_NEAR(last().radius, 50, 1e-3);
    EXPECT_NEAR(last().centerX, 50, 1e-3);
    EXPECT_NEAR(last().centerY, 100, 1e-3);
    EXPECT_EQ(shapeOf(c, 0).getVertexCount(), 3u + 201u);
}

TEST_F(PrimitiveTest, ThreePointCircleSkipsCoincidentAndCollinearPoints)
{
    c.setTool(ToolCircle3);
    op.click(50, 50);
    op.click(50, 50);
    op.click(50, 50); // all three at one place
    EXPECT_TRUE(finishedAt(c, 0));
    EXPECT_EQ(last().radius, 0);
    EXPECT_EQ(shapeOf(c, 0).getVertexCount(), 3u); // no circle
    expectFiniteEverywhere(c, 0);

    op.park();
    op.place(ToolCircle3, {{0, 300}, {100, 300}, {50, 350}});
    const float radius = last().radius;
    c.setTool(ToolMove);
    op.dragInOneStep({50, 350}, {200, 300}); // onto the line through the other two
    EXPECT_EQ(last().radius, radius);        // the last result stays
    EXPECT_EQ(shapeOf(c, 1).getVertexCount(), 3u);
    expectFiniteEverywhere(c, 1);
}

TEST_F(PrimitiveTest, ArcWithinOneTurn)
{
    // Points at 30, 90 and 150 degrees on a circle of 50 around (100, 100).
    const float r = 50, s = 0.5f, k = std::sqrt(3.0f) / 2;
    op.place(ToolArc, {{100 + r * k, 100 + r * s}, {100, 150}, {100 - r * k, 100 + r * s}});
    EXPECT_EQ(typeOf(c, 0), "Arc");
    EXPECT_NEAR(last().radius, 50, 1e-2);
    ASSERT_EQ(last().lengths.size(), 1u);
    EXPECT_NEAR(last().lengths[0], 50 * 2.0943951f, 0.05);
    EXPECT_EQ(lastLabel(), "C: 104.72 px");
    // Every sample lies below the centre (the half containing 90 degrees).
    const sf::VertexArray shape = shapeOf(c, 0);
    for (std::size_t i = 3; i < shape.getVertexCount(); ++i)
        EXPECT_GT(shape[i].position.y, 100);
}

TEST_F(PrimitiveTest, ArcThroughAngleZeroWrapsInTwoRuns)
{
    // Points at 300, 0 and 60 degrees.
    const float r = 50, s = 0.5f, k = std::sqrt(3.0f) / 2;
    op.place(ToolArc, {{100 + r * s, 100 - r * k}, {150, 100}, {100 + r * s, 100 + r * k}});
    EXPECT_NEAR(last().lengths[0], 50 * 2.0943951f, 0.05);
    EXPECT_EQ(lastLabel(), "C: 104.72 px");
    const sf::VertexArray shape = shapeOf(c, 0);
    ASSERT_GT(shape.getVertexCount(), 40u);
    for (std::size_t i = 3; i < shape.getVertexCount(); ++i)
        EXPECT_GT(shape[i].position.x, 120) << i; // only the right-hand part of the circle
}

TEST_F(PrimitiveTest, ArcOfCollinearPointsStaysFinite)
{
    op.place(ToolArc, {{0, 0}, {50, 50}, {100, 100}});
    EXPECT_TRUE(finishedAt(c, 0));
    EXPECT_TRUE(last().lengths.empty());
    expectFiniteEverywhere(c, 0);
}

TEST_F(PrimitiveTest, AngleIgnoresZoomAndCalibration)
{
    c.setViewTransform(0, 0, 3.0f);
    c.setCalibration("mm", 0.1f);
    op.place(ToolAngle, {{200, 100}, {100, 100}, {100, 200}});
    EXPECT_EQ(typeOf(c, 0), "Angle");
    EXPECT_FLOAT_EQ(last().angle, 90);
    EXPECT_EQ(lastLabel(), "A: 90.00 deg");
    c.withPrimitive(0, [](const SFPrimitiveBase& p) { EXPECT_EQ(p.labelPosition(), sf::Vector2f(100, 105)); });
}

TEST_F(PrimitiveTest, AngleWithAZeroLengthArmIsZeroNotNan)
{
    c.setTool(ToolAngle);
    op.click(200, 100);
    op.click(100, 100);
    op.move(100, 100); // second arm of length 0
    expectFiniteEverywhere(c, 0);
    EXPECT_EQ(lastLabel(), "A: 0.00 deg");
    op.move(0, 100);
    EXPECT_EQ(lastLabel(), "A: 180.00 deg"); // cosine -1 exactly, rounding clamped
}

TEST_F(PrimitiveTest, TextMarkerKeepsItsTextAndMeasuresNothing)
{
    op.place(ToolText, {{100, 100}, {160, 40}});
    EXPECT_EQ(typeOf(c, 0), "Text");
    EXPECT_EQ(lastLabel(), "Hello world");
    c.setCalibration("mm", 2.0f);
    c.setViewTransform(5, 5, 2.0f);
    EXPECT_EQ(lastLabel(), "Hello world");
    const MeasureData d = last();
    EXPECT_EQ(d.radius, 0);
    EXPECT_TRUE(d.lengths.empty());
    // Part 2 puts the end at the mouse, not by delta.
    c.setTool(ToolMove);
    const sf::VertexArray before = shapeOf(c, 0);
    op.drag(before[1].position + sf::Vector2f(5, 5), {400, 400});
    EXPECT_EQ(shapeOf(c, 0)[1].position, sf::Vector2f(400, 400));
}

// ---------------------------------------------------------------- Constructed shapes

TEST_F(PrimitiveTest, PerpendicularFootOnTheExtendedLine)
{
    op.place(ToolPerpendicular, {{0, 0}, {100, 0}, {150, 50}});
    EXPECT_TRUE(finishedAt(c, 0));
    EXPECT_EQ(typeOf(c, 0), "Perpendicular Line");
    const sf::VertexArray s = shapeOf(c, 0);
    ASSERT_EQ(s.getVertexCount(), 4u);
    EXPECT_EQ(s[3].position, sf::Vector2f(150, 0));
    EXPECT_FLOAT_EQ(last().distances[0], 50);
    EXPECT_EQ(lastLabel(), "D: 50.00 px");
    c.setTool(ToolMove);
    op.drag({100, 0}, {100, 100}); // tilt the line: the foot follows
    EXPECT_NEAR(last().distances[0], 50 * std::sqrt(2.0f), 1e-3);
}

TEST_F(PrimitiveTest, PerpendicularOnAPointLikeLineStaysFinite)
{
    op.place(ToolPerpendicular, {{10, 10}, {10, 10}, {40, 50}});
    expectFiniteEverywhere(c, 0);
    EXPECT_FLOAT_EQ(last().distances[0], 50);
}

TEST_F(PrimitiveTest, CrosshairFollowsThenMarksItsCentre)
{
    c.setViewTransform(20, 10, 2.0f);
    c.setTool(ToolCrosshair);
    op.click(60, 50);
    op.move(100, 90);
    op.click(100, 90);
    EXPECT_EQ(typeOf(c, 0), "Crosshair");
    EXPECT_FLOAT_EQ(last().centerX, 40);
    EXPECT_FLOAT_EQ(last().centerY, 40);
    const sf::VertexArray s = shapeOf(c, 0);
    EXPECT_EQ(s[1].position, sf::Vector2f(8000, 90));
    EXPECT_EQ(s[3].position, sf::Vector2f(100, 6000));
    EXPECT_EQ(lastLabel(), "");
}

TEST_F(PrimitiveTest, CrosshairTwoOffsets)
{
    // The second press fixes the first crossing where the mouse left it.
    op.place(ToolCrosshair2, {{40, 40}, {100, 100}});
    EXPECT_FALSE(finishedAt(c, 0));
    op.click(160, 180);
    EXPECT_TRUE(finishedAt(c, 0));
    EXPECT_EQ(typeOf(c, 0), "Crosshair2");
    EXPECT_FLOAT_EQ(last().width, 60);
    EXPECT_FLOAT_EQ(last().height, 80);
    EXPECT_FLOAT_EQ(last().centerX, 130);
    EXPECT_EQ(lastLabel(), "W: 60.00 px\nH: 80.00 px\n");
    c.setTool(ToolMove);
    op.drag({300, 180}, {300, 300}); // the second horizontal line
    EXPECT_FLOAT_EQ(last().height, 200);
    op.drag({100, 100}, {0, 0}); // the first crossing
    EXPECT_FLOAT_EQ(last().width, 160);
}

TEST_F(PrimitiveTest, ParallelKeepsTheSecondLineParallel)
{
    c.setTool(ToolParallel);
    op.click(0, 0);
    op.click(100, 0);
    op.click(0, 50);
    op.move(80, 70); // the second end slides along y = 50
    const sf::VertexArray s = shapeOf(c, 0);
    EXPECT_EQ(s[3].position, sf::Vector2f(80, 50));
    op.click(80, 70);
    EXPECT_TRUE(finishedAt(c, 0));
    EXPECT_EQ(typeOf(c, 0), "Parallel");
    EXPECT_FLOAT_EQ(last().distances[0], 50);
    EXPECT_EQ(lastLabel(), "D: 50.00 px");
    c.setTool(ToolMove);
    op.drag({40, 50}, {40, 90}); // the second line
    EXPECT_FLOAT_EQ(last().distances[0], 90);
}

TEST_F(PrimitiveTest, ParallelWithoutASecondLineMeasuresFromItsParallel)
{
    // Third and fourth presses without movement between them: the second line
    // has no length, but it is still the parallel through the third point.
    c.setTool(ToolParallel);
    op.click(0, 0);
    op.click(100, 0);
    op.click(0, 50);
    c.onMousePress(0, 80);
    c.onMouseRelease(0, 80);
    EXPECT_TRUE(finishedAt(c, 0));
    EXPECT_FLOAT_EQ(last().distances[0], 50);
    EXPECT_EQ(dimensionOf(c, 0)[1].position, sf::Vector2f(50, 50));
}

TEST_F(PrimitiveTest, ParallelsSpacingsAndAverage)
{
    c.setTool(ToolParallels);
    op.click(0, 0);
    op.click(300, 0);
    for (float x : {10.f, 20.f, 20.f, 30.f, 40.f, 50.f})
        op.click(x, 50);
    op.click(70, 50);
    op.rightClick(80, 50);
    EXPECT_TRUE(finishedAt(c, 0));
    EXPECT_EQ(typeOf(c, 0), "Parallels");
    EXPECT_EQ(lastLabel(), "D1: 10.00 px\nD2: 20.00 px\nD3: 30.00 px\nAVG: 20.00 px");
    const MeasureData d = last();
    ASSERT_EQ(d.distances.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_NEAR(d.distances[i], 10.0f * static_cast<float>(i + 1), 1e-4);
    ASSERT_EQ(d.lengths.size(), 4u); // widths of the four pairs
    for (float width : d.lengths)
        EXPECT_NEAR(width, 10, 1e-4);
    EXPECT_EQ(dimensionOf(c, 0).getVertexCount(), 18u);
}

TEST_F(PrimitiveTest, ParallelsWithCoincidentPairCentresStayFinite)
{
    c.setTool(ToolParallels);
    op.click(0, 0);
    op.click(300, 0);
    for (float x : {10.f, 30.f, 30.f})
        op.click(x, 50);
    op.rightClick(10, 60); // the second pair's centre is the first one's
    EXPECT_TRUE(finishedAt(c, 0));
    expectFiniteEverywhere(c, 0);
    EXPECT_EQ(last().distances, (std::vector<float>{0}));
}

TEST_F(PrimitiveTest, ConcentricCirclesKeepLengthsEmpty)
{
    op.place(ToolConcentrical, {{100, 100}, {130, 100}, {160, 100}});
    EXPECT_TRUE(finishedAt(c, 0)); // the third press fixes the second radius...
    EXPECT_EQ(typeOf(c, 0), "Concentrical");
    const MeasureData d = last();
    EXPECT_FLOAT_EQ(d.radius, 30);
    EXPECT_NEAR(d.area, 2827.433, 1e-2);
    EXPECT_TRUE(d.lengths.empty());
    EXPECT_EQ(lastLabel(), "R1: 30.00 px\nR2: 60.00 px");
    c.setTool(ToolMove);
    op.drag({100, 160}, {100, 180}); // the second circle
    EXPECT_EQ(lastLabel(), "R1: 30.00 px\nR2: 80.00 px");
}

TEST_F(PrimitiveTest, ThreeCirclePairsReportTheSameCentreDistance)
{
    // Circles around (100, 100) with radius 20 and (200, 100) with radius 30.
    op.place(ToolTwoCircles, {{100, 100}, {120, 100}, {200, 100}, {230, 100}});
    op.park();
    op.place(ToolTwoCircles2, {{80, 300}, {120, 300}, {170, 300}, {230, 300}});
    op.park();
    op.place(ToolTwoCircles3, {{80, 500}, {120, 500}, {100, 520}, {170, 500}, {230, 500}, {200, 530}});
    ASSERT_EQ(c.count(), 3);
    const char* types[] = {"TwoCircles", "TwoCircles2", "TwoCircles3"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(typeOf(c, i), types[i]);
        EXPECT_TRUE(finishedAt(c, i));
        const MeasureData d = c.measureData(i);
        ASSERT_EQ(d.distances.size(), 1u) << i;
        EXPECT_NEAR(d.distances[0], 100, 1e-3) << i;
        EXPECT_NEAR(d.lengths[0], 100, 1e-3) << i;
        EXPECT_NEAR(d.startX, 100, 1e-3) << i;
        EXPECT_NEAR(d.endX, 200, 1e-3) << i;
        EXPECT_EQ(labelOf(c, i), "D: 100.00 px");
        // Two closed circles of 201 samples joined by two invisible vertices.
        const sf::VertexArray s = shapeOf(c, i);
        ASSERT_EQ(s.getVertexCount(), 404u);
        EXPECT_EQ(s[201].color, sf::Color::Transparent);
        EXPECT_EQ(s[202].color, sf::Color::Transparent);
        EXPECT_EQ(s[200].color.a, 255);
        EXPECT_EQ(s[203].color.a, 255);
    }
}

TEST_F(PrimitiveTest, CirclePairWholeCircleDragged)
{
    op.place(ToolTwoCircles, {{100, 100}, {120, 100}, {200, 100}, {230, 100}});
    c.setTool(ToolMove);
    op.drag({200, 70}, {250, 70}); // the top of circle 2's rim
    EXPECT_NEAR(last().distances[0], 150, 1e-3);
    op.drag({120, 100}, {100, 140}); // circle 1's rim point: its radius changes only
    EXPECT_NEAR(last().distances[0], 150, 1e-3);
}

// ---------------------------------------------------------------- Every kind

TEST_F(PrimitiveTest, EveryShapeToolCreatesItsKindAndNothingFailsWhenPointsCoincide)
{
    // Every tool clicked six times at one spot, then ended: no NaN anywhere.
    for (int tool = ToolPoint; tool <= ToolTwoCircles3; ++tool) {
        SFPrimitiveContainer fresh;
        Operator o(fresh);
        fresh.setTool(tool);
        for (int i = 0; i < 6; ++i)
            o.click(77, 77);
        o.rightClick(77, 77);
        ASSERT_EQ(fresh.count(), 1) << tool;
        expectFiniteEverywhere(fresh, 0);
    }
}
