#pragma once
#include <SFML/Graphics/Color.hpp>
#include <SFML/Graphics/Rect.hpp>
#include <SFML/Graphics/VertexArray.hpp>
#include <SFML/System/Vector2.hpp>

#include <optional>

// Geometry shared by the measurement primitives. Everything is single
// precision and in view pixels.
namespace measure {

constexpr float kHitTolerance = 10.0f; // view pixels, not scaled by the zoom
constexpr float kSegmentSlack = 2.0f;
constexpr float kPi = 3.1415927f;
constexpr float kTwoPi = 6.2831855f;
constexpr float kArcStep = 0.03141593f; // pi / 100

float dist(sf::Vector2f a, sf::Vector2f b);
sf::Vector2f mid(sf::Vector2f a, sf::Vector2f b);

// |p - a| < tolerance on both axes: a square, not a circle.
bool nearPoint(sf::Vector2f p, sf::Vector2f a);
// Index of the first vertex of `points` near p, else -1 (earlier points win).
int findNearVertex(const sf::VertexArray& points, sf::Vector2f p, std::size_t first = 0,
                   std::size_t count = static_cast<std::size_t>(-1));
// p on the circle around m that passes through q.
bool onCircle(sf::Vector2f p, sf::Vector2f m, float radius);
// dist(p, a) + dist(p, b) <= dist(a, b) + slack.
bool onSegment(sf::Vector2f p, sf::Vector2f a, sf::Vector2f b, float slack = kSegmentSlack);
// Half-open: the left and top edges are inside, the right and bottom are not.
bool inRect(sf::Vector2f p, sf::Vector2f corner, sf::Vector2f extent);
bool inRect(sf::Vector2f p, const sf::FloatRect& rect);

struct Circle {
    sf::Vector2f centre;
    float radius = 0;
};
// The circle through three points from the perpendicular bisectors; nothing
// when the points coincide or are collinear (no finite circle exists).
std::optional<Circle> circumcircle(sf::Vector2f p1, sf::Vector2f p2, sf::Vector2f p3);

// Foot of the perpendicular from p onto the infinite line through a and b;
// a itself when a and b coincide (the line has no direction).
sf::Vector2f footOnLine(sf::Vector2f p, sf::Vector2f a, sf::Vector2f b);

// Appends the ticks through a and through b perpendicular to a -> b, each
// 2 * halfLength long (two Lines segments). A zero-length segment has no
// direction: its ticks shrink to points.
void appendEndTicks(sf::VertexArray& out, sf::Vector2f a, sf::Vector2f b, float halfLength, sf::Color color);

// Samples the arc from angle s to e (radians, screen convention) every pi/100;
// a full circle (s == 0, e == 2 pi) is closed by repeating the point at 0.
void appendArc(sf::VertexArray& out, sf::Vector2f centre, float radius, float s, float e, sf::Color color);
void appendFullCircle(sf::VertexArray& out, sf::Vector2f centre, float radius, sf::Color color);

// Angle of p seen from centre against +x, in [0, 2 pi), y growing downwards.
float screenAngle(sf::Vector2f centre, sf::Vector2f p);

} // namespace measure
