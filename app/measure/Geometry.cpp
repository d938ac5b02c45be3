#include "Geometry.h"

#include <algorithm>
#include <cmath>

namespace measure {

float dist(sf::Vector2f a, sf::Vector2f b)
{
    const float dx = a.x - b.x;
    const float dy = a.y - b.y;
    return std::sqrt(dx * dx + dy * dy);
}

sf::Vector2f mid(sf::Vector2f a, sf::Vector2f b) { return {(a.x + b.x) / 2.0f, (a.y + b.y) / 2.0f}; }

bool nearPoint(sf::Vector2f p, sf::Vector2f a)
{
    return std::fabs(p.x - a.x) < kHitTolerance && std::fabs(p.y - a.y) < kHitTolerance;
}

int findNearVertex(const sf::VertexArray& points, sf::Vector2f p, std::size_t first, std::size_t count)
{
    const std::size_t end = std::min(points.getVertexCount(),
                                     count == static_cast<std::size_t>(-1) ? points.getVertexCount() : first + count);
    for (std::size_t i = first; i < end; ++i)
        if (nearPoint(p, points[i].position))
            return static_cast<int>(i);
    return -1;
}

bool onCircle(sf::Vector2f p, sf::Vector2f m, float radius) { return std::fabs(dist(p, m) - radius) < kHitTolerance; }

bool onSegment(sf::Vector2f p, sf::Vector2f a, sf::Vector2f b, float slack)
{
    return dist(p, a) + dist(p, b) <= dist(a, b) + slack;
}

bool inRect(sf::Vector2f p, sf::Vector2f corner, sf::Vector2f extent)
{
    const float left = std::min(corner.x, corner.x + extent.x);
    const float right = std::max(corner.x, corner.x + extent.x);
    const float top = std::min(corner.y, corner.y + extent.y);
    const float bottom = std::max(corner.y, corner.y + extent.y);
    return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
}

bool inRect(sf::Vector2f p, const sf::FloatRect& rect)
{
    return inRect(p, {rect.left, rect.top}, {rect.width, rect.height});
}

std::optional<Circle> circumcircle(sf::Vector2f p1, sf::Vector2f p2, sf::Vector2f p3)
{
    const float a1 = 2 * (p2.x - p1.x);
    const float b1 = 2 * (p2.y - p1.y);
    const float c1 = p2.x * p2.x + p2.y * p2.y - p1.x * p1.x - p1.y * p1.y;
    const float a2 = 2 * (p3.x - p2.x);
    const float b2 = 2 * (p3.y - p2.y);
    const float c2 = p3.x * p3.x + p3.y * p3.y - p2.x * p2.x - p2.y * p2.y;
    const float d = a2 * b1 - b2 * a1;
    if (d == 0.0f)
        return std::nullopt; // coincident or collinear
    Circle circle;
    circle.centre = {(c2 * b1 - b2 * c1) / d, (a2 * c1 - c2 * a1) / d};
    circle.radius = dist(circle.centre, p1);
    if (!std::isfinite(circle.centre.x) || !std::isfinite(circle.centre.y) || !std::isfinite(circle.radius))
        return std::nullopt; // nearly collinear beyond what a float can hold
    return circle;
}

sf::Vector2f footOnLine(sf::Vector2f p, sf::Vector2f a, sf::Vector2f b)
{
    const sf::Vector2f ab = b - a;
    const float lengthSquared = ab.x * ab.x + ab.y * ab.y;
    if (lengthSquared == 0.0f)
        return a;
    const float t = ((p.x - a.x) * ab.x + (p.y - a.y) * ab.y) / lengthSquared;
    return a + ab * t;
}

void appendEndTicks(sf::VertexArray& out, sf::Vector2f a, sf::Vector2f b, float halfLength, sf::Color color)
{
    const float length = dist(a, b);
    sf::Vector2f n(0, 0);
    if (length > 0) {
        // |n.x| = |dy| / L, |n.y| = |dx| / L, signs making n perpendicular to b - a.
        n.x = std::fabs(b.y - a.y) / length;
        n.y = std::fabs(b.x - a.x) / length;
        if ((b.x - a.x) * (b.y - a.y) > 0)
            n.x = -n.x;
    }
    const sf::Vector2f d = n * halfLength;
    out.append(sf::Vertex(a - d, color));
    out.append(sf::Vertex(a + d, color));
    out.append(sf::Vertex(b - d, color));
    out.append(sf::Vertex(b + d, color));
}

void appendArc(sf::VertexArray& out, sf::Vector2f centre, float radius, float s, float e, sf::Color color)
{
    for (float t = s; t <= e; t += kArcStep)
        out.append(sf::Vertex({centre.x + radius * std::cos(t), centre.y + radius * std::sin(t)}, color));
    if (s == 0.0f && e == kTwoPi)
        out.append(sf::Vertex({centre.x + radius, centre.y}, color));
}

void appendFullCircle(sf::VertexArray& out, sf::Vector2f centre, float radius, sf::Color color)
{
    appendArc(out, centre, radius, 0.0f, kTwoPi, color);
}

float screenAngle(sf::Vector2f centre, sf::Vector2f p)
{
    const sf::Vector2f v = p - centre;
    const float length = std::sqrt(v.x * v.x + v.y * v.y);
    if (length == 0.0f)
        return 0.0f;
    // acos of the normalised dot product with (100, 0), mirrored above the centre.
    const float cosine = std::clamp(v.x * 100.0f / (length * 100.0f), -1.0f, 1.0f);
    float angle = std::acos(cosine);
    if (p.y < centre.y)
        angle = kTwoPi - angle;
    if (angle >= kTwoPi)
        angle = 0.0f;
    return angle;
}

} // namespace measure
