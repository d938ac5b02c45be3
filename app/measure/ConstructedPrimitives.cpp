#include "ConstructedPrimitives.h"

#include <cmath>

using measure::dist;

namespace {

constexpr float kCrosshairWidth = 8000.0f;
constexpr float kCrosshairHeight = 6000.0f;
constexpr float kExtensionLength = 20.0f;

// The four vertices of a crosshair through p: horizontal line, vertical line.
void appendCrosshair(sf::VertexArray& out, sf::Vector2f p, sf::Color color)
{
    out.append(sf::Vertex({0, p.y}, color));
    out.append(sf::Vertex({kCrosshairWidth, p.y}, color));
    out.append(sf::Vertex({p.x, 0}, color));
    out.append(sf::Vertex({p.x, kCrosshairHeight}, color));
}

void setCrosshair(sf::VertexArray& array, std::size_t first, sf::Vector2f p)
{
    array[first].position = {0, p.y};
    array[first + 1].position = {kCrosshairWidth, p.y};
    array[first + 2].position = {p.x, 0};
    array[first + 3].position = {p.x, kCrosshairHeight};
}

} // namespace

// ---------------------------------------------------------------- Perpendicular

SFPrimitivePerpendicular::SFPrimitivePerpendicular(const PrimitiveSetup& setup) : SFPrimitiveBase(setup)
{
    // The foot is computed, not placed: only the line ends and the point move.
    handleLimit = 3;
    startShape(sf::Lines, 2, setup.at);
}

void SFPrimitivePerpendicular::placeFoot()
{
    if (shapeVerts.getVertexCount() == 4)
        shapeVerts[3].position =
            measure::footOnLine(shapeVerts[2].position, shapeVerts[0].position, shapeVerts[1].position);
}

void SFPrimitivePerpendicular::follow(sf::Vector2f mouse)
{
    const std::size_t count = shapeVerts.getVertexCount();
    shapeVerts[count == 4 ? 2 : count - 1].position = mouse;
}

void SFPrimitivePerpendicular::update()
{
    if (shapeVerts.getVertexCount() != 4)
        return;
    const float distance = cal(dist(shapeVerts[2].position, shapeVerts[3].position));
    data.distances = {distance};
    setLabelText(withUnit(formatLabel("D: %.2f", distance)));
}

void SFPrimitivePerpendicular::onPress(float x, float y, int)
{
    if (finished)
        return;
    if (shapeVerts.getVertexCount() >= 4) {
        finished = true;
    } else {
        shapeVerts[shapeVerts.getVertexCount() - 1].position = {x, y};
        shapeVerts.append(sf::Vertex({x, y}, lineColor));
        shapeVerts.append(sf::Vertex({x, y}, lineColor));
        placeFoot();
    }
    update();
}

// ---------------------------------------------------------------- Crosshair

SFPrimitiveCrosshair::SFPrimitiveCrosshair(const PrimitiveSetup& setup) : SFPrimitiveBase(setup)
{
    const auto [x, y] = setup.at;
    handleLimit = 0; // the whole crosshair follows the mouse
    shapeVerts.setPrimitiveType(sf::Lines);
    appendCrosshair(shapeVerts, {x, y}, lineColor);
    update();
}

void SFPrimitiveCrosshair::follow(sf::Vector2f mouse) { setCrosshair(shapeVerts, 0, mouse); }

int SFPrimitiveCrosshair::bodyPartAt(sf::Vector2f p) const
{
    return std::fabs(p.y - shapeVerts[0].position.y) < measure::kHitTolerance ||
                   std::fabs(p.x - shapeVerts[2].position.x) < measure::kHitTolerance
               ? 0
               : -1;
}

void SFPrimitiveCrosshair::update()
{
    const sf::Vector2f image = toImage({shapeVerts[2].position.x, shapeVerts[0].position.y});
    data.centerX = image.x;
    data.centerY = image.y;
}

void SFPrimitiveCrosshair::onPress(float, float, int)
{
    finished = true;
    update();
}

// ---------------------------------------------------------------- Crosshair 2

