#include "app/view/RoundedRectangleShape.h"

#include <cmath>

namespace sf {

RoundedRectangleShape::RoundedRectangleShape(const Vector2f& size, float radius, unsigned pointsPerCorner)
    : size_(size), radius_(radius), pointsPerCorner_(pointsPerCorner)
{
    update();
}

std::size_t RoundedRectangleShape::getPointCount() const { return std::size_t(pointsPerCorner_) * 4; }

Vector2f RoundedRectangleShape::getPoint(std::size_t index) const
{
    if (index >= getPointCount() || pointsPerCorner_ == 0)
        return Vector2f(0, 0);
    const std::size_t corner = index / pointsPerCorner_;
    const float r = radius_;
    static const float kPi = 3.1415927f;
    Vector2f centre;
    switch (corner) {
    case 0: centre = Vector2f(size_.x - r, r); break;
    case 1: centre = Vector2f(r, r); break;
    case 2: centre = Vector2f(r, size_.y - r); break;
    default: centre = Vector2f(size_.x - r, size_.y - r); break;
    }
    // One point per corner has no arc to spread over; it sits at the start angle.
    const float step = pointsPerCorner_ > 1 ? 90.0f / float(pointsPerCorner_ - 1) : 0.0f;
    const float degrees = step * float(index - corner);
    const float radians = degrees * kPi / 180.0f;
    return Vector2f(centre.x + r * std::cos(radians), centre.y - r * std::sin(radians));
}

} // namespace sf
