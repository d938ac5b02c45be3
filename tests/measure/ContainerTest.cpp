// The tool state machine, the messages a main window receives, calibration
// mode, calibration, colours and view changes.
#include "LabelFont.h"
#include "LinearPrimitives.h"
#include "MeasureTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

using namespace measuretest;

namespace {

const bool fontless = (measure::setLabelFontPath("/nonexistent/pellumo-test-font.ttf"), true);

constexpr platform::UINT Added = WM_MEASURE_ADDED, Removed = WM_MEASURE_REMOVED, Cleared = WM_MEASURE_CLEARED,
                         Changed = WM_MEASURE_CHANGED;

class ContainerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        c.setNotifyWindow(&window);
        c.setViewRect({0, 0, 640, 480});
    }
    RecordingWindow window;
    SFPrimitiveContainer c;
    Operator op{c};
};

} // namespace

TEST_F(ContainerTest, MessagesForCreateMoveDeleteAndClear)
{
    op.place(ToolLine, {{10, 10}, {110, 10}});
    op.place(ToolPoint, {{300, 300}});
    op.park();
    EXPECT_EQ(window.withoutChanges(), (std::vector<Message>{{Added, 0, 0}, {Added, 0, 0}}));
    // The rubber band between the line's presses reported its index.
    EXPECT_NE(std::find(window.log.begin(), window.log.end(), Message{Changed, 0, 0}), window.log.end());

    window.log.clear();
    c.setTool(ToolDelete);
    op.click(500, 500); // empty space: nothing
    EXPECT_TRUE(window.log.empty());
    EXPECT_EQ(c.count(), 2);
    op.click(300, 300); // the point, index 1
    EXPECT_EQ(window.withoutChanges(), (std::vector<Message>{{Removed, 1, 0}}));
    EXPECT_EQ(c.count(), 1);
    EXPECT_EQ(c.currentIndex(), -1);

    window.log.clear();
    c.clearAll(true);
    EXPECT_EQ(window.log, (std::vector<Message>{{Cleared, 0, 0}}));
    c.clearAll(false);
    EXPECT_EQ(window.log.size(), 1u);
}

TEST_F(ContainerTest, MouseIsMadeRelativeToTheViewRectangle)
{
    c.setViewRect({100, 50, 740, 530});
    op.place(ToolPoint, {{130, 90}});
    EXPECT_FLOAT_EQ(c.measureData(0).centerX, 30);
    EXPECT_FLOAT_EQ(c.measureData(0).centerY, 40);
}

TEST_F(ContainerTest, MessagesAreSentAfterTheLockIsReleased)
{
    class LockProbe : public platform::MessageHandler {
    public:
        explicit LockProbe(SFPrimitiveContainer& container) : c(container) {}
        platform::LRESULT handleMessage(platform::UINT, platform::WPARAM, platform::LPARAM) override
        {
            // The render thread must be able to draw while the window handles it.
            std::thread other([&] {
                if (c.lockObject().tryEnter()) {
                    c.lockObject().leave();
                } else {
                    ++blocked;
                }
            });
            other.join();
            ++handled;
            return 0;
        }
        SFPrimitiveContainer& c;
        std::atomic<int> handled{0}, blocked{0};
    } probe(c);
    c.setNotifyWindow(&probe);
    op.place(ToolLine, {{10, 10}, {110, 10}});
    c.setCalibrationMode(true);
    c.setCalibrationMode(false);
    c.setTool(ToolDelete);
    op.click(60, 10);
    c.clearAll(true);
    EXPECT_GE(probe.handled.load(), 5);
    EXPECT_EQ(probe.blocked.load(), 0);
}

TEST_F(ContainerTest, PressOnAHoveredPrimitiveStartsNothingNew)
{
    op.place(ToolCircle, {{200, 200}, {250, 200}});
    op.park();
    c.setTool(ToolLine);
    op.click(250, 200); // on the circle's rim
    EXPECT_EQ(c.count(), 1);
    EXPECT_EQ(window.withoutChanges().size(), 1u);
}

