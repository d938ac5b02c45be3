#pragma once
#include "SFPrimitiveBase.h"

// The straight-edged shapes: point, line, line distance, broken line,
// rectangle, polygon and the calibration line of calibration mode.

class SFPrimitivePoint : public SFPrimitiveBase {
public:
    SFPrimitivePoint(float factor, float originX, float originY, const sf::String& unit, float x, float y, float zoom);
    std::string typeName() const override { return "Point"; }
    HitInfo hitTest(float x, float y) override;
    void onPress(float x, float y, int tool) override;
    void onMove(float x, float y, int tool, bool buttonDown, HitInfo hit) override;
    void update() override;
    void refreshDecorations() override;
};

class SFPrimitiveLine : public SFPrimitiveBase {
public:
    SFPrimitiveLine(float factor, float originX, float originY, const sf::String& unit, float x, float y, float zoom);
    std::string typeName() const override { return "Line"; }
    HitInfo hitTest(float x, float y) override;
    void onPress(float x, float y, int tool) override;
    void onMove(float x, float y, int tool, bool buttonDown, HitInfo hit) override;
    void onRelease(float x, float y, int tool) override;
    void update() override;
    void refreshDecorations() override;

private:
    void buildWithTicks();
};

class SFPrimitiveLineDistance : public SFPrimitiveBase {
public:
    SFPrimitiveLineDistance(float factor, float originX, float originY, const sf::String& unit, float x, float y,
                            float zoom);
    std::string typeName() const override { return "LineDistance"; }
    HitInfo hitTest(float x, float y) override;
    void onPress(float x, float y, int tool) override;
    void onMove(float x, float y, int tool, bool buttonDown, HitInfo hit) override;
    void onRelease(float x, float y, int tool) override;
    void update() override;
    void refreshDecorations() override;

private:
    void buildGeometry(bool withTicks);
};

class SFPrimitiveBrokenLine : public SFPrimitiveBase {
public:
    SFPrimitiveBrokenLine(float factor, float originX, float originY, const sf::String& unit, float x, float y,
                          float zoom);
    std::string typeName() const override { return "Broken Line"; }
    HitInfo hitTest(float x, float y) override;
    void onPress(float x, float y, int tool) override;
    void onMove(float x, float y, int tool, bool buttonDown, HitInfo hit) override;
    void onSecondaryPress(float x, float y, int tool) override;
    void update() override;
};

class SFPrimitiveRectangle : public SFPrimitiveBase {
public:
    SFPrimitiveRectangle(float factor, float originX, float originY, const sf::String& unit, float x, float y,
                         float zoom);
    std::string typeName() const override { return "Rectangle"; }
    HitInfo hitTest(float x, float y) override;
    void onPress(float x, float y, int tool) override;
    void onMove(float x, float y, int tool, bool buttonDown, HitInfo hit) override;
    void update() override;

private:
    void setSecondCorner(sf::Vector2f corner);
    void moveCorner(int index, sf::Vector2f position);
};

class SFPrimitivePolygon : public SFPrimitiveBase {
public:
    SFPrimitivePolygon(float factor, float originX, float originY, const sf::String& unit, float x, float y,
                       float zoom);
    std::string typeName() const override { return "Polygon"; }
    HitInfo hitTest(float x, float y) override;
    void onPress(float x, float y, int tool) override;
    void onMove(float x, float y, int tool, bool buttonDown, HitInfo hit) override;
    void onSecondaryPress(float x, float y, int tool) override;
    void update() override;
};

class SFPrimitiveCalibration : public SFPrimitiveBase {
public:
    SFPrimitiveCalibration(float factor, float originX, float originY, const sf::String& unit, float x, float y,
                           float zoom);
    std::string typeName() const override { return "Calibration"; }
    HitInfo hitTest(float x, float y) override;
    void onMove(float x, float y, int tool, bool buttonDown, HitInfo hit) override;
    void update() override;
    bool keepsOwnColors() const override { return true; }

protected:
    void restoreColors() override;

private:
    void buildLine(sf::Vector2f p0, sf::Vector2f p1);
};
