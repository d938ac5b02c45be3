#include "LinearPrimitives.h"

#include "Geometry.h"

#include <cmath>

using measure::dist;

namespace {

const sf::Color kRed(255, 0, 0, 255);
const sf::Color kGreen(0, 255, 0, 255);
constexpr float kLineTick = 100.0f;
constexpr float kCalibrationTick = 50.0f;
constexpr float kCalibrationLength = 200.0f;

sf::Vector2f at(const sf::VertexArray& array, std::size_t i) { return array[i].position; }

} // namespace

// ---------------------------------------------------------------- Point

SFPrimitivePoint::SFPrimitivePoint(float factor, float originX, float originY, const sf::String& unit, float x, float y,
                                   float zoom)
    : SFPrimitiveBase(factor, originX, originY, unit, x, y, zoom)
{
    controlPoints.append(sf::Vertex({x, y}, lineColor));
    shapeVerts.setPrimitiveType(sf::Lines);
    placeLabel(x, y + 5);
    finished = true;
    refreshDecorations();
    update();
}

void SFPrimitivePoint::refreshDecorations()
{
    const sf::Vector2f p = at(controlPoints, 0);
    shapeVerts.clear();
    shapeVerts.append(sf::Vertex({p.x, p.y - 5}, lineColor));
    shapeVerts.append(sf::Vertex({p.x, p.y + 5}, lineColor));
    shapeVerts.append(sf::Vertex({p.x - 5, p.y}, lineColor));
    shapeVerts.append(sf::Vertex({p.x + 5, p.y}, lineColor));
}

void SFPrimitivePoint::update()
{
    const sf::Vector2f image = toImage(at(controlPoints, 0));
    data.centerX = image.x;
    data.centerY = image.y;
    setLabelText(formatLabel("(X:%.1f, Y:%.1f)", image.x, image.y));
}

void SFPrimitivePoint::onPress(float, float, int)
{
    finished = true;
    update();
}

HitInfo SFPrimitivePoint::hitTest(float x, float y)
{
    restoreColors();
    const sf::Vector2f p(x, y);
    if (measure::nearPoint(p, at(controlPoints, 0))) {
        HitInfo hit = makeHit(x, y, HitBody, 0);
        snap(hit, 0, at(controlPoints, 0));
        snap(hit, 1, label.getPosition());
        highlightShape();
        return hit;
    }
    return labelOrNothing(x, y);
}

void SFPrimitivePoint::onMove(float x, float y, int tool, bool buttonDown, HitInfo hit)
{
    if (!dragging(tool, buttonDown))
        return;
    if (hit.part == HitBody) {
        const sf::Vector2f d = delta(hit, x, y);
        setPoint(controlPoints, 0, snapped(hit, 0) + d);
        label.setPosition(snapped(hit, 1) + d);
        refreshDecorations();
    } else if (!dragLabel(hit, x, y)) {
        return;
    }
    update();
}

// ---------------------------------------------------------------- Line

SFPrimitiveLine::SFPrimitiveLine(float factor, float originX, float originY, const sf::String& unit, float x, float y,
                                 float zoom)
    : SFPrimitiveBase(factor, originX, originY, unit, x, y, zoom)
{
    controlPoints.append(sf::Vertex({x, y}, lineColor));
    controlPoints.append(sf::Vertex({x, y}, lineColor));
    shapeVerts.setPrimitiveType(sf::Lines);
    placeLabel(x, y + 5);
}

void SFPrimitiveLine::buildWithTicks()
{
    const sf::Vector2f p0 = at(controlPoints, 0), p1 = at(controlPoints, 1);
    shapeVerts.clear();
    shapeVerts.append(sf::Vertex(p0, lineColor));
    shapeVerts.append(sf::Vertex(p1, lineColor));
    measure::appendEndTicks(shapeVerts, p0, p1, kLineTick, lineColor);
}

void SFPrimitiveLine::refreshDecorations()
{
    if (controlPoints.getVertexCount() != 2)
        return;
    shapeVerts.clear();
    shapeVerts.append(sf::Vertex(at(controlPoints, 0), lineColor));
    shapeVerts.append(sf::Vertex(at(controlPoints, 1), lineColor));
}

void SFPrimitiveLine::update()
{
    const sf::Vector2f p0 = at(controlPoints, 0), p1 = at(controlPoints, 1);
    const float length = cal(dist(p0, p1));
    data.lengths = {length};
    const sf::Vector2f start = toImage(p0), end = toImage(p1);
    data.startX = start.x;
    data.startY = start.y;
    data.endX = end.x;
    data.endY = end.y;
    setLabelText(withUnit(formatLabel("L: %.2f", length)));
}

