#include "CirclePairPrimitives.h"

using measure::dist;

SFPrimitiveCirclePair::SFPrimitiveCirclePair(float factor, float originX, float originY, const sf::String& unit,
                                             float x, float y, float zoom, int tool, std::size_t pointsPerCircle)
    : SFPrimitiveBase(factor, originX, originY, unit, x, y, zoom), ownTool(tool), perCircle(pointsPerCircle)
{
    controlPoints.append(sf::Vertex({x, y}, lineColor));
    controlPoints.append(sf::Vertex({x, y}, lineColor));
    shapeVerts.setPrimitiveType(sf::LineStrip);
    placeLabel(x, y + 5);
}

std::optional<measure::Circle> SFPrimitiveCirclePair::circle(std::size_t which) const
{
    if (placedPoints() < perCircle * (which + 1))
        return std::nullopt;
    sf::Vector2f points[3];
    for (std::size_t i = 0; i < perCircle; ++i)
        points[i] = controlPoints[which * perCircle + i].position;
    return circleFrom(points);
}

std::optional<sf::Vector2f> SFPrimitiveCirclePair::centreOf(std::size_t which) const
{
    if (const auto c = circle(which))
        return c->centre;
    return std::nullopt;
}

void SFPrimitiveCirclePair::refreshDecorations()
{
    shapeVerts.clear();
    for (std::size_t which = 0; which < 2; ++which) {
        circleFirst[which] = circleCount[which] = 0;
        const auto c = circle(which);
        if (!c)
            continue;
        if (shapeVerts.getVertexCount() > 0) {
            // Invisible joins: the stroke from one circle to the next is not drawn.
            shapeVerts.append(sf::Vertex(shapeVerts[shapeVerts.getVertexCount() - 1].position, sf::Color::Transparent));
            shapeVerts.append(sf::Vertex({c->centre.x + c->radius, c->centre.y}, sf::Color::Transparent));
        }
        circleFirst[which] = shapeVerts.getVertexCount();
        measure::appendFullCircle(shapeVerts, c->centre, c->radius, lineColor);
        circleCount[which] = shapeVerts.getVertexCount() - circleFirst[which];
    }
    dimensionVertices.clear();
    const auto c1 = centreOf(0), c2 = centreOf(1);
    if (c1 && c2) {
        dimensionVertices.append(sf::Vertex(*c1, dimensionColor));
        dimensionVertices.append(sf::Vertex(*c2, dimensionColor));
    }
}

void SFPrimitiveCirclePair::update()
{
    if (dimensionVertices.getVertexCount() < 2)
        return;
    const sf::Vector2f a = dimensionVertices[0].position, b = dimensionVertices[1].position;
    const float distance = cal(dist(a, b));
    const sf::Vector2f start = toImage(a), end = toImage(b);
    data.startX = start.x;
    data.startY = start.y;
    data.endX = end.x;
    data.endY = end.y;
    data.lengths = {distance};
    data.distances = {distance};
    setLabelText(withUnit(formatLabel("D: %.2f", distance)));
}

void SFPrimitiveCirclePair::onPress(float x, float y, int)
{
    if (finished)
        return;
    if (placedPoints() < perCircle * 2)
        controlPoints.append(sf::Vertex({x, y}, lineColor));
    else
        finished = true;
    refreshDecorations();
    update();
}

void SFPrimitiveCirclePair::onMove(float x, float y, int tool, bool buttonDown, HitInfo hit)
{
    if (!finished) {
        if (tool != ownTool)
            return;
        controlPoints[placedPoints() - 1].position = {x, y};
    } else if (dragging(tool, buttonDown)) {
        const sf::Vector2f d = delta(hit, x, y);
        if (hit.part == HitControlPoint) {
            setPoint(controlPoints, hit.vertexIndex, snapped(hit, 0) + d);
        } else if (hit.part == HitBody) {
            const std::size_t first = static_cast<std::size_t>(hit.subPart) * perCircle;
            for (std::size_t i = 0; i < perCircle; ++i)
                setPoint(controlPoints, first + i, snapped(hit, static_cast<int>(i)) + d);
        } else if (!dragLabel(hit, x, y)) {
            return;
        }
    } else {
        return;
    }
    refreshDecorations();
    update();
}

HitInfo SFPrimitiveCirclePair::hitTest(float x, float y)
{
    restoreColors();
    const sf::Vector2f p(x, y);
    const int point = measure::findNearVertex(controlPoints, p);
    if (point >= 0) {
        HitInfo hit = makeHit(x, y, HitControlPoint, point);
        snap(hit, 0, controlPoints[point].position);
        return hit;
    }
    for (std::size_t which = 0; which < 2; ++which) {
        const auto c = circle(which);
        if (c && measure::onCircle(p, c->centre, c->radius)) {
            HitInfo hit = makeHit(x, y, HitBody, -1, static_cast<int>(which));
            for (std::size_t i = 0; i < perCircle; ++i)
                snap(hit, static_cast<int>(i), controlPoints[which * perCircle + i].position);
            highlightShapeRange(circleFirst[which], circleCount[which]);
            return hit;
        }
    }
    return labelOrNothing(x, y);
}

// ---------------------------------------------------------------- Centre and rim point

SFPrimitiveTwoCircles::SFPrimitiveTwoCircles(float factor, float originX, float originY, const sf::String& unit,
                                             float x, float y, float zoom)
    : SFPrimitiveCirclePair(factor, originX, originY, unit, x, y, zoom, ToolTwoCircles, 2)
{
}

std::optional<measure::Circle> SFPrimitiveTwoCircles::circleFrom(const sf::Vector2f* points) const
{
    return measure::Circle{points[0], dist(points[0], points[1])};
}

std::optional<sf::Vector2f> SFPrimitiveTwoCircles::centreOf(std::size_t which) const
{
    // The centre is the first point placed for a circle; while only the first
    // circle exists the dimension runs from its centre to its rim point.
    if (which == 1 && placedPoints() == 2)
        return controlPoints[1].position;
    if (placedPoints() > which * 2)
        return controlPoints[which * 2].position;
    return std::nullopt;
}

// ---------------------------------------------------------------- Ends of a diameter

SFPrimitiveTwoCircles2::SFPrimitiveTwoCircles2(float factor, float originX, float originY, const sf::String& unit,
                                               float x, float y, float zoom)
    : SFPrimitiveCirclePair(factor, originX, originY, unit, x, y, zoom, ToolTwoCircles2, 2)
{
}

std::optional<measure::Circle> SFPrimitiveTwoCircles2::circleFrom(const sf::Vector2f* points) const
{
    return measure::Circle{measure::mid(points[0], points[1]), dist(points[0], points[1]) / 2};
}

// ---------------------------------------------------------------- Three points on the rim

SFPrimitiveTwoCircles3::SFPrimitiveTwoCircles3(float factor, float originX, float originY, const sf::String& unit,
                                               float x, float y, float zoom)
    : SFPrimitiveCirclePair(factor, originX, originY, unit, x, y, zoom, ToolTwoCircles3, 3)
{
}

std::optional<measure::Circle> SFPrimitiveTwoCircles3::circleFrom(const sf::Vector2f* points) const
{
    return measure::circumcircle(points[0], points[1], points[2]);
}
