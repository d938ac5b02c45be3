#pragma once
#include "Geometry.h"
#include "SFPrimitiveBase.h"

#include <optional>

// Two circles and the distance between their centres. The three classes differ
// only in how a circle is given by its points: centre and rim point, the ends
// of a diameter, or three points on the rim.
class SFPrimitiveCirclePair : public SFPrimitiveBase {
public:
    SFPrimitiveCirclePair(const PrimitiveSetup& setup, int ownTool, std::size_t pointsPerCircle);
    void onPress(float x, float y, int tool) override;
    void update() override;
    void refreshDecorations() override;

protected:
    int tool() const override { return ownTool; }
    void follow(sf::Vector2f mouse) override { setPoint(controlPoints, placedPoints() - 1, mouse); }
    int bodyPartAt(sf::Vector2f p) const override;
    BodyPart bodyPart(int which) const override { return {std::size_t(which) * perCircle, perCircle, false}; }
    void highlightBody(int which) override { highlightShapeRange(circleFirst[which], circleCount[which]); }
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
    explicit SFPrimitiveTwoCircles(const PrimitiveSetup& setup);
    std::string typeName() const override { return "TwoCircles"; }

protected:
    std::optional<measure::Circle> circleFrom(const sf::Vector2f* points) const override;
    std::optional<sf::Vector2f> centreOf(std::size_t which) const override;
};

class SFPrimitiveTwoCircles2 : public SFPrimitiveCirclePair {
public:
    explicit SFPrimitiveTwoCircles2(const PrimitiveSetup& setup);
    std::string typeName() const override { return "TwoCircles2"; }

protected:
    std::optional<measure::Circle> circleFrom(const sf::Vector2f* points) const override;
};

class SFPrimitiveTwoCircles3 : public SFPrimitiveCirclePair {
public:
    explicit SFPrimitiveTwoCircles3(const PrimitiveSetup& setup);
    std::string typeName() const override { return "TwoCircles3"; }

protected:
    std::optional<measure::Circle> circleFrom(const sf::Vector2f* points) const override;
};