void SFPrimitiveLine::onPress(float x, float y, int)
{
    if (!finished) {
        setPoint(controlPoints, 1, {x, y});
        finished = true;
        buildWithTicks();
    }
    update();
}

void SFPrimitiveLine::onRelease(float, float, int) { refreshDecorations(); }

void SFPrimitiveLine::onMove(float x, float y, int tool, bool buttonDown, HitInfo hit)
{
    if (!finished) {
        if (tool != ToolLine)
            return;
        setPoint(controlPoints, 1, {x, y});
    } else if (dragging(tool, buttonDown)) {
        const sf::Vector2f d = delta(hit, x, y);
        if (hit.part == HitControlPoint) {
            setPoint(controlPoints, hit.vertexIndex, snapped(hit, 0) + d);
        } else if (hit.part == HitBody) {
            setPoint(controlPoints, 0, snapped(hit, 0) + d);
            setPoint(controlPoints, 1, snapped(hit, 1) + d);
            label.setPosition(snapped(hit, 2) + d);
        } else if (!dragLabel(hit, x, y)) {
            return;
        }
    } else {
        return;
    }
    buildWithTicks();
    update();
}

HitInfo SFPrimitiveLine::hitTest(float x, float y)
{
    restoreColors();
    const sf::Vector2f p(x, y);
    const int point = measure::findNearVertex(controlPoints, p);
    if (point >= 0) {
        HitInfo hit = makeHit(x, y, HitControlPoint, point);
        snap(hit, 0, at(controlPoints, point));
        return hit;
    }
    if (measure::onSegment(p, at(controlPoints, 0), at(controlPoints, 1))) {
        return segmentBodyHit(x, y, at(controlPoints, 0), at(controlPoints, 1));
    }
    return labelOrNothing(x, y);
}

// ---------------------------------------------------------------- Line distance

SFPrimitiveLineDistance::SFPrimitiveLineDistance(float factor, float originX, float originY, const sf::String& unit,
                                                 float x, float y, float zoom)
    : SFPrimitiveBase(factor, originX, originY, unit, x, y, zoom)
{
    controlPoints.append(sf::Vertex({x, y}, lineColor));
    controlPoints.append(sf::Vertex({x, y}, lineColor));
    shapeVerts.setPrimitiveType(sf::Lines);
    placeLabel(x, y + 5);
}

void SFPrimitiveLineDistance::buildGeometry(bool withTicks)
{
    const std::size_t count = controlPoints.getVertexCount();
    shapeVerts.clear();
    dimensionVertices.clear();
    for (std::size_t first = 0; first + 1 < count; first += 2) {
        const sf::Vector2f a = at(controlPoints, first), b = at(controlPoints, first + 1);
        shapeVerts.append(sf::Vertex(a, lineColor));
        shapeVerts.append(sf::Vertex(b, lineColor));
        if (withTicks)
            measure::appendEndTicks(shapeVerts, a, b, kLineTick, lineColor);
    }
    if (count >= 4) {
        dimensionVertices.append(sf::Vertex(measure::mid(at(controlPoints, 0), at(controlPoints, 1)), dimensionColor));
        dimensionVertices.append(sf::Vertex(measure::mid(at(controlPoints, 2), at(controlPoints, 3)), dimensionColor));
    }
}

void SFPrimitiveLineDistance::refreshDecorations() { buildGeometry(false); }

void SFPrimitiveLineDistance::update()
{
    if (dimensionVertices.getVertexCount() < 2)
        return;
    const sf::Vector2f m0 = at(dimensionVertices, 0), m1 = at(dimensionVertices, 1);
    const float distance = cal(dist(m0, m1));
    const sf::Vector2f start = toImage(m0), end = toImage(m1);
    data.startX = start.x;
    data.startY = start.y;
    data.endX = end.x;
    data.endY = end.y;
    data.lengths = {distance};
    data.distances = {distance};
    setLabelText(withUnit(formatLabel("D: %.2f", distance)));
}

void SFPrimitiveLineDistance::onPress(float x, float y, int)
{
    if (finished)
        return;
    if (controlPoints.getVertexCount() >= 4) {
        finished = true;
        update();
        return;
    }
    setPoint(controlPoints, controlPoints.getVertexCount() - 1, {x, y});
    controlPoints.append(sf::Vertex({x, y}, lineColor));
    buildGeometry(true);
    update();
}

void SFPrimitiveLineDistance::onRelease(float, float, int) { refreshDecorations(); }