SFPrimitiveCrosshair2::SFPrimitiveCrosshair2(const PrimitiveSetup& setup) : SFPrimitiveBase(setup)
{
    const auto [x, y] = setup.at;
    // The crossings are the handles; a dragged one goes where the mouse is.
    handlesAtMouse = true;
    shapeVerts.setPrimitiveType(sf::Lines);
    appendCrosshair(shapeVerts, {x, y}, lineColor);
}

void SFPrimitiveCrosshair2::follow(sf::Vector2f mouse)
{
    setCrosshair(shapeVerts, shapeVerts.getVertexCount() - 4, mouse);
}

void SFPrimitiveCrosshair2::moveHandle(std::size_t i, sf::Vector2f to) { setCrosshair(shapeVerts, i * 4, to); }

int SFPrimitiveCrosshair2::bodyPartAt(sf::Vector2f p) const
{
    for (std::size_t line = 0; line < shapeVerts.getVertexCount() / 2; ++line) {
        const sf::Vector2f a = shapeVerts[line * 2].position;
        if (line % 2 == 0 ? std::fabs(p.y - a.y) < measure::kHitTolerance
                          : std::fabs(p.x - a.x) < measure::kHitTolerance)
            return static_cast<int>(line);
    }
    return -1;
}

void SFPrimitiveCrosshair2::dragBody(const HitInfo& hit, sf::Vector2f mouse)
{
    // Lines 0 and 2 are horizontal, 1 and 3 vertical: a line keeps its direction.
    const std::size_t first = static_cast<std::size_t>(hit.subPart) * 2;
    if (hit.subPart % 2 == 0) {
        shapeVerts[first].position.y = mouse.y;
        shapeVerts[first + 1].position.y = mouse.y;
    } else {
        shapeVerts[first].position.x = mouse.x;
        shapeVerts[first + 1].position.x = mouse.x;
    }
}

sf::Vector2f SFPrimitiveCrosshair2::crossing(std::size_t which) const
{
    const std::size_t first = which * 4;
    return {shapeVerts[first + 2].position.x, shapeVerts[first].position.y};
}

void SFPrimitiveCrosshair2::update()
{
    if (shapeVerts.getVertexCount() != 8)
        return;
    const sf::Vector2f c1 = crossing(0), c2 = crossing(1);
    const sf::Vector2f image = toImage(measure::mid(c1, c2));
    data.centerX = image.x;
    data.centerY = image.y;
    data.width = cal(std::fabs(c1.x - c2.x));
    data.height = cal(std::fabs(c1.y - c2.y));
    setLabelText(withUnit(formatLabel("W: %.2f", data.width)) + "\n" + withUnit(formatLabel("H: %.2f", data.height)) +
                 "\n");
}

void SFPrimitiveCrosshair2::onPress(float x, float y, int)
{
    if (finished)
        return;
    if (shapeVerts.getVertexCount() > 7) {
        finished = true;
    } else {
        placeLabel(x + 5, y + 5);
        for (std::size_t i = 0; i < shapeVerts.getVertexCount(); ++i)
            shapeVerts[i].color = lineColor;
        appendCrosshair(shapeVerts, {x, y}, lineColor);
    }
    update();
}

// ---------------------------------------------------------------- Parallel

SFPrimitiveParallel::SFPrimitiveParallel(const PrimitiveSetup& setup) : SFPrimitiveBase(setup)
{
    startShape(sf::Lines, 2, setup.at);
}

void SFPrimitiveParallel::placeSecondEnd(sf::Vector2f target)
{
    const sf::Vector2f p0 = shapeVerts[0].position, p1 = shapeVerts[1].position, p2 = shapeVerts[2].position;
    if (p0 == p1) {
        shapeVerts[3].position = target; // a first line without direction constrains nothing
        return;
    }
    shapeVerts[3].position = measure::footOnLine(target, p2, p1 + (p2 - p0));
}

void SFPrimitiveParallel::follow(sf::Vector2f mouse)
{
    const std::size_t count = shapeVerts.getVertexCount();
    if (count < 4)
        shapeVerts[count - 1].position = mouse;
    else
        placeSecondEnd(mouse);
}

void SFPrimitiveParallel::reshape()
{
    // The second line's end follows whatever moved, so that the lines stay parallel.
    if (shapeVerts.getVertexCount() == 4)
        placeSecondEnd(shapeVerts[3].position);
    refreshDecorations();
}

