#include "CirclePairPrimitives.h"

using measure::dist;

SFPrimitiveCirclePair::SFPrimitiveCirclePair(const PrimitiveSetup& setup, int tool, std::size_t pointsPerCircle)
    : SFPrimitiveBase(setup), ownTool(tool), perCircle(pointsPerCircle)
{
    startControlPoints(2, setup.at);
    shapeVerts.setPrimitiveType(sf::LineStrip);
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

int SFPrimitiveCirclePair::bodyPartAt(sf::Vector2f p) const
{
    for (std::size_t which = 0; which < 2; ++which) {
        const auto c = circle(which);
        if (c && measure::onCircle(p, c->centre, c->radius))
            return static_cast<int>(which);
    }
    return -1;
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
    if (dimensionVertices.getVertexCount() >= 2)
        recordDistance(dimensionVertices[0].position, dimensionVertices[1].position);
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

// ---------------------------------------------------------------- Centre and rim point

SFPrimitiveTwoCircles::SFPrimitiveTwoCircles(const PrimitiveSetup& setup)
    : SFPrimitiveCirclePair(setup, ToolTwoCircles, 2)
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

SFPrimitiveTwoCircles2::SFPrimitiveTwoCircles2(const PrimitiveSetup& setup)
    : SFPrimitiveCirclePair(setup, ToolTwoCircles2, 2)
{
}

std::optional<measure::Circle> SFPrimitiveTwoCircles2::circleFrom(const sf::Vector2f* points) const
{
    return measure::Circle{measure::mid(points[0], points[1]), dist(points[0], points[1]) / 2};
}

// ---------------------------------------------------------------- Three points on the rim

SFPrimitiveTwoCircles3::SFPrimitiveTwoCircles3(const PrimitiveSetup& setup)
    : SFPrimitiveCirclePair(setup, ToolTwoCircles3, 3)
{
}

std::optional<measure::Circle> SFPrimitiveTwoCircles3::circleFrom(const sf::Vector2f* points) const
{
    return measure::circumcircle(points[0], points[1], points[2]);
}
