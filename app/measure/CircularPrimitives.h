#pragma once
#include "Geometry.h"
#include "SFPrimitiveBase.h"

#include <optional>

// Circles (centre and radius, diameter, three points), the arc through three
// points, the angle and the text marker.

class SFPrimitiveCircle : public SFPrimitiveBase {
public:
    SFPrimitiveCircle(float factor, float originX, float originY, const sf::String& unit, float x, float y, float zoom);
    std::string typeName() const override { return "Circle"; }
    HitInfo hitTest(float x, float y) override;
    void onPress(float x, float y, int tool) override;
    void onMove(float x, float y, int tool, bool buttonDown, HitInfo hit) override;
    void update() override;
    void refreshDecorations() override;

protected:
    void rescaleExtents(float factor) override { radiusPixels *= factor; }

private:
    float radiusPixels = 0;
};

class SFPrimitiveCircle2 : public SFPrimitiveBase {
public:
    SFPrimitiveCircle2(float factor, float originX, float originY, const sf::String& unit, float x, float y,
                       float zoom);
    std::string typeName() const override { return "Two Points Circle"; }
    HitInfo hitTest(float x, float y) override;
    void onPress(float x, float y, int tool) override;
    void onMove(float x, float y, int tool, bool buttonDown, HitInfo hit) override;
    void update() override;
    void refreshDecorations() override;
};

// Shared placement of the shapes defined by three points on a circle: the
// first press places P0, the second P1, the third fixes P2 where the rubber
// band left it. The defining points are the first vertices of the strip.
class SFPrimitiveThreePoints : public SFPrimitiveBase {
public:
    SFPrimitiveThreePoints(float factor, float originX, float originY, const sf::String& unit, float x, float y,
                           float zoom, int ownTool);
    HitInfo hitTest(float x, float y) override;
    void onPress(float x, float y, int tool) override;
    void onMove(float x, float y, int tool, bool buttonDown, HitInfo hit) override;

protected:
    std::size_t definingPoints() const { return points; }
    sf::Vector2f point(std::size_t i) const { return shapeVerts[i].position; }
    // The circle through the three points; nothing while fewer than three are
    // placed or when they coincide or lie on one line.
    std::optional<measure::Circle> circle() const;
    // Drops everything after the defining points.
    void keepDefiningPoints();

private:
    int ownTool;
    std::size_t points = 2;
};

class SFPrimitiveCircle3 : public SFPrimitiveThreePoints {
public:
    SFPrimitiveCircle3(float factor, float originX, float originY, const sf::String& unit, float x, float y,
                       float zoom);
    std::string typeName() const override { return "Three Points Circle"; }
    void update() override;
    void refreshDecorations() override;

protected:
    void rescaleExtents(float factor) override { circleRadius *= factor; }

private:
    float circleRadius = 0;
};

class SFPrimitiveArc : public SFPrimitiveThreePoints {
public:
    SFPrimitiveArc(float factor, float originX, float originY, const sf::String& unit, float x, float y, float zoom);
    std::string typeName() const override { return "Arc"; }
    void update() override;
    void refreshDecorations() override;

protected:
    void rescaleExtents(float factor) override { arcRadius *= factor; }

private:
    float arcRadius = 0;
    float sweep = 0;
    bool valid = false;
};

class SFPrimitiveAngle : public SFPrimitiveBase {
public:
    SFPrimitiveAngle(float factor, float originX, float originY, const sf::String& unit, float x, float y, float zoom);
    std::string typeName() const override { return "Angle"; }
    HitInfo hitTest(float x, float y) override;
    void onPress(float x, float y, int tool) override;
    void onMove(float x, float y, int tool, bool buttonDown, HitInfo hit) override;
    void update() override;
};

class SFPrimitiveText : public SFPrimitiveBase {
public:
    SFPrimitiveText(float factor, float originX, float originY, const sf::String& unit, float x, float y, float zoom);
    std::string typeName() const override { return "Text"; }
    HitInfo hitTest(float x, float y) override;
    void onPress(float x, float y, int tool) override;
    void onMove(float x, float y, int tool, bool buttonDown, HitInfo hit) override;
    void update() override;
};
