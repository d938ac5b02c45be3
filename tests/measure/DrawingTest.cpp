// Drawing into a render texture (needs X): one primitive of each class, then
// pixels where lines and labels must be, and where nothing may be.
#include "MeasureTestSupport.h"

#include <SFML/Graphics/Image.hpp>
#include <SFML/Graphics/RenderTexture.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>

using namespace measuretest;

namespace {

constexpr unsigned kCellWidth = 240, kCellHeight = 180, kColumns = 5;

struct Cell {
    int tool;
    std::function<void(Operator&, float, float)> place; // draws in the cell at (ox, oy)
    sf::Vector2i lit;                                   // a pixel on the shape
    sf::Color litColor;
    sf::Vector2i dark; // a pixel where nothing may be drawn
};

// True when a pixel of `color` lies within one pixel of (x, y).
bool colorNear(const sf::Image& image, int x, int y, sf::Color color)
{
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            const int px = x + dx, py = y + dy;
            if (px < 0 || py < 0 || px >= static_cast<int>(image.getSize().x) ||
                py >= static_cast<int>(image.getSize().y))
                continue;
            if (image.getPixel(px, py) == color)
                return true;
        }
    return false;
}

// Pixels mostly of `color` (text is antialiased, so few are exactly it).
int countInRect(const sf::Image& image, const sf::FloatRect& rect, sf::Color color)
{
    auto close = [](sf::Uint8 a, sf::Uint8 b) { return std::abs(int(a) - int(b)) < 100; };
    int count = 0;
    for (int y = static_cast<int>(rect.top); y < static_cast<int>(rect.top + rect.height); ++y)
        for (int x = static_cast<int>(rect.left); x < static_cast<int>(rect.left + rect.width); ++x)
            if (x >= 0 && y >= 0 && x < static_cast<int>(image.getSize().x) &&
                y < static_cast<int>(image.getSize().y) && close(image.getPixel(x, y).r, color.r) &&
                close(image.getPixel(x, y).g, color.g) && close(image.getPixel(x, y).b, color.b))
                ++count;
    return count;
}

sf::Image render(const SFPrimitiveContainer& c, unsigned width, unsigned height)
{
    sf::RenderTexture texture;
    EXPECT_TRUE(texture.create(width, height));
    texture.clear(sf::Color::Black);
    texture.draw(c);
    texture.display();
    return texture.getTexture().copyToImage();
}

void clicks(Operator& op, float ox, float oy, std::initializer_list<sf::Vector2f> points)
{
    for (const sf::Vector2f& p : points)
        op.click(ox + p.x, oy + p.y);
}

const sf::Color kLine = sf::Color::Green, kDimension = sf::Color::Red;