void SFPrimitiveLineDistance::onMove(float x, float y, int tool, bool buttonDown, HitInfo hit)
{
    if (!finished) {
        if (tool != ToolLineDistance)
            return;
        setPoint(controlPoints, controlPoints.getVertexCount() - 1, {x, y});
    } else if (dragging(tool, buttonDown)) {
        const sf::Vector2f d = delta(hit, x, y);
        if (hit.part == HitControlPoint) {
            setPoint(controlPoints, hit.vertexIndex, snapped(hit, 0) + d);
        } else if (hit.part == HitBody) {
            const std::size_t first = static_cast<std::size_t>(hit.vertexIndex) * 2;
            setPoint(controlPoints, first, snapped(hit, 0) + d);
            setPoint(controlPoints, first + 1, snapped(hit, 1) + d);
            label.setPosition(snapped(hit, 2) + d);
        } else if (!dragLabel(hit, x, y)) {
            return;
        }
    } else {
        return;
    }
    buildGeometry(true);
    update();
}

HitInfo SFPrimitiveLineDistance::hitTest(float x, float y)
{
    restoreColors();
    const sf::Vector2f p(x, y);
    const int point = measure::findNearVertex(controlPoints, p);
    if (point >= 0) {
        HitInfo hit = makeHit(x, y, HitControlPoint, point);
        snap(hit, 0, at(controlPoints, point));
        return hit;
    }
    for (std::size_t segment = 0; segment < 2 && segment * 2 + 1 < controlPoints.getVertexCount(); ++segment) {
        const sf::Vector2f a = at(controlPoints, segment * 2), b = at(controlPoints, segment * 2 + 1);
        if (measure::onSegment(p, a, b)) {
            HitInfo hit = makeHit(x, y, HitBody, static_cast<int>(segment));
            snap(hit, 0, a);
            snap(hit, 1, b);
            snap(hit, 2, label.getPosition());
            highlightShape();
            return hit;
        }
    }
    return labelOrNothing(x, y);
}

// ---------------------------------------------------------------- Broken line

SFPrimitiveBrokenLine::SFPrimitiveBrokenLine(float factor, float originX, float originY, const sf::String& unit,
                                             float x, float y, float zoom)
    : SFPrimitiveBase(factor, originX, originY, unit, x, y, zoom)
{
    shapeVerts.setPrimitiveType(sf::LineStrip);
    shapeVerts.append(sf::Vertex({x, y}, lineColor));
    shapeVerts.append(sf::Vertex({x, y}, lineColor));
    placeLabel(x, y + 5);
}

void SFPrimitiveBrokenLine::update()
{
    float total = 0;
    for (std::size_t i = 0; i + 1 < shapeVerts.getVertexCount(); ++i)
        total += dist(at(shapeVerts, i), at(shapeVerts, i + 1));
    const float length = cal(total);
    data.lengths = {length};
    setLabelText(withUnit(formatLabel("L: %.2f", length)));
}

void SFPrimitiveBrokenLine::onPress(float x, float y, int)
{
    if (finished)
        return;
    const std::size_t count = shapeVerts.getVertexCount();
    shapeVerts[count - 2].color = lineColor;
    shapeVerts[count - 1].color = lineColor;
    shapeVerts[count - 1].position = {x, y};
    shapeVerts.append(sf::Vertex({x, y}, lineColor));
    update();
}

void SFPrimitiveBrokenLine::onSecondaryPress(float, float, int)
{
    if (!finished && shapeVerts.getVertexCount() > 2) {
        shapeVerts[shapeVerts.getVertexCount() - 1].color = kGreen;
        finished = true;
    }
    update();
}

void SFPrimitiveBrokenLine::onMove(float x, float y, int tool, bool buttonDown, HitInfo hit)
{
    if (!finished) {
        if (tool != ToolBrokenLine)
            return;
        setPoint(shapeVerts, shapeVerts.getVertexCount() - 1, {x, y});
    } else if (dragging(tool, buttonDown)) {
        if (hit.part == HitVertex)
            setPoint(shapeVerts, hit.vertexIndex, snapped(hit, 0) + delta(hit, x, y));
        else if (!dragLabel(hit, x, y))
            return;
    } else {
        return;
    }
    update();
}

HitInfo SFPrimitiveBrokenLine::hitTest(float x, float y)
{
    restoreColors();
    return hitShapeVertexOrLabel(x, y);
}

// ---------------------------------------------------------------- Rectangle

SFPrimitiveRectangle::SFPrimitiveRectangle(float factor, float originX, float originY, const sf::String& unit, float x,
                                           float y, float zoom)
    : SFPrimitiveBase(factor, originX, originY, unit, x, y, zoom)
{
    shapeVerts.setPrimitiveType(sf::LineStrip);
    for (int i = 0; i < 5; ++i)
        shapeVerts.append(sf::Vertex({x, y}, lineColor));
    placeLabel(x, y + 5);
}