TEST_F(ContainerTest, PressRightAfterFinishingGoesToThatShape)
{
    c.setTool(ToolLine);
    op.click(10, 10);
    op.click(110, 10);
    // No movement: no hit test has run, the finished line is still current.
    c.onMousePress(400, 400);
    c.onMouseRelease(400, 400);
    EXPECT_EQ(c.count(), 1);
    EXPECT_FLOAT_EQ(c.measureData(0).endX, 110);
}

TEST_F(ContainerTest, ToolChangeLeavesAHalfPlacedShapeCurrent)
{
    c.setTool(ToolLine);
    op.click(10, 10);
    op.move(60, 10);
    c.setTool(ToolCircle);
    op.move(200, 200); // the line rubber-bands only under its own tool
    EXPECT_FLOAT_EQ(c.measureData(0).endX, 60);
    op.click(90, 10); // still delivered to the line
    EXPECT_EQ(c.count(), 1);
    EXPECT_TRUE(finishedAt(c, 0));
    EXPECT_FLOAT_EQ(c.measureData(0).endX, 90);
}

TEST_F(ContainerTest, DeletingAHalfPlacedShapeLeavesTheContainerResponsive)
{
    op.place(ToolCircle, {{300, 300}, {350, 300}});
    c.setTool(ToolLine);
    op.click(10, 10);
    op.move(60, 10);
    c.setTool(ToolDelete);
    op.click(60, 10); // goes to the half-placed line, which is deleted
    ASSERT_EQ(c.count(), 1);
    c.setTool(ToolMove);
    op.drag({350, 300}, {370, 300}); // hovering and dragging work again
    EXPECT_FLOAT_EQ(c.measureData(0).radius, 70);
}

TEST_F(ContainerTest, SelectionFollowsPressesNotHovering)
{
    op.place(ToolLine, {{10, 10}, {110, 10}});
    op.place(ToolLine, {{10, 100}, {110, 100}});
    op.park();
    auto selected = [&](int i) {
        bool s = false;
        c.withPrimitive(i, [&](const SFPrimitiveBase& p) { s = p.isSelected(); });
        return s;
    };
    EXPECT_FALSE(selected(0));
    EXPECT_TRUE(selected(1));
    c.setTool(ToolMove);
    op.move(60, 10); // hovering does not select
    EXPECT_TRUE(selected(1));
    op.click(60, 10);
    EXPECT_TRUE(selected(0));
    EXPECT_FALSE(selected(1));
}

TEST_F(ContainerTest, HandleSquaresAroundControlPointsWithInvisibleJoins)
{
    op.place(ToolLine, {{10, 10}, {110, 60}});
    sf::VertexArray squares;
    c.withPrimitive(0, [&](const SFPrimitiveBase& p) { squares = p.handleSquares(); });
    ASSERT_EQ(squares.getPrimitiveType(), sf::LineStrip);
    ASSERT_EQ(squares.getVertexCount(), 12u);
    EXPECT_EQ(squares[0].position, sf::Vector2f(5, 5));
    EXPECT_EQ(squares[2].position, sf::Vector2f(15, 15));
    EXPECT_EQ(squares[0].color, sf::Color::Blue);
    EXPECT_EQ(squares[5].color, sf::Color::Transparent);
    EXPECT_EQ(squares[5].position, sf::Vector2f(5, 5));
    EXPECT_EQ(squares[6].color, sf::Color::Transparent);
    EXPECT_EQ(squares[6].position, sf::Vector2f(105, 55));
    EXPECT_EQ(squares[7].position, sf::Vector2f(105, 55));
    EXPECT_EQ(squares[11].position, sf::Vector2f(105, 55));
}