std::vector<Cell> cells()
{
    const float r = 50, s = 0.5f, k = std::sqrt(3.0f) / 2;
    return {
        {ToolPoint,
         [](Operator& o, float x, float y) {
             clicks(o, x, y, {{100.5f, 60.5f}});
         },
         {100, 62},
         kLine,
         {180, 150}},
        {ToolLine,
         [](Operator& o, float x, float y) {
             clicks(o, x, y, {{20.5f, 40.5f}, {200.5f, 40.5f}});
         },
         {110, 40},
         kLine,
         {110, 120}},
        {ToolLineDistance,
         [](Operator& o, float x, float y) {
             clicks(o, x, y, {{20.5f, 30.5f}, {200.5f, 30.5f}, {20.5f, 100.5f}, {200.5f, 100.5f}});
         },
         {110, 65},
         kDimension,
         {60, 65}},
        {ToolBrokenLine,
         [](Operator& o, float x, float y) {
             clicks(o, x, y, {{20.5f, 30.5f}, {120.5f, 30.5f}});
             o.rightClick(x + 120.5f, y + 120.5f);
         },
         {120, 80},
         kLine,
         {60, 100}},
        {ToolRect,
         [](Operator& o, float x, float y) {
             clicks(o, x, y, {{20.5f, 20.5f}, {200.5f, 120.5f}});
         },
         {110, 120},
         kLine,
         {110, 90}},
        {ToolPolygon,
         [](Operator& o, float x, float y) {
             clicks(o, x, y, {{20.5f, 20.5f}, {200.5f, 20.5f}});
             o.rightClick(x + 110.5f, y + 140.5f);
         },
         {110, 20},
         kLine,
         {110, 160}},
        {ToolCircle,
         [](Operator& o, float x, float y) {
             clicks(o, x, y, {{110.5f, 80.5f}, {160.5f, 80.5f}});
         },
         {110, 130},
         kLine,
         {110, 100}},
        {ToolCircle2,
         [](Operator& o, float x, float y) {
             clicks(o, x, y, {{60.5f, 80.5f}, {160.5f, 80.5f}});
         },
         {110, 130},
         kLine,
         {110, 100}},
        {ToolCircle3,
         [](Operator& o, float x, float y) {
             clicks(o, x, y, {{60.5f, 80.5f}, {160.5f, 80.5f}, {110.5f, 130.5f}});
         },
         {110, 30},
         kLine,
         {110, 100}},
        {ToolArc,
         [=](Operator& o, float x, float y) {
             clicks(o, x, y, {{110.5f + r * k, 60.5f + r * s}, {110.5f, 110.5f}, {110.5f - r * k, 60.5f + r * s}});
         },
         {110, 110},
         kLine,
         {110, 10}},
        {ToolAngle,
         [](Operator& o, float x, float y) {
             clicks(o, x, y, {{200.5f, 100.5f}, {60.5f, 100.5f}, {60.5f, 20.5f}});
         },
         {150, 100},
         kLine,
         {150, 60}},
        {ToolText,
         [](Operator& o, float x, float y) {
             clicks(o, x, y, {{40.5f, 40.5f}, {180.5f, 120.5f}});
         },
         {180, 120},
         kLine,
         {40, 140}},
        {ToolPerpendicular,
         [](Operator& o, float x, float y) {
             clicks(o, x, y, {{20.5f, 30.5f}, {200.5f, 30.5f}, {110.5f, 120.5f}});
         },
         {110, 80},
         kLine,
         {60, 80}},
        {ToolParallel,
         [](Operator& o, float x, float y) {
             clicks(o, x, y, {{20.5f, 30.5f}, {200.5f, 30.5f}, {20.5f, 110.5f}, {200.5f, 110.5f}});
         },
         {110, 70},
         kDimension,
         {60, 70}},
        {ToolParallels,
         [](Operator& o, float x, float y) {
             clicks(o, x, y, {{20.5f, 20.5f}, {220.5f, 20.5f}, {30.5f, 100.5f}, {50.5f, 100.5f}, {110.5f, 100.5f}});
             o.rightClick(x + 130.5f, y + 100.5f);
         },
         {80, 0},
         kDimension,
         {80, 60}},
        {ToolConcentrical,
         [](Operator& o, float x, float y) {
             clicks(o, x, y, {{110.5f, 80.5f}, {140.5f, 80.5f}, {170.5f, 80.5f}});
         },
         {110, 20},
         kLine,
         {110, 35}},
        {ToolTwoCircles,
         [](Operator& o, float x, float y) {
             clicks(o, x, y, {{60.5f, 80.5f}, {90.5f, 80.5f}, {160.5f, 80.5f}, {190.5f, 80.5f}});
         },
         {110, 80},
         kDimension,
         {110, 120}},
        {ToolTwoCircles2,
         [](Operator& o, float x, float y) {
             clicks(o, x, y, {{30.5f, 80.5f}, {90.5f, 80.5f}, {130.5f, 80.5f}, {190.5f, 80.5f}});
         },
         {60, 50},
         kLine,
         {110, 120}},
        {ToolTwoCircles3,
         [](Operator& o, float x, float y) {
             clicks(
                 o, x, y,
                 {{30.5f, 80.5f}, {90.5f, 80.5f}, {60.5f, 110.5f}, {130.5f, 80.5f}, {190.5f, 80.5f}, {160.5f, 110.5f}});
         },
         {160, 50},
         kLine,
         {110, 120}},
    };
}

} // namespace