void SFPrimitiveRectangle::setSecondCorner(sf::Vector2f corner)
{
    const sf::Vector2f p0 = at(shapeVerts, 0);
    setPoint(shapeVerts, 2, corner);
    setPoint(shapeVerts, 1, {corner.x, p0.y});
    setPoint(shapeVerts, 3, {p0.x, corner.y});
}

void SFPrimitiveRectangle::moveCorner(int index, sf::Vector2f q)
{
    // Each corner shares one coordinate with each neighbour; corner 0 and the
    // closing vertex 4 are the same point.
    switch (index) {
    case 0:
    case 4:
        setPoint(shapeVerts, 0, q);
        setPoint(shapeVerts, 4, q);
        shapeVerts[1].position.y = q.y;
        shapeVerts[3].position.x = q.x;
        break;
    case 1:
        setPoint(shapeVerts, 1, q);
        shapeVerts[0].position.y = q.y;
        shapeVerts[4].position.y = q.y;
        shapeVerts[2].position.x = q.x;
        break;
    case 2:
        setPoint(shapeVerts, 2, q);
        shapeVerts[1].position.x = q.x;
        shapeVerts[3].position.y = q.y;
        break;
    case 3:
        setPoint(shapeVerts, 3, q);
        shapeVerts[2].position.y = q.y;
        shapeVerts[0].position.x = q.x;
        shapeVerts[4].position.x = q.x;
        break;
    default: break;
    }
}

void SFPrimitiveRectangle::update()
{
    const sf::Vector2f p0 = at(shapeVerts, 0), p1 = at(shapeVerts, 1), p2 = at(shapeVerts, 2);
    data.area = cal2(std::fabs(p0.x - p2.x) * std::fabs(p0.y - p2.y));
    data.width = cal(dist(p0, p1));
    data.height = cal(dist(p1, p2));
    data.perimeter = (data.width + data.height) * 2;
    setLabelText(withUnit(formatLabel("S: %.4f", data.area)) + "^2");
}

void SFPrimitiveRectangle::onPress(float x, float y, int)
{
    if (!finished) {
        setSecondCorner({x, y});
        finished = true;
    }
    update();
}

void SFPrimitiveRectangle::onMove(float x, float y, int tool, bool buttonDown, HitInfo hit)
{
    if (!finished) {
        if (tool != ToolRect)
            return;
        setSecondCorner({x, y});
    } else if (dragging(tool, buttonDown)) {
        if (hit.part == HitVertex)
            moveCorner(hit.vertexIndex, snapped(hit, 0) + delta(hit, x, y));
        else if (!dragLabel(hit, x, y))
            return;
    } else {
        return;
    }
    update();
}

HitInfo SFPrimitiveRectangle::hitTest(float x, float y)
{
    restoreColors();
    const sf::Vector2f p(x, y);
    const int corner = measure::findNearVertex(shapeVerts, p);
    if (corner >= 0) {
        HitInfo hit = makeHit(x, y, HitVertex, corner);
        snap(hit, 0, at(shapeVerts, corner));
        highlightShapeVertex(corner);
        return hit;
    }
    return labelOrNothing(x, y);
}

// ---------------------------------------------------------------- Polygon

SFPrimitivePolygon::SFPrimitivePolygon(float factor, float originX, float originY, const sf::String& unit, float x,
                                       float y, float zoom)
    : SFPrimitiveBase(factor, originX, originY, unit, x, y, zoom)
{
    shapeVerts.setPrimitiveType(sf::LineStrip);
    shapeVerts.append(sf::Vertex({x, y}, lineColor));
    shapeVerts.append(sf::Vertex({x, y}, lineColor));
    placeLabel(x, y + 5);
}

void SFPrimitivePolygon::update()
{
    const std::size_t count = shapeVerts.getVertexCount();
    float twiceArea = 0;
    float perimeter = 0;
    for (std::size_t i = 0; i + 1 < count; ++i) {
        const sf::Vector2f a = at(shapeVerts, i), b = at(shapeVerts, i + 1);
        twiceArea += a.x * b.y - b.x * a.y;
        perimeter += dist(a, b);
    }
    data.area = cal2(std::fabs(twiceArea) / 2);
    data.perimeter = cal(perimeter);
    setLabelText(withUnit(formatLabel("S: %.4f", data.area)) + "^2");
}

