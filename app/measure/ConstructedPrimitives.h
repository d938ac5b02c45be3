#pragma once
#include "Geometry.h"
#include "SFPrimitiveBase.h"

#include <optional>

// Shapes that construct auxiliary geometry from the placed points:
// perpendicular, crosshairs, parallel lines, parallel stripes and concentric
// circles. The circle pairs live in CirclePairPrimitives.h.

class SFPrimitivePerpendicular : public SFPrimitiveBase {
public:
    SFPrimitivePerpendicular(float factor, float originX, float originY, const sf::String& unit, float x, float y,
                             float zoom);
    std::string typeName() const override { return "Perpendicular Line"; }
    HitInfo hitTest(float x, float y) override;
    void onPress(float x, float y, int tool) override;
    void onMove(float x, float y, int tool, bool buttonDown, HitInfo hit) override;
    void update() override;

private:
    void placeFoot();
};

class SFPrimitiveCrosshair : public SFPrimitiveBase {
public:
    SFPrimitiveCrosshair(float factor, float originX, float originY, const sf::String& unit, float x, float y,
                         float zoom);
    std::string typeName() const override { return "Crosshair"; }
    HitInfo hitTest(float x, float y) override;
    void onPress(float x, float y, int tool) override;
    void onMove(float x, float y, int tool, bool buttonDown, HitInfo hit) override;
    void update() override;
};

class SFPrimitiveCrosshair2 : public SFPrimitiveBase {
public:
    SFPrimitiveCrosshair2(float factor, float originX, float originY, const sf::String& unit, float x, float y,
                          float zoom);
    std::string typeName() const override { return "Crosshair2"; }
    HitInfo hitTest(float x, float y) override;
    void onPress(float x, float y, int tool) override;
    void onMove(float x, float y, int tool, bool buttonDown, HitInfo hit) override;
    void update() override;

private:
    sf::Vector2f crossing(std::size_t which) const;
};

class SFPrimitiveParallel : public SFPrimitiveBase {
public:
    SFPrimitiveParallel(float factor, float originX, float originY, const sf::String& unit, float x, float y,
                        float zoom);
    std::string typeName() const override { return "Parallel"; }
    HitInfo hitTest(float x, float y) override;
    void onPress(float x, float y, int tool) override;
    void onMove(float x, float y, int tool, bool buttonDown, HitInfo hit) override;
    void update() override;
    void refreshDecorations() override;

private:
    // P3 on the line through P2 parallel to P0P1, as near to `target` as possible.
    void placeSecondEnd(sf::Vector2f target);
};

class SFPrimitiveParallels : public SFPrimitiveBase {
public:
    SFPrimitiveParallels(float factor, float originX, float originY, const sf::String& unit, float x, float y,
                         float zoom);
    std::string typeName() const override { return "Parallels"; }
    HitInfo hitTest(float x, float y) override;
    void onPress(float x, float y, int tool) override;
    void onMove(float x, float y, int tool, bool buttonDown, HitInfo hit) override;
    void onSecondaryPress(float x, float y, int tool) override;
    void update() override;
    void refreshDecorations() override;
};

class SFPrimitiveConcentrical : public SFPrimitiveBase {
public:
    SFPrimitiveConcentrical(float factor, float originX, float originY, const sf::String& unit, float x, float y,
                            float zoom);
    std::string typeName() const override { return "Concentrical"; }
    HitInfo hitTest(float x, float y) override;
    void onPress(float x, float y, int tool) override;
    void onMove(float x, float y, int tool, bool buttonDown, HitInfo hit) override;
    void update() override;
    void refreshDecorations() override;

protected:
    void rescaleExtents(float factor) override
    {
        radius1 *= factor;
        radius2 *= factor;
    }

private:
    float radius1 = 0;
    float radius2 = 0;
    std::size_t circle1Vertices = 0;
};