TEST_F(ContainerTest, CalibrationChangeRelabelsEveryMeasurement)
{
    op.place(ToolLine, {{0, 0}, {100, 0}});
    op.place(ToolCircle, {{300, 300}, {350, 300}});
    c.setCalibration("um", 2.0f);
    EXPECT_EQ(labelOf(c, 0), "L: 200.00 um");
    EXPECT_EQ(labelOf(c, 1), "R: 100.00 um");
    EXPECT_FLOAT_EQ(c.measureData(1).area, 100 * 3.1415927f * 100);
    // New primitives are made with the calibration in force.
    op.park();
    op.place(ToolLine, {{0, 200}, {10, 200}});
    EXPECT_EQ(labelOf(c, 2), "L: 20.00 um");
}

TEST_F(ContainerTest, CalibrationModeParksAndRestoresTheMeasurements)
{
    c.setViewTransform(20, 0, 1.0f);
    op.place(ToolRect, {{10, 10}, {110, 60}});
    op.place(ToolAngle, {{200, 300}, {300, 300}, {300, 200}});
    op.park();
    c.setTool(ToolCircle);
    const MeasureData rect = c.measureData(0);
    window.log.clear();

    c.setCalibrationMode(true);
    EXPECT_TRUE(c.isCalibrationMode());
    EXPECT_EQ(window.log, (std::vector<Message>{{Changed, 0, 1}}));
    ASSERT_EQ(c.count(), 1);
    EXPECT_EQ(typeOf(c, 0), "Calibration");
    EXPECT_EQ(c.currentTool(), ToolMove);
    const sf::VertexArray line = shapeOf(c, 0);
    ASSERT_EQ(line.getVertexCount(), 6u);
    EXPECT_EQ(line[0].position, sf::Vector2f(70, 240));
    EXPECT_EQ(line[1].position, sf::Vector2f(270, 240));
    EXPECT_EQ(labelOf(c, 0), "L: 200.00 px");

    // Dragging the calibration line reports in calibration mode.
    window.log.clear();
    op.drag({270, 240}, {370, 240});
    EXPECT_FLOAT_EQ(c.measureData(0).lengths[0], 300);
    ASSERT_FALSE(window.log.empty());
    EXPECT_EQ(window.log.back(), (Message{Changed, 0, 1}));

    c.setCalibrationMode(true); // a second entry changes nothing
    EXPECT_EQ(c.count(), 1);

    c.setCalibrationMode(false);
    EXPECT_EQ(c.currentTool(), ToolCircle);
    ASSERT_EQ(c.count(), 2);
    EXPECT_EQ(typeOf(c, 0), "Rectangle");
    EXPECT_EQ(c.measureData(0).area, rect.area);
    EXPECT_EQ(labelOf(c, 1), "A: 90.00 deg");
    c.setCalibrationMode(false); // leaving again must not delete anything
    EXPECT_EQ(c.count(), 2);
}

TEST_F(ContainerTest, CalibrationLineIgnoresFactorAndZoom)
{
    c.setCalibration("mm", 0.25f);
    c.setCalibrationMode(true);
    EXPECT_EQ(labelOf(c, 0), "L: 200.00 px");
    c.setViewTransform(0, 0, 2.0f); // the view doubles, the image length does not change
    EXPECT_EQ(labelOf(c, 0), "L: 200.00 px");
    EXPECT_FLOAT_EQ(shapeOf(c, 0)[1].position.x - shapeOf(c, 0)[0].position.x, 400);
}

TEST_F(ContainerTest, CalibrationLineStaysRed)
{
    c.setColors(sf::Color::Yellow, sf::Color::White, sf::Color::Cyan, sf::Color::Magenta, true);
    c.setCalibrationMode(true);
    EXPECT_EQ(shapeOf(c, 0)[0].color, sf::Color::Red);
    op.move(150, 240); // hover the body: highlighted
    EXPECT_EQ(shapeOf(c, 0)[0].color, sf::Color::Blue);
    op.park();
    EXPECT_EQ(shapeOf(c, 0)[0].color, sf::Color::Red);
    c.setColors(sf::Color::Yellow, sf::Color::White, sf::Color::Cyan, sf::Color::Magenta, true);
    EXPECT_EQ(shapeOf(c, 0)[0].color, sf::Color::Red);
}

