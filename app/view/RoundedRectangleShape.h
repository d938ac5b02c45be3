#pragma once
#include <SFML/Graphics/Shape.hpp>

namespace sf {

// A rectangle with quarter-circle corners, each corner drawn with
// `pointsPerCorner` points; the box behind the recording indicator.
class RoundedRectangleShape : public Shape {
public:
    explicit RoundedRectangleShape(const Vector2f& size = Vector2f(0, 0), float radius = 0,
                                   unsigned pointsPerCorner = 10);

    std::size_t getPointCount() const override;
    Vector2f getPoint(std::size_t index) const override;

private:
    Vector2f size_;
    float radius_;
    unsigned pointsPerCorner_;
};

} // namespace sf