TEST(MeasureDrawing, EveryClassDrawsItsShapeAndLabel)
{
    SFPrimitiveContainer c;
    Operator op(c);
    const std::vector<Cell> all = cells();
    for (std::size_t i = 0; i < all.size(); ++i) {
        c.setTool(all[i].tool);
        all[i].place(op, static_cast<float>((i % kColumns) * kCellWidth),
                     static_cast<float>((i / kColumns) * kCellHeight));
        op.park();
    }
    ASSERT_EQ(c.count(), static_cast<int>(all.size()));
    const unsigned rows = static_cast<unsigned>((all.size() + kColumns - 1) / kColumns);
    const sf::Image image = render(c, kColumns * kCellWidth, rows * kCellHeight);
    if (const char* keep = std::getenv("PELLUMO_KEEP_DRAWING"))
        image.saveToFile(keep);

    for (std::size_t i = 0; i < all.size(); ++i) {
        const int ox = static_cast<int>((i % kColumns) * kCellWidth),
                  oy = static_cast<int>((i / kColumns) * kCellHeight);
        const Cell& cell = all[i];
        EXPECT_TRUE(colorNear(image, ox + cell.lit.x, oy + cell.lit.y, cell.litColor))
            << typeOf(c, static_cast<int>(i));
        EXPECT_EQ(image.getPixel(ox + cell.dark.x, oy + cell.dark.y), sf::Color::Black)
            << typeOf(c, static_cast<int>(i));
        // The label is drawn in the text colour inside its bounds.
        sf::FloatRect bounds;
        c.withPrimitive(static_cast<int>(i), [&](const SFPrimitiveBase& p) { bounds = p.labelBounds(); });
        ASSERT_GT(bounds.width, 20) << typeOf(c, static_cast<int>(i));
        EXPECT_GT(countInRect(image, bounds, sf::Color::Green), 10) << typeOf(c, static_cast<int>(i));
    }
    // Handle squares only around the selected (last pressed) primitive's control points.
    const int lastOx = static_cast<int>(((all.size() - 1) % kColumns) * kCellWidth);
    const int lastOy = static_cast<int>(((all.size() - 1) / kColumns) * kCellHeight);
    EXPECT_TRUE(colorNear(image, lastOx + 30 - 5, lastOy + 80 - 5, sf::Color::Blue));
    EXPECT_FALSE(colorNear(image, 20 - 5, 40 - 5, sf::Color::Blue)); // the line is not selected
}

TEST(MeasureDrawing, CrosshairsSpanTheView)
{
    SFPrimitiveContainer c;
    Operator op(c);
    op.place(ToolCrosshair, {{100.5f, 60.5f}, {100.5f, 60.5f}});
    op.park();
    const sf::Image image = render(c, 400, 300);
    EXPECT_TRUE(colorNear(image, 390, 60, kLine));
    EXPECT_TRUE(colorNear(image, 100, 290, kLine));
    EXPECT_EQ(image.getPixel(200, 200), sf::Color::Black);
}

TEST(MeasureDrawing, HoverAndCalibrationColours)
{
    SFPrimitiveContainer c;
    Operator op(c);
    c.setViewRect({0, 0, 400, 300});
    op.place(ToolLine, {{20.5f, 40.5f}, {200.5f, 40.5f}});
    op.move(110.5f, 40.5f);
    sf::Image image = render(c, 400, 300);
    EXPECT_TRUE(colorNear(image, 110, 40, sf::Color::Blue));
    op.park();
    c.setCalibrationMode(true); // a red line at (50, 150) - (250, 150)
    image = render(c, 400, 300);
    EXPECT_TRUE(colorNear(image, 150, 150, sf::Color::Red));
    EXPECT_FALSE(colorNear(image, 110, 40, sf::Color::Green)); // the measurements are parked
}

