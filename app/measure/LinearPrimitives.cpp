#include "LinearPrimitives.h"

#include "Geometry.h"

#include <cmath>
#include <iterator>

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

SFPrimitivePoint::SFPrimitivePoint(const PrimitiveSetup& setup) : SFPrimitiveBase(setup)
{
    startControlPoints(1, setup.at);
    shapeVerts.setPrimitiveType(sf::Lines);
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

// ---------------------------------------------------------------- Line

SFPrimitiveLine::SFPrimitiveLine(const PrimitiveSetup& setup) : SFPrimitiveBase(setup)
{
    startControlPoints(2, setup.at);
    shapeVerts.setPrimitiveType(sf::Lines);
}

void SFPrimitiveLine::reshape()
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
        reshape();
    }
    update();
}

int SFPrimitiveLine::bodyPartAt(sf::Vector2f p) const
{
    return measure::onSegment(p, at(controlPoints, 0), at(controlPoints, 1)) ? 0 : -1;
}

// ---------------------------------------------------------------- Line distance

SFPrimitiveLineDistance::SFPrimitiveLineDistance(const PrimitiveSetup& setup) : SFPrimitiveBase(setup)
{
    startControlPoints(2, setup.at);
    shapeVerts.setPrimitiveType(sf::Lines);
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
    if (dimensionVertices.getVertexCount() >= 2)
        recordDistance(at(dimensionVertices, 0), at(dimensionVertices, 1));
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

void SFPrimitiveLineDistance::follow(sf::Vector2f mouse)
{
    setPoint(controlPoints, controlPoints.getVertexCount() - 1, mouse);
}

int SFPrimitiveLineDistance::bodyPartAt(sf::Vector2f p) const
{
    for (std::size_t segment = 0; segment < 2 && segment * 2 + 1 < controlPoints.getVertexCount(); ++segment)
        if (measure::onSegment(p, at(controlPoints, segment * 2), at(controlPoints, segment * 2 + 1)))
            return static_cast<int>(segment);
    return -1;
}

// ---------------------------------------------------------------- Broken line

SFPrimitiveBrokenLine::SFPrimitiveBrokenLine(const PrimitiveSetup& setup) : SFPrimitiveBase(setup)
{
    startShape(sf::LineStrip, 2, setup.at);
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

// ---------------------------------------------------------------- Rectangle

SFPrimitiveRectangle::SFPrimitiveRectangle(const PrimitiveSetup& setup) : SFPrimitiveBase(setup)
{
    startShape(sf::LineStrip, 5, setup.at);
}

void SFPrimitiveRectangle::setSecondCorner(sf::Vector2f corner)
{
    const sf::Vector2f p0 = at(shapeVerts, 0);
    setPoint(shapeVerts, 2, corner);
    setPoint(shapeVerts, 1, {corner.x, p0.y});
    setPoint(shapeVerts, 3, {p0.x, corner.y});
}

void SFPrimitiveRectangle::moveHandle(std::size_t corner, sf::Vector2f q)
{
    // Corner i lies at (x[column[i]], y[row[i]]), vertex 4 closes the outline
    // at corner 0: a corner takes the coordinate it shares with each
    // neighbour along.
    static constexpr std::size_t column[] = {0, 1, 1, 0, 0}, row[] = {0, 0, 1, 1, 0};
    if (corner >= std::size(column) || shapeVerts.getVertexCount() < std::size(column))
        return;
    float x[2] = {shapeVerts[0].position.x, shapeVerts[2].position.x};
    float y[2] = {shapeVerts[0].position.y, shapeVerts[2].position.y};
    x[column[corner]] = q.x;
    y[row[corner]] = q.y;
    for (std::size_t i = 0; i < std::size(column); ++i)
        shapeVerts[i].position = {x[column[i]], y[row[i]]};
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

// ---------------------------------------------------------------- Polygon

SFPrimitivePolygon::SFPrimitivePolygon(const PrimitiveSetup& setup) : SFPrimitiveBase(setup)
{
    startShape(sf::LineStrip, 2, setup.at);
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

void SFPrimitivePolygon::follow(sf::Vector2f mouse)
{
    const std::size_t count = shapeVerts.getVertexCount();
    setPoint(shapeVerts, count < 3 ? count - 1 : count - 2, mouse);
}

void SFPrimitivePolygon::moveHandle(std::size_t i, sf::Vector2f to)
{
    const std::size_t count = shapeVerts.getVertexCount();
    if (i == 0 || i == count - 1) {
        setPoint(shapeVerts, 0, to);
        setPoint(shapeVerts, count - 1, to);
    } else {
        setPoint(shapeVerts, i, to);
    }
}

// ---------------------------------------------------------------- Calibration line

SFPrimitiveCalibration::SFPrimitiveCalibration(const PrimitiveSetup& setup) : SFPrimitiveBase(setup)
{
    const auto [x, y] = setup.at;
    handleLimit = 2; // the line's ends, not its ticks
    handlesAtMouse = true;
    lineColor = kRed;
    textColor = kRed;
    label.setFillColor(kRed);
    shapeVerts.setPrimitiveType(sf::Lines);
    buildLine({x, y}, {x + kCalibrationLength, y});
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

int SFPrimitiveCalibration::bodyPartAt(sf::Vector2f p) const
{
    return measure::onSegment(p, at(shapeVerts, 0), at(shapeVerts, 1)) ? 0 : -1;
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
