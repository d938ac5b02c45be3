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

SFPrimitiveCircle::SFPrimitiveCircle(const PrimitiveSetup& setup) : SFPrimitiveBase(setup)
{
    handleLimit = 1; // the centre; the rim is the body
    startShape(sf::LineStrip, 1, setup.at);
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

int SFPrimitiveCircle::bodyPartAt(sf::Vector2f p) const
{
    return shapeVerts.getVertexCount() > 1 && measure::onCircle(p, shapeVerts[0].position, radiusPixels) ? 0 : -1;
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

// ---------------------------------------------------------------- Two-point circle

SFPrimitiveCircle2::SFPrimitiveCircle2(const PrimitiveSetup& setup) : SFPrimitiveBase(setup)
{
    handleLimit = 2; // the ends of the diameter
    startShape(sf::LineStrip, 2, setup.at);
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

// ---------------------------------------------------------------- Three defining points

SFPrimitiveThreePoints::SFPrimitiveThreePoints(const PrimitiveSetup& setup, int tool)
    : SFPrimitiveBase(setup), ownTool(tool)
{
    startShape(sf::LineStrip, 2, setup.at);
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

// ---------------------------------------------------------------- Three-point circle

SFPrimitiveCircle3::SFPrimitiveCircle3(const PrimitiveSetup& setup) : SFPrimitiveThreePoints(setup, ToolCircle3) {}

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

SFPrimitiveArc::SFPrimitiveArc(const PrimitiveSetup& setup) : SFPrimitiveThreePoints(setup, ToolArc) {}

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

SFPrimitiveAngle::SFPrimitiveAngle(const PrimitiveSetup& setup) : SFPrimitiveBase(setup)
{
    startShape(sf::LineStrip, 2, setup.at);
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

// ---------------------------------------------------------------- Text marker

SFPrimitiveText::SFPrimitiveText(const PrimitiveSetup& setup) : SFPrimitiveBase(setup)
{
    // The marker's ends go where the mouse is.
    handlesAtMouse = true;
    startShape(sf::Lines, 2, setup.at);
    setLabelText("Hello world");
}

int SFPrimitiveText::bodyPartAt(sf::Vector2f p) const
{
    return measure::onSegment(p, shapeVerts[0].position, shapeVerts[1].position) ? 0 : -1;
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
