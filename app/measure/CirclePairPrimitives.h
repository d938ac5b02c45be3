#pragma once
#include "Geometry.h"
#include "SFPrimitiveBase.h"

#include <optional>

// Two circles and the distance between their centres. The three classes differ
// only in how a circle is given by its points: centre and rim point, the ends
// of a diameter, or three points on the rim.
class SFPrimitiveCirclePair : public SFPrimitiveBase {
public:
    SFPrimitiveCirclePair(float factor, float originX, float originY, const sf::String& unit, float x, float y,
                          float zoom, int ownTool, std::size_t pointsPerCircle);
    HitInfo hitTest(float x, float y) override;
    void onPress(float x, float y, int tool) override;
    void onMove(float x, float y, int tool, bool buttonDown, HitInfo hit) override;
    void update() override;
    void refreshDecorations() override;

protected:
    // Circle `which` (0 or 1) once all its points are placed and it exists.
    virtual std::optional<measure::Circle> circleFrom(const sf::Vector2f* points) const = 0;
    // The centre used for the distance; by default that of the whole circle.
    virtual std::optional<sf::Vector2f> centreOf(std::size_t which) const;
    std::optional<measure::Circle> circle(std::size_t which) const;
    std::size_t placedPoints() const { return controlPoints.getVertexCount(); }

private:
    int ownTool;
    std::size_t perCircle;
    std::size_t circleFirst[2] = {0, 0};
    std::size_t circleCount[2] = {0, 0};
};

class SFPrimitiveTwoCircles : public SFPrimitiveCirclePair {
public:
    SFPrimitiveTwoCircles(float factor, float originX, float originY, const sf::String& unit, float x, float y,
                          float zoom);
    std::string typeName() const override { return "TwoCircles"; }

protected:
    std::optional<measure::Circle> circleFrom(const sf::Vector2f* points) const override;
    std::optional<sf::Vector2f> centreOf(std::size_t which) const override;
};

class SFPrimitiveTwoCircles2 : public SFPrimitiveCirclePair {
public:
    SFPrimitiveTwoCircles2(float factor, float originX, float originY, const sf::String& unit, float x, float y,
                           float zoom);
    std::string typeName() const override { return "TwoCircles2"; }

protected:
    std::optional<measure::Circle> circleFrom(const sf::Vector2f* points) const override;
};

class SFPrimitiveTwoCircles3 : public SFPrimitiveCirclePair {
public:
    SFPrimitiveTwoCircles3(float factor, float originX, float originY, const sf::String& unit, float x, float y,
                           float zoom);
    std::string typeName() const override { return "TwoCircles3"; }

protected:
    std::optional<measure::Circle> circleFrom(const sf::Vector2f* points) const override;
};