int SFPrimitiveParallel::bodyPartAt(sf::Vector2f p) const
{
    for (std::size_t line = 0; line * 2 + 1 < shapeVerts.getVertexCount(); ++line)
        if (measure::onSegment(p, shapeVerts[line * 2].position, shapeVerts[line * 2 + 1].position))
            return static_cast<int>(line);
    return -1;
}

void SFPrimitiveParallel::refreshDecorations()
{
    dimensionVertices.clear();
    if (shapeVerts.getVertexCount() != 4)
        return;
    const sf::Vector2f p0 = shapeVerts[0].position, p1 = shapeVerts[1].position;
    const sf::Vector2f p2 = shapeVerts[2].position, p3 = shapeVerts[3].position;
    const sf::Vector2f m = measure::mid(p0, p1);
    // The second line is the parallel through P2 even while it has no length
    // of its own (P3 on P2); only a first line without direction leaves P2-P3.
    const sf::Vector2f foot = p0 != p1 ? measure::footOnLine(m, p2, p2 + (p1 - p0)) : measure::footOnLine(m, p2, p3);
    dimensionVertices.append(sf::Vertex(m, dimensionColor));
    dimensionVertices.append(sf::Vertex(foot, dimensionColor));
}

void SFPrimitiveParallel::update()
{
    if (dimensionVertices.getVertexCount() < 2)
        return;
    const float distance = cal(dist(dimensionVertices[0].position, dimensionVertices[1].position));
    data.distances = {distance};
    setLabelText(withUnit(formatLabel("D: %.2f", distance)));
}

void SFPrimitiveParallel::onPress(float x, float y, int)
{
    if (finished)
        return;
    if (shapeVerts.getVertexCount() >= 4)
        finished = true;
    else
        shapeVerts.append(sf::Vertex({x, y}, lineColor));
    refreshDecorations();
    update();
}

// ---------------------------------------------------------------- Parallels

SFPrimitiveParallels::SFPrimitiveParallels(const PrimitiveSetup& setup) : SFPrimitiveBase(setup)
{
    startControlPoints(2, setup.at);
    shapeVerts.setPrimitiveType(sf::Lines);
    refreshDecorations();
}

void SFPrimitiveParallels::refreshDecorations()
{
    const std::size_t points = controlPoints.getVertexCount();
    const sf::Vector2f p0 = controlPoints[0].position, p1 = controlPoints[1].position;
    shapeVerts.clear();
    shapeVerts.append(sf::Vertex(p0, lineColor));
    shapeVerts.append(sf::Vertex(p1, lineColor));
    for (std::size_t k = 2; k < points; ++k) {
        const sf::Vector2f pk = controlPoints[k].position;
        shapeVerts.append(sf::Vertex(measure::footOnLine(pk, p0, p1), lineColor));
        shapeVerts.append(sf::Vertex(pk, lineColor));
    }
    // F(k) is vertex 2k - 2; dimension i joins the centres of pairs i and i + 1.
    dimensionVertices.clear();
    for (std::size_t i = 1; shapeVerts.getVertexCount() >= 4 * i + 6; ++i) {
        auto foot = [&](std::size_t k) { return shapeVerts[2 * k - 2].position; };
        const sf::Vector2f m = measure::mid(foot(2 * i), foot(2 * i + 1));
        const sf::Vector2f n = measure::mid(foot(2 * i + 2), foot(2 * i + 3));
        const sf::Vector2f u = n - m;
        const float length = std::sqrt(u.x * u.x + u.y * u.y);
        // Coinciding centres have no direction: the dimension collapses onto them.
        const sf::Vector2f o = length > 0 ? sf::Vector2f(u.y, -u.x) * (kExtensionLength / length) : sf::Vector2f();
        dimensionVertices.append(sf::Vertex(m, lineColor));
        dimensionVertices.append(sf::Vertex(m + o, lineColor));
        dimensionVertices.append(sf::Vertex(n, lineColor));
        dimensionVertices.append(sf::Vertex(n + o, lineColor));
        dimensionVertices.append(sf::Vertex(m + o, dimensionColor));
        dimensionVertices.append(sf::Vertex(n + o, dimensionColor));
    }
}

