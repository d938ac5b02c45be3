#pragma once
#include "MeasureTypes.h"

#include <SFML/Graphics/Color.hpp>
#include <SFML/Graphics/Font.hpp>
#include <SFML/Graphics/RenderStates.hpp>
#include <SFML/Graphics/RenderTarget.hpp>
#include <SFML/Graphics/Text.hpp>
#include <SFML/Graphics/VertexArray.hpp>
#include <SFML/System/String.hpp>

#include <memory>
#include <string>

class SFPrimitiveContainer;

// What drawing one primitive takes, copied out under the container's lock so
// that the drawing thread draws it without that lock.
struct PrimitiveDrawing {
    sf::VertexArray shape;
    sf::VertexArray dimensions;
    sf::VertexArray handles; // the handle squares; empty unless selected
    sf::Text label;
    // Draws everything; the label is laid out with `font` (the drawing
    // thread's own: the editing thread lays the shared font out meanwhile).
    void draw(sf::RenderTarget& target, const sf::RenderStates& states, const sf::Font* font);
};

// One measurement drawn over the picture. Points are kept in view coordinates
// together with the view transform they are valid under; results are reported
// in image pixels (positions) and calibrated units (lengths, areas).
// Not thread-safe: the owning container calls it under its lock.
class SFPrimitiveBase {
public:
    SFPrimitiveBase(float calibrationFactor, float viewOriginX, float viewOriginY, const sf::String& unitName, float x,
                    float y, float zoom);
    virtual ~SFPrimitiveBase();
    SFPrimitiveBase& operator=(const SFPrimitiveBase&) = delete;

    virtual std::string typeName() const = 0;
    // Decides what lies under the mouse and highlights it.
    virtual HitInfo hitTest(float x, float y) = 0;
    virtual void onPress(float x, float y, int tool);
    virtual void onMove(float x, float y, int tool, bool buttonDown, HitInfo hit);
    virtual void onRelease(float x, float y, int tool);
    virtual void onSecondaryPress(float x, float y, int tool);
    // Recomputes the record, the label and the drawn vertices from the points.
    virtual void update() = 0;
    virtual void refreshDecorations();
    virtual sf::VertexArray shapeVertices() const;

    void setColors(sf::Color lineColor, sf::Color edgeColor, sf::Color dimensionColor, sf::Color textColor);
    MeasureData measureData() const { return data; }
    void setCalibration(float factor, const sf::String& unit);
    void rescale(float newOriginX, float newOriginY, float newZoom);
    sf::VertexArray handleSquares() const;
    // A copy of what drawing it takes: shape, dimension lines, handle
    // squares (when selected) and label.
    PrimitiveDrawing drawing() const;

    bool isFinished() const { return finished; }
    bool isSelected() const { return selected; }
    void setSelected(bool value) { selected = value; }
    std::string labelText() const;
    sf::Vector2f labelPosition() const { return label.getPosition(); }
    sf::FloatRect labelBounds() const { return label.getGlobalBounds(); }
    sf::Color labelColor() const { return label.getFillColor(); }
    const sf::VertexArray& dimensionVertexArray() const { return dimensionVertices; }
    const sf::VertexArray& controlPointArray() const { return controlPoints; }
    const sf::VertexArray& shapeVertexArray() const { return shapeVerts; }
    sf::Color currentLineColor() const { return lineColor; }
    // The calibration line stays red whatever the colour settings say.
    virtual bool keepsOwnColors() const { return false; }

    // printf-style into a 1024-byte buffer (truncated at 1023 characters).
    static std::string formatLabel(const char* format, ...) __attribute__((format(printf, 1, 2)));

protected:
    // Copies are made only whole, through clonePrimitive().
    SFPrimitiveBase(const SFPrimitiveBase&) = default;

    sf::Vector2f toImage(sf::Vector2f view) const;
    float cal(float viewLength) const;
    float cal2(float viewArea) const;
    // "<text> <unit>", e.g. "L: 12.35 mm".
    sf::String withUnit(const std::string& text) const;
    void setLabelText(const sf::String& text);
    void placeLabel(float x, float y) { label.setPosition(x, y); }

    // Hover highlight helpers; restoreColors() undoes what they did.
    void highlightShape();
    void highlightShapeVertex(std::size_t index);
    void highlightShapeRange(std::size_t first, std::size_t count);
    void highlightLabel();
    virtual void restoreColors();
    bool labelHit(sf::Vector2f p) const;

    // Fills a HitInfo for the mouse at (x, y).
    static HitInfo makeHit(float x, float y, int part, int vertexIndex = -1, int subPart = -1);
    static void snap(HitInfo& hit, int slot, sf::Vector2f position);
    static sf::Vector2f snapped(const HitInfo& hit, int slot);
    static sf::Vector2f delta(const HitInfo& hit, float x, float y);
    // A label hit, with the label position in slot 0.
    HitInfo labelHitInfo(float x, float y);
    // A shape vertex in [first, first + count) near (x, y): fills `hit`
    // (vertex snapped into slot 0), highlights it and returns true.
    bool hitShapeVertex(float x, float y, HitInfo& hit, std::size_t first = 0,
                        std::size_t count = static_cast<std::size_t>(-1));
    // A body hit on the segment a-b: both ends in slots 0 and 1, the label
    // in slot 2, the shape highlighted.
    HitInfo segmentBodyHit(float x, float y, sf::Vector2f a, sf::Vector2f b);
    // The label when it is under (x, y), else nothing.
    HitInfo labelOrNothing(float x, float y);
    // The common hit test: a shape vertex, else the label, else nothing.
    HitInfo hitShapeVertexOrLabel(float x, float y, std::size_t first = 0,
                                  std::size_t count = static_cast<std::size_t>(-1));
    // True when the move tool drags this finished primitive.
    bool dragging(int tool, bool buttonDown) const;
    // Moves the label by the drag delta when the label was hit (part 4).
    bool dragLabel(const HitInfo& hit, float x, float y);
    // Radii and other extents kept outside the vertex arrays scale with the zoom.
    virtual void rescaleExtents(float /*factor*/) {}

    static void setPoint(sf::VertexArray& array, std::size_t index, sf::Vector2f position);

    sf::VertexArray dimensionVertices;
    sf::VertexArray controlPoints;
    sf::VertexArray shapeVerts;
    sf::Text label;
    std::shared_ptr<const sf::Font> labelFont;
    bool finished = false;
    sf::Color dimensionColor = sf::Color(255, 0, 0, 255);
    sf::Color lineColor = sf::Color(0, 255, 0, 255);
    sf::Color edgeColor = sf::Color(0, 0, 255, 255);
    sf::Color highlightColor = sf::Color(0, 0, 255, 255);
    sf::Color textColor = sf::Color(0, 255, 0, 255);
    float viewOriginX = 0;
    float viewOriginY = 0;
    float zoom = 1.0f;
    MeasureData data;
    float calibrationFactor = 1.0f;
    sf::String unitName = "px";
    bool selected = false;

private:
    bool shapeHighlighted = false;
    bool labelHighlighted = false;
};

// The label position of a primitive is snapshot slot 0 of a label hit.
constexpr int kLabelSlot = 0;