TEST_F(ContainerTest, ParkedMeasurementsFollowViewAndCalibrationChanges)
{
    op.place(ToolLine, {{100, 100}, {200, 100}});
    c.setCalibrationMode(true);
    c.setViewTransform(0, 0, 2.0f);
    c.setCalibration("mm", 0.5f);
    c.setCalibrationMode(false);
    const sf::VertexArray shape = shapeOf(c, 0);
    EXPECT_EQ(shape[0].position, sf::Vector2f(200, 200));
    EXPECT_EQ(labelOf(c, 0), "L: 50.00 mm");
}

TEST_F(ContainerTest, EnteringCalibrationModeWhilePlacingParksTheHalfShape)
{
    c.setTool(ToolLine);
    op.click(10, 10);
    op.move(50, 10);
    c.setCalibrationMode(true);
    op.move(400, 400); // must not reach the parked line
    c.setCalibrationMode(false);
    ASSERT_EQ(c.count(), 1);
    EXPECT_FLOAT_EQ(c.measureData(0).endX, 50);
}

TEST_F(ContainerTest, ColoursForAllOrOnlyTheSelected)
{
    op.place(ToolLine, {{10, 10}, {110, 10}});
    op.place(ToolLine, {{10, 100}, {110, 100}}); // selected: the last pressed
    op.park();
    c.setColors(sf::Color::Yellow, sf::Color::White, sf::Color::Cyan, sf::Color::Magenta, false);
    EXPECT_EQ(shapeOf(c, 0)[0].color, sf::Color::Green);
    EXPECT_EQ(shapeOf(c, 1)[0].color, sf::Color::Yellow);
    c.withPrimitive(1, [](const SFPrimitiveBase& p) { EXPECT_EQ(p.labelColor(), sf::Color::Magenta); });
    c.setColors(sf::Color::Cyan, sf::Color::White, sf::Color::Cyan, sf::Color::Magenta, true);
    EXPECT_EQ(shapeOf(c, 0)[0].color, sf::Color::Cyan);
    op.place(ToolPoint, {{300, 300}});
    EXPECT_EQ(shapeOf(c, 2)[0].color, sf::Color::Cyan); // new primitives take them too
}

TEST_F(ContainerTest, HoverHighlightsAndRestores)
{
    op.place(ToolLine, {{10, 10}, {110, 10}});
    op.move(60, 10);
    EXPECT_EQ(shapeOf(c, 0)[0].color, sf::Color::Blue);
    op.park();
    EXPECT_EQ(shapeOf(c, 0)[0].color, sf::Color::Green);
}

TEST_F(ContainerTest, MoveAndDeleteToolsTakeAShapeByItsOutline)
{
    // A rectangle has handles only at its corners; the middle of an edge is
    // its outline.
    op.place(ToolRect, {{100, 100}, {200, 160}});
    op.park();
    // A drawing tool starts a new shape on another shape's outline.
    op.place(ToolLine, {{200, 130}, {300, 130}});
    ASSERT_EQ(c.count(), 2);
    op.park();

    // The move tool drags the whole rectangle, label and all, by its outline.
    c.setTool(ToolMove);
    sf::Vector2f labelBefore;
    c.withPrimitive(0, [&](const SFPrimitiveBase& p) { labelBefore = p.labelPosition(); });
    op.move(200, 130); // the right edge
    EXPECT_EQ(shapeOf(c, 0)[0].color, sf::Color::Blue) << "the whole shape lights up";
    EXPECT_EQ(shapeOf(c, 0)[3].color, sf::Color::Blue);
    op.drag({200, 130}, {230, 150});
    const sf::VertexArray moved = shapeOf(c, 0);
    EXPECT_EQ(moved[0].position, sf::Vector2f(130, 120));
    EXPECT_EQ(moved[2].position, sf::Vector2f(230, 180));
    EXPECT_FLOAT_EQ(c.measureData(0).area, 6000);
    c.withPrimitive(
        0, [&](const SFPrimitiveBase& p) { EXPECT_EQ(p.labelPosition(), labelBefore + sf::Vector2f(30, 20)); });
    op.park();

    // Hovering a handle with the delete tool lights the whole shape and its
    // label; a press on the outline deletes it.
    c.setTool(ToolDelete);
    op.move(130, 120); // a corner
    sf::VertexArray s = shapeOf(c, 0);
    EXPECT_EQ(s[2].color, sf::Color::Blue);
    c.withPrimitive(0, [](const SFPrimitiveBase& p) { EXPECT_EQ(p.labelColor(), sf::Color::Blue); });
    op.park();
    EXPECT_EQ(shapeOf(c, 0)[2].color, sf::Color::Green);
    op.click(180, 180); // the bottom edge
    ASSERT_EQ(c.count(), 1);
    EXPECT_EQ(typeOf(c, 0), "Line");
}

