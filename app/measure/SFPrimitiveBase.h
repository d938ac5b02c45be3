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
    // What drawing it covers, with a margin for antialiasing; the label is
    // laid out with `font` as draw() does. Empty when nothing is drawn.
    sf::FloatRect bounds(const sf::Font* font);
};

// Where a new primitive starts: the calibration and view transform in force
// and the point of the first press (view coordinates).
struct PrimitiveSetup {
    float calibrationFactor = 1.0f;
    float viewOriginX = 0;
    float viewOriginY = 0;
    sf::String unit = "px";
    float zoom = 1.0f;
    sf::Vector2f at;
};

// One measurement drawn over the picture. Points are kept in view coordinates
// together with the view transform they are valid under; results are reported
// in image pixels (positions) and calibrated units (lengths, areas).
// Not thread-safe: the owning container calls it under its lock.
class SFPrimitiveBase {
public:
    explicit SFPrimitiveBase(const PrimitiveSetup& setup);
    virtual ~SFPrimitiveBase();
    SFPrimitiveBase& operator=(const SFPrimitiveBase&) = delete;

    virtual std::string typeName() const = 0;
    // Decides what lies under the mouse for `tool` and highlights it: a
    // handle, else a part of the body, else the label. The move and delete
    // tools also take the shape by any point of its outline; for the delete
    // tool the whole shape lights up, as the whole of it goes.
    HitInfo hitTest(float x, float y, int tool);
    virtual void onPress(float x, float y, int tool);
    // While it is drawn, the point being placed follows the mouse; once
    // finished, the move tool drags what `hit` found.
    void onMove(float x, float y, int tool, bool buttonDown, const HitInfo& hit);
    // Drops what shows only while the mouse moves a point (a line's ticks).
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
    // The picture under the points is now one `factor` times the size of the
    // same field (a still taken instead of the preview): each point keeps
    // its place on the picture; the next rescale draws it there.
    void scalePicture(float factor)
    {
        if (factor > 0)
            zoom /= factor;
    }
    // The picture under it changed size: its picture coordinates p become
    // p × scale + shift (picture pixels) under the view transform it holds;
    // the label goes along.
    void mapPicture(float scale, sf::Vector2f shift);
    // A square around each handle.
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
    // Takes back what a hover lit up.
    void clearHighlight() { restoreColors(); }

    // printf-style into a 1024-byte buffer (truncated at 1023 characters).
    static std::string formatLabel(const char* format, ...) __attribute__((format(printf, 1, 2)));

protected:
    // Copies are made only whole, through clonePrimitive().
    SFPrimitiveBase(const SFPrimitiveBase&) = default;

    sf::Vector2f toImage(sf::Vector2f view) const;
    float cal(float viewLength) const;
    float cal2(float viewArea) const;
    // The outline starts as `points` vertices at the first press.
    void startShape(sf::PrimitiveType type, std::size_t points, sf::Vector2f at);
    // The handles are control points; `points` of them start at the first press.
    void startControlPoints(std::size_t points, sf::Vector2f at);
    // "<text> <unit>", e.g. "L: 12.35 mm".
    sf::String withUnit(const std::string& text) const;
    void setLabelText(const sf::String& text);
    void placeLabel(float x, float y) { label.setPosition(x, y); }
    // The record and label of a distance from a to b ("D: 12.35 mm").
    void recordDistance(sf::Vector2f a, sf::Vector2f b);

    // The tool that draws this kind.
    virtual int tool() const = 0;
    // While drawn: the point being placed is at `mouse`.
    virtual void follow(sf::Vector2f /*mouse*/) {}
    // Rebuilds what is derived from the points after they moved.
    virtual void reshape() { refreshDecorations(); }

    // Handles: the points the user drags one by one. By default the first
    // `handleLimit` vertices of the shape (or of the control points).
    enum class HandleStore { ShapeVertices, ControlPoints };
    virtual std::size_t handleCount() const;
    virtual sf::Vector2f handlePosition(std::size_t i) const;
    // Puts handle i at `to` together with whatever must follow it.
    virtual void moveHandle(std::size_t i, sf::Vector2f to);
    // Moves handle i and the label by the same step (a centre that carries
    // its label).
    void moveHandleWithLabel(std::size_t i, sf::Vector2f to);
    virtual void highlightHandle(std::size_t i);

    // The body: the parts of the outline that drag more than one handle.
    // kWholeShape moves everything, label included; another part moves its
    // run of handles (and the label when it carries it).
    static constexpr int kWholeShape = 1000;
    struct BodyPart {
        std::size_t firstHandle = 0;
        std::size_t handles = 0;
        bool carriesLabel = false;
    };
    // The part under p that every tool takes, or -1 (none by default).
    virtual int bodyPartAt(sf::Vector2f /*p*/) const { return -1; }
    virtual BodyPart bodyPart(int part) const;
    virtual void highlightBody(int /*part*/) { highlightShape(); }
    // Moves the part so that its anchor (slot 0) follows the mouse.
    virtual void dragBody(const HitInfo& hit, sf::Vector2f mouse);
    bool onOutline(sf::Vector2f p) const;
    HitInfo hitPart(float x, float y, bool byOutline);
    void translate(sf::Vector2f step);

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
    // True when the move tool drags this finished primitive.
    bool dragging(int tool, bool buttonDown) const;
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
    HandleStore handleStore = HandleStore::ShapeVertices;
    std::size_t handleLimit = static_cast<std::size_t>(-1);
    // A dragged handle jumps to the mouse instead of keeping its offset.
    bool handlesAtMouse = false;
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