void SFPrimitiveParallels::update()
{
    data.lengths.clear();
    data.distances.clear();
    if (dimensionVertices.getVertexCount() < 6)
        return;
    for (std::size_t j = 1; shapeVerts.getVertexCount() >= 4 * j + 2; ++j)
        data.lengths.push_back(cal(dist(shapeVerts[4 * j].position, shapeVerts[4 * j - 2].position)));
    sf::String text;
    float sum = 0;
    const std::size_t groups = dimensionVertices.getVertexCount() / 6;
    for (std::size_t i = 1; i <= groups; ++i) {
        const float distance = cal(dist(dimensionVertices[6 * i - 2].position, dimensionVertices[6 * i - 1].position));
        data.distances.push_back(distance);
        sum += distance;
        text += withUnit(formatLabel("D%d: %.2f", static_cast<int>(i), distance)) + "\n";
    }
    text += withUnit(formatLabel("AVG: %.2f", sum / static_cast<float>(groups)));
    setLabelText(text);
}

void SFPrimitiveParallels::onPress(float x, float y, int)
{
    if (finished)
        return;
    controlPoints.append(sf::Vertex({x, y}, lineColor));
    refreshDecorations();
    update();
}

void SFPrimitiveParallels::onSecondaryPress(float, float, int)
{
    if (controlPoints.getVertexCount() >= 4)
        finished = true;
    update();
}

// ---------------------------------------------------------------- Concentric circles

SFPrimitiveConcentrical::SFPrimitiveConcentrical(const PrimitiveSetup& setup) : SFPrimitiveBase(setup)
{
    handleLimit = 1; // the centre; each rim sets its radius
    startShape(sf::LineStrip, 1, setup.at);
}

void SFPrimitiveConcentrical::follow(sf::Vector2f mouse)
{
    (radius1 > 0 && radius2 > 0 ? radius2 : radius1) = dist(shapeVerts[0].position, mouse);
}

int SFPrimitiveConcentrical::bodyPartAt(sf::Vector2f p) const
{
    const sf::Vector2f centre = shapeVerts[0].position;
    if (radius1 > 0 && measure::onCircle(p, centre, radius1))
        return 0;
    if (radius2 > 0 && measure::onCircle(p, centre, radius2))
        return 1;
    return -1;
}

void SFPrimitiveConcentrical::highlightBody(int rim)
{
    if (rim == 0)
        highlightShapeRange(1, circle1Vertices);
    else
        highlightShapeRange(1 + circle1Vertices, shapeVerts.getVertexCount() - 1 - circle1Vertices);
}

void SFPrimitiveConcentrical::dragBody(const HitInfo& hit, sf::Vector2f mouse)
{
    (hit.subPart == 0 ? radius1 : radius2) = dist(shapeVerts[0].position, mouse);
}

void SFPrimitiveConcentrical::refreshDecorations()
{
    shapeVerts.resize(1);
    const sf::Vector2f centre = shapeVerts[0].position;
    if (radius1 > 0)
        measure::appendFullCircle(shapeVerts, centre, radius1, lineColor);
    circle1Vertices = shapeVerts.getVertexCount() - 1;
    if (radius2 > 0)
        measure::appendFullCircle(shapeVerts, centre, radius2, lineColor);
}

void SFPrimitiveConcentrical::update()
{
    if (shapeVerts.getVertexCount() < 2)
        return;
    const float r1 = cal(radius1);
    const float r2 = cal(radius2);
    data.radius = r1;
    data.area = r1 * measure::kPi * r1;
    const sf::Vector2f image = toImage(shapeVerts[0].position);
    data.centerX = image.x;
    data.centerY = image.y;
    data.lengths.clear();
    setLabelText(withUnit(formatLabel("R1: %.2f", r1)) + "\n" + withUnit(formatLabel("R2: %.2f", r2)));
}

void SFPrimitiveConcentrical::onPress(float x, float y, int)
{
    if (finished)
        return;
    const float radius = dist(shapeVerts[0].position, {x, y});
    if (radius1 <= 0)
        radius1 = radius;
    else if (radius2 > 0)
        finished = true;
    else
        radius2 = radius;
    refreshDecorations();
    update();
}
