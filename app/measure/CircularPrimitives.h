#pragma once
#include "Geometry.h"
#include "SFPrimitiveBase.h"

#include <optional>

// Circles (centre and radius, diameter, three points), the arc through three
// points, the angle and the text marker.

class SFPrimitiveCircle : public SFPrimitiveBase {
public:
    explicit SFPrimitiveCircle(const PrimitiveSetup& setup);
    std::string typeName() const override { return "Circle"; }
    void onPress(float x, float y, int tool) override;
    void update() override;
    void refreshDecorations() override;

protected:
    int tool() const override { return ToolCircle; }
    void follow(sf::Vector2f mouse) override { radiusPixels = measure::dist(shapeVerts[0].position, mouse); }
    // The centre carries the label; the rim sets the radius.
    void moveHandle(std::size_t i, sf::Vector2f to) override { moveHandleWithLabel(i, to); }
    int bodyPartAt(sf::Vector2f p) const override;
    void dragBody(const HitInfo&, sf::Vector2f mouse) override { follow(mouse); }
    void rescaleExtents(float factor) override { radiusPixels *= factor; }

private:
    float radiusPixels = 0;
};

class SFPrimitiveCircle2 : public SFPrimitiveBase {
public:
    explicit SFPrimitiveCircle2(const PrimitiveSetup& setup);
    std::string typeName() const override { return "Two Points Circle"; }
    void onPress(float x, float y, int tool) override;
    void update() override;
    void refreshDecorations() override;

protected:
    int tool() const override { return ToolCircle2; }
    void follow(sf::Vector2f mouse) override { shapeVerts[1].position = mouse; }
};

// Shared placement of the shapes defined by three points on a circle: the
// first press places P0, the second P1, the third fixes P2 where the rubber
// band left it. The defining points are the first vertices of the strip.
class SFPrimitiveThreePoints : public SFPrimitiveBase {
public:
    SFPrimitiveThreePoints(const PrimitiveSetup& setup, int ownTool);
    void onPress(float x, float y, int tool) override;

protected:
    int tool() const override { return ownTool; }
    void follow(sf::Vector2f mouse) override { shapeVerts[points - 1].position = mouse; }
    std::size_t handleCount() const override { return points; }
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
    explicit SFPrimitiveCircle3(const PrimitiveSetup& setup);
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
    explicit SFPrimitiveArc(const PrimitiveSetup& setup);
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
    explicit SFPrimitiveAngle(const PrimitiveSetup& setup);
    std::string typeName() const override { return "Angle"; }
    void onPress(float x, float y, int tool) override;
    void update() override;

protected:
    int tool() const override { return ToolAngle; }
    void follow(sf::Vector2f mouse) override { shapeVerts[shapeVerts.getVertexCount() - 1].position = mouse; }
};

class SFPrimitiveText : public SFPrimitiveBase {
public:
    explicit SFPrimitiveText(const PrimitiveSetup& setup);
    std::string typeName() const override { return "Text"; }
    // The text the user typed for the marker.
    void setText(const sf::String& text) { setLabelText(text); }
    void onPress(float x, float y, int tool) override;
    void update() override;

protected:
    int tool() const override { return ToolText; }
    void follow(sf::Vector2f mouse) override { shapeVerts[1].position = mouse; }
    int bodyPartAt(sf::Vector2f p) const override;
    BodyPart bodyPart(int) const override { return {0, 2, true}; }
};