void SFPrimitivePolygon::onPress(float x, float y, int)
{
    if (finished)
        return;
    const sf::Vector2f first = at(shapeVerts, 0);
    if (shapeVerts.getVertexCount() < 3) {
        shapeVerts.append(sf::Vertex({x, y}, lineColor));
        shapeVerts.append(sf::Vertex(first, lineColor));
    } else {
        shapeVerts.append(sf::Vertex(first, lineColor));
        setPoint(shapeVerts, shapeVerts.getVertexCount() - 2, {x, y});
    }
    update();
}

void SFPrimitivePolygon::onSecondaryPress(float, float, int)
{
    if (!finished && shapeVerts.getVertexCount() > 2)
        finished = true;
    update();
}

void SFPrimitivePolygon::onMove(float x, float y, int tool, bool buttonDown, HitInfo hit)
{
    const std::size_t count = shapeVerts.getVertexCount();
    if (!finished) {
        if (tool != ToolPolygon)
            return;
        setPoint(shapeVerts, count < 3 ? count - 1 : count - 2, {x, y});
    } else if (dragging(tool, buttonDown)) {
        if (hit.part == HitVertex) {
            const sf::Vector2f q = snapped(hit, 0) + delta(hit, x, y);
            const std::size_t index = static_cast<std::size_t>(hit.vertexIndex);
            if (index == 0 || index == count - 1) {
                setPoint(shapeVerts, 0, q);
                setPoint(shapeVerts, count - 1, q);
            } else {
                setPoint(shapeVerts, index, q);
            }
        } else if (!dragLabel(hit, x, y)) {
            return;
        }
    } else {
        return;
    }
    update();
}

HitInfo SFPrimitivePolygon::hitTest(float x, float y)
{
    restoreColors();
    return hitShapeVertexOrLabel(x, y);
}

// ---------------------------------------------------------------- Calibration line

SFPrimitiveCalibration::SFPrimitiveCalibration(float factor, float originX, float originY, const sf::String& unit,
                                               float x, float y, float zoom)
    : SFPrimitiveBase(factor, originX, originY, unit, x, y, zoom)
{
    lineColor = kRed;
    textColor = kRed;
    label.setFillColor(kRed);
    shapeVerts.setPrimitiveType(sf::Lines);
    buildLine({x, y}, {x + kCalibrationLength, y});
    placeLabel(x, y + 5);
    finished = true;
    update();
}

void SFPrimitiveCalibration::buildLine(sf::Vector2f p0, sf::Vector2f p1)
{
    shapeVerts.clear();
    shapeVerts.append(sf::Vertex(p0, lineColor));
    shapeVerts.append(sf::Vertex(p1, lineColor));
    measure::appendEndTicks(shapeVerts, p0, p1, kCalibrationTick, lineColor);
}

void SFPrimitiveCalibration::restoreColors()
{
    for (std::size_t i = 0; i < shapeVerts.getVertexCount(); ++i)
        shapeVerts[i].color = kRed;
    label.setFillColor(kRed);
}

void SFPrimitiveCalibration::update()
{
    // Image pixels: the calibration being made must not depend on the one in force.
    const float length = dist(at(shapeVerts, 0), at(shapeVerts, 1)) / zoom;
    data.lengths = {length};
    setLabelText(formatLabel("L: %.2f", length) + " px");
}

void SFPrimitiveCalibration::onMove(float x, float y, int tool, bool buttonDown, HitInfo hit)
{
    if (!dragging(tool, buttonDown))
        return;
    const sf::Vector2f d = delta(hit, x, y);
    if (hit.part == HitVertex) {
        sf::Vector2f p0 = at(shapeVerts, 0), p1 = at(shapeVerts, 1);
        (hit.vertexIndex == 0 ? p0 : p1) = {x, y};
        buildLine(p0, p1);
    } else if (hit.part == HitBody) {
        buildLine(snapped(hit, 0) + d, snapped(hit, 1) + d);
        label.setPosition(snapped(hit, 2) + d);
    } else if (!dragLabel(hit, x, y)) {
        return;
    }
    update();
}

HitInfo SFPrimitiveCalibration::hitTest(float x, float y)
{
    restoreColors();
    const sf::Vector2f p(x, y);
    const int end = measure::findNearVertex(shapeVerts, p, 0, 2);
    if (end >= 0) {
        HitInfo hit = makeHit(x, y, HitVertex, end);
        snap(hit, 0, at(shapeVerts, end));
        highlightShapeVertex(end);
        return hit;
    }
    if (measure::onSegment(p, at(shapeVerts, 0), at(shapeVerts, 1))) {
        return segmentBodyHit(x, y, at(shapeVerts, 0), at(shapeVerts, 1));
    }
    return labelOrNothing(x, y);
}
