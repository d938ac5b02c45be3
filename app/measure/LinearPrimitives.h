#pragma once
#include "SFPrimitiveBase.h"

// The straight-edged shapes: point, line, line distance, broken line,
// rectangle, polygon and the calibration line of calibration mode.

class SFPrimitivePoint : public SFPrimitiveBase {
public:
    explicit SFPrimitivePoint(const PrimitiveSetup& setup);
    std::string typeName() const override { return "Point"; }
    void onPress(float x, float y, int tool) override;
    void update() override;
    void refreshDecorations() override;

protected:
    int tool() const override { return ToolPoint; }
    void moveHandle(std::size_t i, sf::Vector2f to) override { moveHandleWithLabel(i, to); }
    void highlightHandle(std::size_t) override { highlightShape(); }
};

class SFPrimitiveLine : public SFPrimitiveBase {
public:
    explicit SFPrimitiveLine(const PrimitiveSetup& setup);
    std::string typeName() const override { return "Line"; }
    void onPress(float x, float y, int tool) override;
    void update() override;
    void refreshDecorations() override;

protected:
    int tool() const override { return ToolLine; }
    void follow(sf::Vector2f mouse) override { setPoint(controlPoints, 1, mouse); }
    void reshape() override;
    int bodyPartAt(sf::Vector2f p) const override;
    BodyPart bodyPart(int) const override { return {0, 2, true}; }
};

class SFPrimitiveLineDistance : public SFPrimitiveBase {
public:
    explicit SFPrimitiveLineDistance(const PrimitiveSetup& setup);
    std::string typeName() const override { return "LineDistance"; }
    void onPress(float x, float y, int tool) override;
    void update() override;
    void refreshDecorations() override;

protected:
    int tool() const override { return ToolLineDistance; }
    void follow(sf::Vector2f mouse) override;
    void reshape() override { buildGeometry(true); }
    int bodyPartAt(sf::Vector2f p) const override;
    BodyPart bodyPart(int segment) const override { return {std::size_t(segment) * 2, 2, true}; }

private:
    void buildGeometry(bool withTicks);
};

class SFPrimitiveBrokenLine : public SFPrimitiveBase {
public:
    explicit SFPrimitiveBrokenLine(const PrimitiveSetup& setup);
    std::string typeName() const override { return "Broken Line"; }
    void onPress(float x, float y, int tool) override;
    void onSecondaryPress(float x, float y, int tool) override;
    void update() override;

protected:
    int tool() const override { return ToolBrokenLine; }
    void follow(sf::Vector2f mouse) override { setPoint(shapeVerts, shapeVerts.getVertexCount() - 1, mouse); }
};

class SFPrimitiveRectangle : public SFPrimitiveBase {
public:
    explicit SFPrimitiveRectangle(const PrimitiveSetup& setup);
    std::string typeName() const override { return "Rectangle"; }
    void onPress(float x, float y, int tool) override;
    void update() override;

protected:
    int tool() const override { return ToolRect; }
    void follow(sf::Vector2f mouse) override { setSecondCorner(mouse); }
    // Each corner shares one coordinate with each neighbour; corner 0 and
    // the closing vertex 4 are the same point.
    void moveHandle(std::size_t corner, sf::Vector2f to) override;

private:
    void setSecondCorner(sf::Vector2f corner);
};

class SFPrimitivePolygon : public SFPrimitiveBase {
public:
    explicit SFPrimitivePolygon(const PrimitiveSetup& setup);
    std::string typeName() const override { return "Polygon"; }
    void onPress(float x, float y, int tool) override;
    void onSecondaryPress(float x, float y, int tool) override;
    void update() override;

protected:
    int tool() const override { return ToolPolygon; }
    void follow(sf::Vector2f mouse) override;
    // The first and the closing vertex move together.
    void moveHandle(std::size_t i, sf::Vector2f to) override;
};

class SFPrimitiveCalibration : public SFPrimitiveBase {
public:
    explicit SFPrimitiveCalibration(const PrimitiveSetup& setup);
    std::string typeName() const override { return "Calibration"; }
    void update() override;
    bool keepsOwnColors() const override { return true; }

protected:
    int tool() const override { return ToolCalibration; }
    void reshape() override { buildLine(shapeVerts[0].position, shapeVerts[1].position); }
    int bodyPartAt(sf::Vector2f p) const override;
    BodyPart bodyPart(int) const override { return {0, 2, true}; }
    void restoreColors() override;

private:
    void buildLine(sf::Vector2f p0, sf::Vector2f p1);
};