TEST(MeasureDrawing, HoveringAndDraggingRedrawOnlyTheLivePrimitive)
{
    SFPrimitiveContainer c;
    Operator op(c);
    c.setViewRect({0, 0, 400, 300});
    op.place(ToolLine, {{20.5f, 40.5f}, {200.5f, 40.5f}});
    op.place(ToolLine, {{20.5f, 140.5f}, {200.5f, 140.5f}});
    op.place(ToolLine, {{20.5f, 240.5f}, {200.5f, 240.5f}}); // selected: drawn live
    op.park();
    sf::RenderTexture texture;
    ASSERT_TRUE(texture.create(400, 300));
    auto draw = [&] {
        texture.clear();
        texture.draw(c);
        texture.display();
        return texture.getTexture().copyToImage();
    };
    draw();
    const unsigned pictures = c.cacheRebuildCount();
    const unsigned generation = c.drawingGeneration();
    const unsigned drawnIntoPicture = c.cachedPrimitivesDrawn();

    // Hovering over nothing changes nothing: the picture of the rest stays.
    op.move(300, 250);
    op.move(310, 260);
    EXPECT_EQ(c.drawingGeneration(), generation);
    draw();
    EXPECT_EQ(c.cacheRebuildCount(), pictures);

    // Onto the first line: it is drawn live (highlighted); the picture of the
    // rest is cleared where the line lies, no other line is drawn into it.
    op.move(110.5f, 40.5f);
    sf::Image image = draw();
    EXPECT_TRUE(colorNear(image, 110, 40, sf::Color::Blue));
    EXPECT_EQ(c.cacheRebuildCount(), pictures + 1);
    EXPECT_EQ(c.cachedPrimitivesDrawn(), drawnIntoPicture);
    EXPECT_EQ(c.drawingGeneration(), generation);
    // Along the same line: nothing but the live line changes.
    const unsigned onLine = c.drawingGeneration();
    op.move(150.5f, 40.5f);
    EXPECT_EQ(c.drawingGeneration(), onLine);
    draw();
    EXPECT_EQ(c.cacheRebuildCount(), pictures + 1);

    // Dragging it: the line moves on every pass; the picture of the rest is
    // drawn once more, when the press selects the line.
    c.setTool(ToolMove);
    c.onMousePress(150.5f, 40.5f);
    draw();
    const unsigned pressed = c.cacheRebuildCount();
    auto lit = [](const sf::Image& picture, unsigned x, unsigned y) {
        return picture.getPixel(x, y) != sf::Color::Black;
    };
    for (unsigned step = 1; step <= 4; ++step) {
        c.onMouseMove(150.5f, 40.5f + 10.0f * float(step));
        image = draw();
        EXPECT_TRUE(lit(image, 60, 40 + 10 * step)) << "step " << step;
        EXPECT_FALSE(lit(image, 60, 40)) << "step " << step;
    }
    c.onMouseRelease(150.5f, 80.5f);
    EXPECT_EQ(c.cacheRebuildCount(), pressed);
    EXPECT_LE(pressed, pictures + 2);
    EXPECT_TRUE(colorNear(image, 60, 140, kLine)) << "the other line, from the picture";
    EXPECT_NEAR(c.measureData(0).startY, 80.5, 0.01);

    // From the second line straight onto the dragged one, with no move over
    // nothing between: the second goes back into the picture unlit, and it
    // alone is drawn there.
    op.move(110.5f, 140.5f);
    image = draw();
    EXPECT_TRUE(colorNear(image, 110, 140, sf::Color::Blue));
    const unsigned beforeJump = c.cachedPrimitivesDrawn();
    op.move(110.5f, 80.5f);
    image = draw();
    EXPECT_TRUE(colorNear(image, 110, 140, kLine));
    EXPECT_FALSE(colorNear(image, 110, 140, sf::Color::Blue));
    EXPECT_EQ(c.cachedPrimitivesDrawn(), beforeJump + 1);
}

TEST(MeasureLabels, LabelHoverAndDragOnItsOwn)
{
    SFPrimitiveContainer c;
    Operator op(c);
    op.place(ToolLine, {{20, 40}, {200, 40}});
    op.park();
    sf::FloatRect bounds;
    c.withPrimitive(0, [&](const SFPrimitiveBase& p) { bounds = p.labelBounds(); });
    ASSERT_GT(bounds.width, 0);
    const sf::Vector2f inside(bounds.left + bounds.width / 2, bounds.top + bounds.height / 2);
    op.move(inside.x, inside.y);
    EXPECT_EQ(c.currentIndex(), 0);
    c.withPrimitive(0, [](const SFPrimitiveBase& p) { EXPECT_EQ(p.labelColor(), sf::Color::Blue); });
    c.setTool(ToolMove);
    op.drag(inside, inside + sf::Vector2f(60, 80));
    c.withPrimitive(0, [](const SFPrimitiveBase& p) {
        EXPECT_EQ(p.labelPosition(), sf::Vector2f(80, 125));
        EXPECT_EQ(p.controlPointArray()[0].position, sf::Vector2f(20, 40)); // the line stays
    });
    // The label's right edge is outside (half-open bounds).
    op.park();
    c.withPrimitive(0, [&](const SFPrimitiveBase& p) { bounds = p.labelBounds(); });
    op.move(bounds.left + bounds.width, bounds.top + 1);
    c.withPrimitive(0, [](const SFPrimitiveBase& p) { EXPECT_NE(p.labelColor(), sf::Color::Blue); });
}
