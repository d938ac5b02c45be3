#pragma once
#include "Geometry.h"
#include "SFPrimitiveBase.h"

#include <optional>

// Shapes that construct auxiliary geometry from the placed points:
// perpendicular, crosshairs, parallel lines, parallel stripes and concentric
// circles. The circle pairs live in CirclePairPrimitives.h.

class SFPrimitivePerpendicular : public SFPrimitiveBase {
public:
    explicit SFPrimitivePerpendicular(const PrimitiveSetup& setup);
    std::string typeName() const override { return "Perpendicular Line"; }
    void onPress(float x, float y, int tool) override;
    void update() override;

protected:
    int tool() const override { return ToolPerpendicular; }
    void follow(sf::Vector2f mouse) override;
    void reshape() override { placeFoot(); }

private:
    void placeFoot();
};

class SFPrimitiveCrosshair : public SFPrimitiveBase {
public:
    explicit SFPrimitiveCrosshair(const PrimitiveSetup& setup);
    std::string typeName() const override { return "Crosshair"; }
    void onPress(float x, float y, int tool) override;
    void update() override;

protected:
    int tool() const override { return ToolCrosshair; }
    void follow(sf::Vector2f mouse) override;
    int bodyPartAt(sf::Vector2f p) const override;
    void dragBody(const HitInfo&, sf::Vector2f mouse) override { follow(mouse); }
};

class SFPrimitiveCrosshair2 : public SFPrimitiveBase {
public:
    explicit SFPrimitiveCrosshair2(const PrimitiveSetup& setup);
    std::string typeName() const override { return "Crosshair2"; }
    void onPress(float x, float y, int tool) override;
    void update() override;

protected:
    int tool() const override { return ToolCrosshair2; }
    void follow(sf::Vector2f mouse) override;
    std::size_t handleCount() const override { return shapeVerts.getVertexCount() / 4; }
    sf::Vector2f handlePosition(std::size_t i) const override { return crossing(i); }
    void moveHandle(std::size_t i, sf::Vector2f to) override;
    // A crossing lies on two lines: it lights up the whole shape.
    void highlightHandle(std::size_t) override { highlightShape(); }
    int bodyPartAt(sf::Vector2f p) const override;
    void dragBody(const HitInfo& hit, sf::Vector2f mouse) override;

private:
    sf::Vector2f crossing(std::size_t which) const;
};

class SFPrimitiveParallel : public SFPrimitiveBase {
public:
    explicit SFPrimitiveParallel(const PrimitiveSetup& setup);
    std::string typeName() const override { return "Parallel"; }
    void onPress(float x, float y, int tool) override;
    void update() override;
    void refreshDecorations() override;

protected:
    int tool() const override { return ToolParallel; }
    void follow(sf::Vector2f mouse) override;
    void reshape() override;
    int bodyPartAt(sf::Vector2f p) const override;
    BodyPart bodyPart(int line) const override { return {std::size_t(line) * 2, 2, false}; }
    void highlightBody(int line) override { highlightShapeRange(std::size_t(line) * 2, 2); }

private:
    // P3 on the line through P2 parallel to P0P1, as near to `target` as possible.
    void placeSecondEnd(sf::Vector2f target);
};

class SFPrimitiveParallels : public SFPrimitiveBase {
public:
    explicit SFPrimitiveParallels(const PrimitiveSetup& setup);
    std::string typeName() const override { return "Parallels"; }
    void onPress(float x, float y, int tool) override;
    void onSecondaryPress(float x, float y, int tool) override;
    void update() override;
    void refreshDecorations() override;

protected:
    int tool() const override { return ToolParallels; }
    void follow(sf::Vector2f mouse) override { setPoint(controlPoints, controlPoints.getVertexCount() - 1, mouse); }
};

class SFPrimitiveConcentrical : public SFPrimitiveBase {
public:
    explicit SFPrimitiveConcentrical(const PrimitiveSetup& setup);
    std::string typeName() const override { return "Concentrical"; }
    void onPress(float x, float y, int tool) override;
    void update() override;
    void refreshDecorations() override;

protected:
    int tool() const override { return ToolConcentrical; }
    void follow(sf::Vector2f mouse) override;
    // The centre carries the label; a rim sets its radius.
    void moveHandle(std::size_t i, sf::Vector2f to) override { moveHandleWithLabel(i, to); }
    int bodyPartAt(sf::Vector2f p) const override;
    void highlightBody(int rim) override;
    void dragBody(const HitInfo& hit, sf::Vector2f mouse) override;
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