TEST_F(ContainerTest, UndoTakesBackAddsDeletesAndMovesInTurn)
{
    op.place(ToolLine, {{10, 10}, {110, 10}});
    op.park();
    op.place(ToolRect, {{100, 100}, {200, 160}});
    op.park();
    c.setTool(ToolMove);
    op.click(150, 10); // a selection moves nothing: no step of its own
    op.drag({200, 160}, {220, 200});
    EXPECT_FLOAT_EQ(c.measureData(1).area, 12000);
    c.setTool(ToolDelete);
    op.click(10, 10);
    ASSERT_EQ(c.count(), 1);
    window.log.clear();

    EXPECT_TRUE(c.undo()); // the delete: the line is back in its place
    ASSERT_EQ(c.count(), 2);
    EXPECT_EQ(typeOf(c, 0), "Line");
    EXPECT_FLOAT_EQ(c.measureData(0).lengths.at(0), 100);
    EXPECT_EQ(window.withoutChanges().front().id, WM_MEASURE_CLEARED) << "the list is told the whole set";
    EXPECT_TRUE(c.undo()); // the move
    EXPECT_FLOAT_EQ(c.measureData(1).area, 6000);
    EXPECT_EQ(shapeOf(c, 1)[2].position, sf::Vector2f(200, 160));
    EXPECT_TRUE(c.undo()); // the rectangle's add
    ASSERT_EQ(c.count(), 1);
    EXPECT_TRUE(c.undo()); // the line's add
    EXPECT_EQ(c.count(), 0);
    EXPECT_FALSE(c.undo());

    // Deleting all forgets what could be taken back.
    op.place(ToolPoint, {{50, 50}});
    c.clearAll(true);
    EXPECT_FALSE(c.undo());
}

TEST_F(ContainerTest, CirclePairHighlightsOnlyTheHitCircleAndKeepsJoinsInvisible)
{
    op.place(ToolTwoCircles, {{100, 100}, {120, 100}, {200, 100}, {230, 100}});
    op.move(200, 70); // circle 2's rim
    sf::VertexArray s = shapeOf(c, 0);
    EXPECT_EQ(s[0].color, sf::Color::Green);
    EXPECT_EQ(s[203].color, sf::Color::Blue);
    EXPECT_EQ(s[201].color, sf::Color::Transparent);
    op.park();
    s = shapeOf(c, 0);
    EXPECT_EQ(s[203].color, sf::Color::Green);
    EXPECT_EQ(s[201].color, sf::Color::Transparent);
}

