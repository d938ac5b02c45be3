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

SFPrimitivePerpendicular::SFPrimitivePerpendicular(float factor, float originX, float originY, const sf::String& unit,
                                                   float x, float y, float zoom)
    : SFPrimitiveBase(factor, originX, originY, unit, x, y, zoom)
{
    shapeVerts.setPrimitiveType(sf::Lines);
    shapeVerts.append(sf::Vertex({x, y}, lineColor));
    shapeVerts.append(sf::Vertex({x, y}, lineColor));
    placeLabel(x, y + 5);
}

void SFPrimitivePerpendicular::placeFoot()
{
    if (shapeVerts.getVertexCount() == 4)
        shapeVerts[3].position =
            measure::footOnLine(shapeVerts[2].position, shapeVerts[0].position, shapeVerts[1].position);
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

void SFPrimitivePerpendicular::onMove(float x, float y, int tool, bool buttonDown, HitInfo hit)
{
    if (!finished) {
        if (tool != ToolPerpendicular)
            return;
        shapeVerts[shapeVerts.getVertexCount() == 4 ? 2 : shapeVerts.getVertexCount() - 1].position = {x, y};
    } else if (dragging(tool, buttonDown)) {
        if (hit.part == HitVertex)
            setPoint(shapeVerts, hit.vertexIndex, snapped(hit, 0) + delta(hit, x, y));
        else if (!dragLabel(hit, x, y))
            return;
    } else {
        return;
    }
    placeFoot();
    update();
}

HitInfo SFPrimitivePerpendicular::hitTest(float x, float y)
{
    restoreColors();
    // The foot is computed, not placed: only the line ends and the point move.
    return hitShapeVertexOrLabel(x, y, 0, 3);
}

// ---------------------------------------------------------------- Crosshair

SFPrimitiveCrosshair::SFPrimitiveCrosshair(float factor, float originX, float originY, const sf::String& unit, float x,
                                           float y, float zoom)
    : SFPrimitiveBase(factor, originX, originY, unit, x, y, zoom)
{
    shapeVerts.setPrimitiveType(sf::Lines);
    appendCrosshair(shapeVerts, {x, y}, lineColor);
    placeLabel(x, y + 5);
    update();
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

void SFPrimitiveCrosshair::onMove(float x, float y, int tool, bool buttonDown, HitInfo hit)
{
    const bool following = !finished && tool == ToolCrosshair;
    const bool dragged = dragging(tool, buttonDown) && hit.part == HitBody;
    if (!following && !dragged)
        return;
    setCrosshair(shapeVerts, 0, {x, y});
    update();
}

HitInfo SFPrimitiveCrosshair::hitTest(float x, float y)
{
    restoreColors();
    if (std::fabs(y - shapeVerts[0].position.y) < measure::kHitTolerance ||
        std::fabs(x - shapeVerts[2].position.x) < measure::kHitTolerance) {
        highlightShape();
        return makeHit(x, y, HitBody);
    }
    return makeHit(x, y, HitNothing);
}

// ---------------------------------------------------------------- Crosshair 2

SFPrimitiveCrosshair2::SFPrimitiveCrosshair2(float factor, float originX, float originY, const sf::String& unit,
                                             float x, float y, float zoom)
    : SFPrimitiveBase(factor, originX, originY, unit, x, y, zoom)
{
    shapeVerts.setPrimitiveType(sf::Lines);
    appendCrosshair(shapeVerts, {x, y}, lineColor);
    placeLabel(x, y + 5);
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

void SFPrimitiveCrosshair2::onMove(float x, float y, int tool, bool buttonDown, HitInfo hit)
{
    if (!finished) {
        if (tool != ToolCrosshair2)
            return;
        setCrosshair(shapeVerts, shapeVerts.getVertexCount() - 4, {x, y});
    } else if (dragging(tool, buttonDown)) {
        if (hit.part == HitBody) {
            // Lines 0 and 2 are horizontal, 1 and 3 vertical.
            const std::size_t first = static_cast<std::size_t>(hit.vertexIndex) * 2;
            if (hit.vertexIndex % 2 == 0) {
                shapeVerts[first].position.y = y;
                shapeVerts[first + 1].position.y = y;
            } else {
                shapeVerts[first].position.x = x;
                shapeVerts[first + 1].position.x = x;
            }
        } else if (hit.part == HitVertex) {
            setCrosshair(shapeVerts, static_cast<std::size_t>(hit.vertexIndex) * 4, {x, y});
        } else if (!dragLabel(hit, x, y)) {
            return;
        }
    } else {
        return;
    }
    update();
}

HitInfo SFPrimitiveCrosshair2::hitTest(float x, float y)
{
    restoreColors();
    const sf::Vector2f p(x, y);
    const std::size_t crosshairs = shapeVerts.getVertexCount() / 4;
    // A crossing lies on two lines: it is tested first.
    for (std::size_t c = 0; c < crosshairs; ++c) {
        if (measure::nearPoint(p, crossing(c))) {
            HitInfo hit = makeHit(x, y, HitVertex, static_cast<int>(c));
            snap(hit, 0, crossing(c));
            highlightShape();
            return hit;
        }
    }
    for (std::size_t line = 0; line < crosshairs * 2; ++line) {
        const sf::Vector2f a = shapeVerts[line * 2].position;
        const bool horizontal = line % 2 == 0;
        if (horizontal ? std::fabs(y - a.y) < measure::kHitTolerance : std::fabs(x - a.x) < measure::kHitTolerance) {
            highlightShape();
            return makeHit(x, y, HitBody, static_cast<int>(line));
        }
    }
    return labelOrNothing(x, y);
}

// ---------------------------------------------------------------- Parallel

SFPrimitiveParallel::SFPrimitiveParallel(float factor, float originX, float originY, const sf::String& unit, float x,
                                         float y, float zoom)
    : SFPrimitiveBase(factor, originX, originY, unit, x, y, zoom)
{
    shapeVerts.setPrimitiveType(sf::Lines);
    shapeVerts.append(sf::Vertex({x, y}, lineColor));
    shapeVerts.append(sf::Vertex({x, y}, lineColor));
    placeLabel(x, y + 5);
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

void SFPrimitiveParallel::onMove(float x, float y, int tool, bool buttonDown, HitInfo hit)
{
    const std::size_t count = shapeVerts.getVertexCount();
    if (!finished) {
        if (tool != ToolParallel)
            return;
        if (count < 4)
            shapeVerts[count - 1].position = {x, y};
        else
            placeSecondEnd({x, y});
    } else if (dragging(tool, buttonDown)) {
        const sf::Vector2f d = delta(hit, x, y);
        if (hit.part == HitBody) {
            const std::size_t first = static_cast<std::size_t>(hit.subPart) * 2;
            shapeVerts[first].position = snapped(hit, 0) + d;
            shapeVerts[first + 1].position = snapped(hit, 1) + d;
            if (hit.subPart == 0)
                placeSecondEnd(shapeVerts[3].position);
        } else if (hit.part == HitVertex) {
            const std::size_t index = static_cast<std::size_t>(hit.vertexIndex);
            const sf::Vector2f q = snapped(hit, 0) + d;
            shapeVerts[index].position = q;
            // The second line's end follows so that the lines stay parallel.
            placeSecondEnd(index == 3 ? q : shapeVerts[3].position);
        } else if (!dragLabel(hit, x, y)) {
            return;
        }
    } else {
        return;
    }
    refreshDecorations();
    update();
}

HitInfo SFPrimitiveParallel::hitTest(float x, float y)
{
    restoreColors();
    const sf::Vector2f p(x, y);
    if (HitInfo hit; hitShapeVertex(x, y, hit))
        return hit;
    for (std::size_t line = 0; line * 2 + 1 < shapeVerts.getVertexCount(); ++line) {
        const sf::Vector2f a = shapeVerts[line * 2].position, b = shapeVerts[line * 2 + 1].position;
        if (measure::onSegment(p, a, b)) {
            HitInfo hit = makeHit(x, y, HitBody, -1, static_cast<int>(line));
            snap(hit, 0, a);
            snap(hit, 1, b);
            highlightShapeRange(line * 2, 2);
            return hit;
        }
    }
    return labelOrNothing(x, y);
}

// ---------------------------------------------------------------- Parallels

SFPrimitiveParallels::SFPrimitiveParallels(float factor, float originX, float originY, const sf::String& unit, float x,
                                           float y, float zoom)
    : SFPrimitiveBase(factor, originX, originY, unit, x, y, zoom)
{
    controlPoints.append(sf::Vertex({x, y}, lineColor));
    controlPoints.append(sf::Vertex({x, y}, lineColor));
    shapeVerts.setPrimitiveType(sf::Lines);
    placeLabel(x, y + 5);
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

void SFPrimitiveParallels::onMove(float x, float y, int tool, bool buttonDown, HitInfo hit)
{
    if (!finished) {
        if (tool != ToolParallels)
            return;
        controlPoints[controlPoints.getVertexCount() - 1].position = {x, y};
    } else if (dragging(tool, buttonDown)) {
        if (hit.part == HitControlPoint)
            setPoint(controlPoints, hit.vertexIndex, snapped(hit, 0) + delta(hit, x, y));
        else if (!dragLabel(hit, x, y))
            return;
    } else {
        return;
    }
    refreshDecorations();
    update();
}

HitInfo SFPrimitiveParallels::hitTest(float x, float y)
{
    restoreColors();
    const sf::Vector2f p(x, y);
    const int point = measure::findNearVertex(controlPoints, p);
    if (point >= 0) {
        HitInfo hit = makeHit(x, y, HitControlPoint, point);
        snap(hit, 0, controlPoints[point].position);
        return hit;
    }
    return labelOrNothing(x, y);
}

// ---------------------------------------------------------------- Concentric circles

SFPrimitiveConcentrical::SFPrimitiveConcentrical(float factor, float originX, float originY, const sf::String& unit,
                                                 float x, float y, float zoom)
    : SFPrimitiveBase(factor, originX, originY, unit, x, y, zoom)
{
    shapeVerts.setPrimitiveType(sf::LineStrip);
    shapeVerts.append(sf::Vertex({x, y}, lineColor));
    placeLabel(x, y + 5);
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

void SFPrimitiveConcentrical::onMove(float x, float y, int tool, bool buttonDown, HitInfo hit)
{
    const float radius = dist(shapeVerts[0].position, {x, y});
    if (!finished) {
        if (tool != ToolConcentrical)
            return;
        (radius1 > 0 && radius2 > 0 ? radius2 : radius1) = radius;
    } else if (dragging(tool, buttonDown)) {
        if (hit.part == HitBody && hit.subPart >= 0) {
            (hit.subPart == 0 ? radius1 : radius2) = radius;
        } else if (hit.part == HitBody) {
            const sf::Vector2f d = delta(hit, x, y);
            shapeVerts[0].position = snapped(hit, 0) + d;
            label.setPosition(snapped(hit, 1) + d);
        } else if (!dragLabel(hit, x, y)) {
            return;
        }
    } else {
        return;
    }
    refreshDecorations();
    update();
}

HitInfo SFPrimitiveConcentrical::hitTest(float x, float y)
{
    restoreColors();
    const sf::Vector2f p(x, y);
    const sf::Vector2f centre = shapeVerts[0].position;
    if (measure::nearPoint(p, centre)) {
        HitInfo hit = makeHit(x, y, HitBody, -1, -1);
        snap(hit, 0, centre);
        snap(hit, 1, label.getPosition());
        highlightShapeVertex(0);
        return hit;
    }
    if (radius1 > 0 && measure::onCircle(p, centre, radius1)) {
        highlightShapeRange(1, circle1Vertices);
        return makeHit(x, y, HitBody, -1, 0);
    }
    if (radius2 > 0 && measure::onCircle(p, centre, radius2)) {
        highlightShapeRange(1 + circle1Vertices, shapeVerts.getVertexCount() - 1 - circle1Vertices);
        return makeHit(x, y, HitBody, -1, 1);
    }
    return labelOrNothing(x, y);
}
