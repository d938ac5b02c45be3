#include "CircularPrimitives.h"

#include <algorithm>
#include <cmath>

using measure::dist;

namespace {

const sf::Color kGreen(0, 255, 0, 255);

// Circumference and area of a circle of calibrated radius r.
void fillCircleRecord(MeasureData& data, float r)
{
    data.radius = r;
    data.perimeter = r * measure::kTwoPi;
    data.area = r * measure::kPi * r;
}

} // namespace

// ---------------------------------------------------------------- Circle (centre and radius)

SFPrimitiveCircle::SFPrimitiveCircle(float factor, float originX, float originY, const sf::String& unit, float x,
                                     float y, float zoom)
    : SFPrimitiveBase(factor, originX, originY, unit, x, y, zoom)
{
    shapeVerts.setPrimitiveType(sf::LineStrip);
    shapeVerts.append(sf::Vertex({x, y}, lineColor));
    placeLabel(x, y + 5);
}

void SFPrimitiveCircle::refreshDecorations()
{
    // Drawn as one strip: a radius from the centre to angle 0, then the circle.
    shapeVerts.resize(1);
    measure::appendFullCircle(shapeVerts, shapeVerts[0].position, radiusPixels, lineColor);
}

void SFPrimitiveCircle::update()
{
    if (shapeVerts.getVertexCount() < 2)
        return;
    const sf::Vector2f centre = shapeVerts[0].position;
    fillCircleRecord(data, cal(dist(centre, shapeVerts[1].position)));
    const sf::Vector2f image = toImage(centre);
    data.centerX = image.x;
    data.centerY = image.y;
    setLabelText(withUnit(formatLabel("R: %.2f", data.radius)));
}

void SFPrimitiveCircle::onPress(float x, float y, int)
{
    if (finished)
        return;
    radiusPixels = dist(shapeVerts[0].position, {x, y});
    finished = true;
    refreshDecorations();
    update();
}