TEST_F(ContainerTest, RescaleKeepsResultsAndGluesShapesToThePicture)
{
    c.setViewTransform(10, 10, 1.0f);
    op.place(ToolCircle, {{110, 110}, {160, 110}});
    op.place(ToolConcentrical, {{400, 400}, {430, 400}, {460, 400}});
    const MeasureData circle = c.measureData(0);
    c.setViewTransform(20, 30, 2.0f);
    EXPECT_FLOAT_EQ(c.measureData(0).radius, circle.radius);
    EXPECT_FLOAT_EQ(c.measureData(0).centerX, circle.centerX);
    EXPECT_EQ(shapeOf(c, 0)[0].position, sf::Vector2f(220, 230));
    EXPECT_EQ(labelOf(c, 1), "R1: 30.00 px\nR2: 60.00 px");
    // Moving the centre afterwards keeps the radius (it scaled with the view).
    c.setTool(ToolMove);
    op.drag({220, 230}, {260, 230});
    EXPECT_FLOAT_EQ(c.measureData(0).radius, 50);
    EXPECT_FLOAT_EQ(c.measureData(0).centerX, 120);
}

TEST_F(ContainerTest, ADragContinuesOnTheFeatureAfterARefit)
{
    c.setViewTransform(0, 0, 1.0f);
    op.place(ToolLine, {{100, 100}, {200, 100}});
    op.park();
    c.setTool(ToolMove);
    op.move(200, 100);
    c.onMousePress(200, 100);
    c.onMouseMove(220, 100);         // the end is dragged to image pixel (220, 100)
    c.setViewTransform(10, 0, 2.0f); // a new frame size refits the view
    EXPECT_EQ(shapeOf(c, 0)[1].position, sf::Vector2f(450, 200));
    // Further travel moves it on from there, under the new view.
    c.onMouseMove(240, 100);
    c.onMouseRelease(240, 100);
    EXPECT_EQ(shapeOf(c, 0)[1].position, sf::Vector2f(470, 200));
    EXPECT_FLOAT_EQ(c.measureData(0).endX, 230);
    EXPECT_FLOAT_EQ(c.measureData(0).endY, 100);
}

TEST_F(ContainerTest, ViewWithoutSizeLeavesTheMeasurementsAlone)
{
    op.place(ToolLine, {{100, 100}, {200, 100}});
    c.setViewTransform(0, 0, 0.0f); // a control of width 0 fits at zoom 0
    EXPECT_EQ(shapeOf(c, 0)[1].position, sf::Vector2f(200, 100));
    c.setCalibration("mm", std::nanf(""));
    EXPECT_EQ(labelOf(c, 0), "L: 100.00 px");
    op.park();
    op.place(ToolLine, {{100, 300}, {150, 300}});
    EXPECT_EQ(labelOf(c, 1), "L: 50.00 px");
    c.setViewTransform(0, 0, 2.0f); // back to a real size: everything scales from where it was
    EXPECT_EQ(shapeOf(c, 0)[1].position, sf::Vector2f(400, 200));
    EXPECT_EQ(labelOf(c, 0), "L: 100.00 px");
}

TEST(PrimitiveRescale, StoredZoomOfZeroChangesNothing)
{
    SFPrimitivePoint point(PrimitiveSetup{1.0f, 0, 0, "px", 0.0f, {50, 60}});
    point.rescale(10, 10, 2.0f);
    EXPECT_EQ(point.controlPointArray()[0].position, sf::Vector2f(50, 60));
    EXPECT_EQ(point.labelPosition(), sf::Vector2f(50, 65));
}

TEST_F(ContainerTest, MeasureDataOutsideTheListIsZero)
{
    op.place(ToolLine, {{0, 0}, {10, 0}});
    EXPECT_TRUE(c.measureData(1).lengths.empty());
    EXPECT_TRUE(c.measureData(-1).lengths.empty());
    c.removeAt(5); // ignored
    EXPECT_EQ(c.count(), 1);
}

TEST_F(ContainerTest, UnknownShapeToolMakesNothingButItsOwnKind)
{
    // Tools outside the table create nothing at all; tool 24 only via calibration mode.
    c.setTool(25);
    op.click(10, 10);
    EXPECT_EQ(c.count(), 0);
    c.setTool(ToolNone);
    op.click(10, 10);
    EXPECT_EQ(c.count(), 0);
}