void SFPrimitiveCircle::onMove(float x, float y, int tool, bool buttonDown, HitInfo hit)
{
    if (!finished) {
        if (tool != ToolCircle)
            return;
        radiusPixels = dist(shapeVerts[0].position, {x, y});
    } else if (dragging(tool, buttonDown)) {
        if (hit.part == HitBody && hit.subPart == 0) {
            radiusPixels = dist(shapeVerts[0].position, {x, y});
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

HitInfo SFPrimitiveCircle::hitTest(float x, float y)
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
    if (shapeVerts.getVertexCount() > 1 && measure::onCircle(p, centre, radiusPixels)) {
        HitInfo hit = makeHit(x, y, HitBody, -1, 0);
        snap(hit, 0, centre);
        highlightShape();
        return hit;
    }
    return labelOrNothing(x, y);
}

// ---------------------------------------------------------------- Two-point circle

SFPrimitiveCircle2::SFPrimitiveCircle2(float factor, float originX, float originY, const sf::String& unit, float x,
                                       float y, float zoom)
    : SFPrimitiveBase(factor, originX, originY, unit, x, y, zoom)
{
    shapeVerts.setPrimitiveType(sf::LineStrip);
    shapeVerts.append(sf::Vertex({x, y}, lineColor));
    shapeVerts.append(sf::Vertex({x, y}, lineColor));
    placeLabel(x, y + 5);
}

void SFPrimitiveCircle2::refreshDecorations()
{
    shapeVerts.resize(2);
    const sf::Vector2f p0 = shapeVerts[0].position, p1 = shapeVerts[1].position;
    measure::appendFullCircle(shapeVerts, measure::mid(p0, p1), dist(p0, p1) / 2, lineColor);
}

void SFPrimitiveCircle2::update()
{
    const sf::Vector2f p0 = shapeVerts[0].position, p1 = shapeVerts[1].position;
    fillCircleRecord(data, cal(dist(p0, p1) * 0.5f));
    const sf::Vector2f image = toImage(measure::mid(p0, p1));
    data.centerX = image.x;
    data.centerY = image.y;
    setLabelText(withUnit(formatLabel("R: %.2f", data.radius)));
}

void SFPrimitiveCircle2::onPress(float x, float y, int)
{
    if (finished)
        return;
    shapeVerts[1].position = {x, y};
    finished = true;
    refreshDecorations();
    update();
}

void SFPrimitiveCircle2::onMove(float x, float y, int tool, bool buttonDown, HitInfo hit)
{
    if (!finished) {
        if (tool != ToolCircle2)
            return;
        shapeVerts[1].position = {x, y};
    } else if (dragging(tool, buttonDown)) {
        if (hit.part == HitVertex)
            setPoint(shapeVerts, hit.vertexIndex, snapped(hit, 0) + delta(hit, x, y));
        else if (!dragLabel(hit, x, y))
            return;
    } else {
        return;
    }
    refreshDecorations();
    update();
}

HitInfo SFPrimitiveCircle2::hitTest(float x, float y)
{
    restoreColors();
    return hitShapeVertexOrLabel(x, y, 0, 2);
}

// ---------------------------------------------------------------- Three defining points

SFPrimitiveThreePoints::SFPrimitiveThreePoints(float factor, float originX, float originY, const sf::String& unit,
                                               float x, float y, float zoom, int tool)
    : SFPrimitiveBase(factor, originX, originY, unit, x, y, zoom), ownTool(tool)
{
    shapeVerts.setPrimitiveType(sf::LineStrip);
    shapeVerts.append(sf::Vertex({x, y}, lineColor));
    shapeVerts.append(sf::Vertex({x, y}, lineColor));
    placeLabel(x, y + 5);
}

std::optional<measure::Circle> SFPrimitiveThreePoints::circle() const
{
    if (points < 3)
        return std::nullopt;
    return measure::circumcircle(point(0), point(1), point(2));
}

void SFPrimitiveThreePoints::keepDefiningPoints() { shapeVerts.resize(points); }

void SFPrimitiveThreePoints::onPress(float x, float y, int)
{
    if (finished)
        return;
    if (points < 3) {
        keepDefiningPoints();
        shapeVerts[points - 1].position = {x, y};
        shapeVerts.append(sf::Vertex({x, y}, lineColor));
        ++points;
    } else {
        finished = true;
    }
    refreshDecorations();
    update();
}

void SFPrimitiveThreePoints::onMove(float x, float y, int tool, bool buttonDown, HitInfo hit)
{
    if (!finished) {
        if (tool != ownTool)
            return;
        shapeVerts[points - 1].position = {x, y};
    } else if (dragging(tool, buttonDown)) {
        if (hit.part == HitVertex)
            setPoint(shapeVerts, hit.vertexIndex, snapped(hit, 0) + delta(hit, x, y));
        else if (!dragLabel(hit, x, y))
            return;
    } else {
        return;
    }
    refreshDecorations();
    update();
}

HitInfo SFPrimitiveThreePoints::hitTest(float x, float y)
{
    restoreColors();
    const sf::Vector2f p(x, y);
    const int vertex = measure::findNearVertex(shapeVerts, p, 0, points);
    if (vertex >= 0) {
        HitInfo hit = makeHit(x, y, HitVertex, vertex);
        snap(hit, 0, point(vertex));
        highlightShapeVertex(vertex);
        return hit;
    }
    return labelOrNothing(x, y);
}

// ---------------------------------------------------------------- Three-point circle

SFPrimitiveCircle3::SFPrimitiveCircle3(float factor, float originX, float originY, const sf::String& unit, float x,
                                       float y, float zoom)
    : SFPrimitiveThreePoints(factor, originX, originY, unit, x, y, zoom, ToolCircle3)
{
}

void SFPrimitiveCircle3::refreshDecorations()
{
    keepDefiningPoints();
    if (definingPoints() < 3 || point(1) == point(2))
        return;
    if (const auto c = circle())
        measure::appendFullCircle(shapeVerts, c->centre, c->radius, lineColor);
}

void SFPrimitiveCircle3::update()
{
    // Points that coincide or lie on one line have no circle: the last result stays.
    const auto c = circle();
    if (!c)
        return;
    circleRadius = c->radius;
    fillCircleRecord(data, cal(c->radius));
    const sf::Vector2f image = toImage(c->centre);
    data.centerX = image.x;
    data.centerY = image.y;
    setLabelText(withUnit(formatLabel("R: %.2f", data.radius)));
}

// ---------------------------------------------------------------- Arc

SFPrimitiveArc::SFPrimitiveArc(float factor, float originX, float originY, const sf::String& unit, float x, float y,
                               float zoom)
    : SFPrimitiveThreePoints(factor, originX, originY, unit, x, y, zoom, ToolArc)
{
}

void SFPrimitiveArc::refreshDecorations()
{
    keepDefiningPoints();
    valid = false;
    if (definingPoints() < 3 || point(1) == point(2))
        return;
    const auto c = circle();
    if (!c)
        return;
    valid = true;
    arcRadius = dist(c->centre, point(0));
    const float a0 = measure::screenAngle(c->centre, point(0));
    const float a1 = measure::screenAngle(c->centre, point(1));
    const float a2 = measure::screenAngle(c->centre, point(2));
    const float smaller = std::min(a0, a2), larger = std::max(a0, a2);
    if (a1 >= smaller && a1 <= larger) {
        sweep = larger - smaller;
        measure::appendArc(shapeVerts, c->centre, arcRadius, smaller, larger, lineColor);
    } else {
        // The arc through P1 passes angle 0: two runs.
        sweep = (measure::kTwoPi - larger) + smaller;
        measure::appendArc(shapeVerts, c->centre, arcRadius, larger, measure::kTwoPi, lineColor);
        measure::appendArc(shapeVerts, c->centre, arcRadius, 0.0f, smaller, lineColor);
    }
}

void SFPrimitiveArc::update()
{
    if (!valid)
        return; // no arc through coincident or collinear points: the last result stays
    data.radius = cal(arcRadius);
    data.lengths = {sweep * data.radius};
    setLabelText(withUnit(formatLabel("C: %.2f", data.lengths[0])));
}

// ---------------------------------------------------------------- Angle

SFPrimitiveAngle::SFPrimitiveAngle(float factor, float originX, float originY, const sf::String& unit, float x, float y,
                                   float zoom)
    : SFPrimitiveBase(factor, originX, originY, unit, x, y, zoom)
{
    shapeVerts.setPrimitiveType(sf::LineStrip);
    shapeVerts.append(sf::Vertex({x, y}, lineColor));
    shapeVerts.append(sf::Vertex({x, y}, lineColor));
    placeLabel(x, y + 5);
}

void SFPrimitiveAngle::update()
{
    if (shapeVerts.getVertexCount() != 3)
        return;
    const sf::Vector2f u = shapeVerts[0].position - shapeVerts[1].position;
    const sf::Vector2f v = shapeVerts[2].position - shapeVerts[1].position;
    const float lengths = std::sqrt(u.x * u.x + u.y * u.y) * std::sqrt(v.x * v.x + v.y * v.y);
    // An arm of zero length has no direction: the angle reads 0 until it has.
    float angle = 0;
    if (lengths > 0) {
        const float cosine = std::clamp((u.x * v.x + u.y * v.y) / lengths, -1.0f, 1.0f);
        angle = std::acos(cosine) * 180.0f / measure::kPi;
    }
    data.angle = angle;
    setLabelText(formatLabel("A: %.2f", angle) + " deg");
}

void SFPrimitiveAngle::onPress(float x, float y, int)
{
    if (finished)
        return;
    if (shapeVerts.getVertexCount() >= 3) {
        finished = true;
    } else {
        shapeVerts[shapeVerts.getVertexCount() - 1].position = {x, y};
        placeLabel(x, y + 5);
        shapeVerts.append(sf::Vertex({x, y}, lineColor));
    }
    update();
}

void SFPrimitiveAngle::onMove(float x, float y, int tool, bool buttonDown, HitInfo hit)
{
    if (!finished) {
        if (tool != ToolAngle)
            return;
        shapeVerts[shapeVerts.getVertexCount() - 1].position = {x, y};
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

HitInfo SFPrimitiveAngle::hitTest(float x, float y)
{
    restoreColors();
    return hitShapeVertexOrLabel(x, y);
}

// ---------------------------------------------------------------- Text marker

SFPrimitiveText::SFPrimitiveText(float factor, float originX, float originY, const sf::String& unit, float x, float y,
                                 float zoom)
    : SFPrimitiveBase(factor, originX, originY, unit, x, y, zoom)
{
    shapeVerts.setPrimitiveType(sf::Lines);
    shapeVerts.append(sf::Vertex({x, y}, lineColor));
    shapeVerts.append(sf::Vertex({x, y}, lineColor));
    setLabelText("Hello world");
    placeLabel(x, y + 5);
}

void SFPrimitiveText::update()
{
    // A marker, not a measurement: the text stays as it is.
}

void SFPrimitiveText::onPress(float x, float y, int)
{
    if (finished)
        return;
    shapeVerts[0].color = kGreen;
    shapeVerts[1].color = kGreen;
    shapeVerts[1].position = {x, y};
    finished = true;
    update();
}

void SFPrimitiveText::onMove(float x, float y, int tool, bool buttonDown, HitInfo hit)
{
    if (!finished) {
        if (tool == ToolText)
            shapeVerts[1].position = {x, y};
        return;
    }
    if (!dragging(tool, buttonDown))
        return;
    if (hit.part == HitVertex)
        setPoint(shapeVerts, hit.vertexIndex, {x, y});
    else
        dragLabel(hit, x, y);
    update();
}

HitInfo SFPrimitiveText::hitTest(float x, float y)
{
    restoreColors();
    const sf::Vector2f p(x, y);
    if (HitInfo hit; hitShapeVertex(x, y, hit))
        return hit;
    if (measure::onSegment(p, shapeVerts[0].position, shapeVerts[1].position)) {
        HitInfo hit = makeHit(x, y, HitBody);
        snap(hit, 0, shapeVerts[0].position);
        snap(hit, 1, shapeVerts[1].position);
        highlightShape();
        return hit;
    }
    return labelOrNothing(x, y);
}
