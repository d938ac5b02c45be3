#include "SFPrimitiveBase.h"

#include "Geometry.h"
#include "LabelFont.h"

#include <cstdarg>
#include <cstdio>
#include <iterator>

SFPrimitiveBase::SFPrimitiveBase(float factor, float originX, float originY, const sf::String& unit, float /*x*/,
                                 float /*y*/, float viewZoom)
    : controlPoints(sf::Points), labelFont(measure::labelFont())
{
    if (labelFont) {
        label.setFont(*labelFont);
        label.setCharacterSize(14);
        label.setFillColor(textColor);
        label.setStyle(sf::Text::Underlined);
    }
    viewOriginX = originX;
    viewOriginY = originY;
    zoom = viewZoom;
    calibrationFactor = factor;
    unitName = unit;
    dimensionVertices.setPrimitiveType(sf::Lines);
}

SFPrimitiveBase::~SFPrimitiveBase() = default;

void SFPrimitiveBase::onPress(float, float, int) {}
void SFPrimitiveBase::onMove(float, float, int, bool, HitInfo) {}
void SFPrimitiveBase::onRelease(float, float, int) {}
void SFPrimitiveBase::onSecondaryPress(float, float, int) {}
void SFPrimitiveBase::refreshDecorations() {}

sf::VertexArray SFPrimitiveBase::shapeVertices() const { return shapeVerts; }

void SFPrimitiveBase::setColors(sf::Color line, sf::Color edge, sf::Color dimension, sf::Color text)
{
    lineColor = line;
    edgeColor = edge;
    dimensionColor = dimension;
    textColor = text;
    for (std::size_t i = 0; i < shapeVerts.getVertexCount(); ++i)
        shapeVerts[i].color = lineColor;
    for (std::size_t i = 0; i < dimensionVertices.getVertexCount(); ++i)
        dimensionVertices[i].color = dimensionColor;
    label.setFillColor(textColor);
}

void SFPrimitiveBase::setCalibration(float factor, const sf::String& unit)
{
    calibrationFactor = factor;
    unitName = unit;
    update();
}

void SFPrimitiveBase::rescale(float newOriginX, float newOriginY, float newZoom)
{
    if (zoom == 0.0f)
        return;
    const float f = newZoom / zoom;
    auto map = [&](sf::Vector2f v) {
        return sf::Vector2f((v.x - viewOriginX) * f + newOriginX, (v.y - viewOriginY) * f + newOriginY);
    };
    for (sf::VertexArray* array : {&dimensionVertices, &controlPoints, &shapeVerts})
        for (std::size_t i = 0; i < array->getVertexCount(); ++i)
            (*array)[i].position = map((*array)[i].position);
    label.setPosition(map(label.getPosition()));
    rescaleExtents(f);
    viewOriginX = newOriginX;
    viewOriginY = newOriginY;
    zoom = newZoom;
    update();
}

sf::VertexArray SFPrimitiveBase::handleSquares() const
{
    sf::VertexArray squares(sf::LineStrip);
    for (std::size_t i = 0; i < controlPoints.getVertexCount(); ++i) {
        const sf::Vector2f p = controlPoints[i].position;
        const sf::Vector2f corners[5] = {
            {p.x - 5, p.y - 5}, {p.x + 5, p.y - 5}, {p.x + 5, p.y + 5}, {p.x - 5, p.y + 5}, {p.x - 5, p.y - 5}};
        if (i > 0) // hide the stroke that joins two squares
            squares.append(sf::Vertex(corners[0], sf::Color::Transparent));
        for (const sf::Vector2f& corner : corners)
            squares.append(sf::Vertex(corner, edgeColor));
        if (i + 1 < controlPoints.getVertexCount())
            squares.append(sf::Vertex(corners[4], sf::Color::Transparent));
    }
    return squares;
}

PrimitiveDrawing SFPrimitiveBase::drawing() const
{
    PrimitiveDrawing copy{shapeVerts, dimensionVertices, sf::VertexArray(), label};
    if (selected && controlPoints.getVertexCount() > 0)
        copy.handles = handleSquares();
    return copy;
}

void PrimitiveDrawing::draw(sf::RenderTarget& target, const sf::RenderStates& states, const sf::Font* font)
{
    target.draw(shape, states);
    target.draw(dimensions, states);
    if (handles.getVertexCount() > 0)
        target.draw(handles, states);
    if (!font || label.getString().isEmpty())
        return;
    if (label.getFont() != font)
        label.setFont(*font);
    target.draw(label, states);
}

std::string SFPrimitiveBase::labelText() const
{
    std::string text;
    const sf::String& string = label.getString();
    sf::Utf32::toUtf8(string.begin(), string.end(), std::back_inserter(text));
    return text;
}

std::string SFPrimitiveBase::formatLabel(const char* format, ...)
{
    char buffer[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

sf::Vector2f SFPrimitiveBase::toImage(sf::Vector2f view) const
{
    return {(view.x - viewOriginX) / zoom, (view.y - viewOriginY) / zoom};
}

float SFPrimitiveBase::cal(float viewLength) const { return viewLength / zoom * calibrationFactor; }

float SFPrimitiveBase::cal2(float viewArea) const
{
    return viewArea / zoom / zoom * calibrationFactor * calibrationFactor;
}

sf::String SFPrimitiveBase::withUnit(const std::string& text) const { return sf::String(text) + " " + unitName; }

void SFPrimitiveBase::setLabelText(const sf::String& text) { label.setString(text); }

void SFPrimitiveBase::highlightShape() { highlightShapeRange(0, shapeVerts.getVertexCount()); }

void SFPrimitiveBase::highlightShapeVertex(std::size_t index) { highlightShapeRange(index, 1); }

void SFPrimitiveBase::highlightShapeRange(std::size_t first, std::size_t count)
{
    for (std::size_t i = first; i < first + count && i < shapeVerts.getVertexCount(); ++i)
        shapeVerts[i].color = highlightColor;
    shapeHighlighted = true;
}

void SFPrimitiveBase::highlightLabel()
{
    label.setFillColor(highlightColor);
    labelHighlighted = true;
}

void SFPrimitiveBase::restoreColors()
{
    if (shapeHighlighted) {
        // Transparent joins between separate outlines stay invisible.
        for (std::size_t i = 0; i < shapeVerts.getVertexCount(); ++i)
            if (shapeVerts[i].color.a != 0)
                shapeVerts[i].color = lineColor;
        shapeHighlighted = false;
    }
    if (labelHighlighted) {
        label.setFillColor(textColor);
        labelHighlighted = false;
    }
}

bool SFPrimitiveBase::labelHit(sf::Vector2f p) const { return measure::inRect(p, label.getGlobalBounds()); }

HitInfo SFPrimitiveBase::makeHit(float x, float y, int part, int vertexIndex, int subPart)
{
    HitInfo hit;
    hit.part = part;
    hit.vertexIndex = vertexIndex;
    hit.subPart = subPart;
    hit.mouseX = x;
    hit.mouseY = y;
    return hit;
}

void SFPrimitiveBase::snap(HitInfo& hit, int slot, sf::Vector2f position)
{
    if (slot < 0 || slot >= 10)
        return;
    hit.snapshot[slot * 2] = position.x;
    hit.snapshot[slot * 2 + 1] = position.y;
}

sf::Vector2f SFPrimitiveBase::snapped(const HitInfo& hit, int slot)
{
    if (slot < 0 || slot >= 10)
        return {};
    return {hit.snapshot[slot * 2], hit.snapshot[slot * 2 + 1]};
}

sf::Vector2f SFPrimitiveBase::delta(const HitInfo& hit, float x, float y) { return {x - hit.mouseX, y - hit.mouseY}; }

HitInfo SFPrimitiveBase::labelHitInfo(float x, float y)
{
    HitInfo hit = makeHit(x, y, HitLabel);
    snap(hit, kLabelSlot, label.getPosition());
    highlightLabel();
    return hit;
}

bool SFPrimitiveBase::hitShapeVertex(float x, float y, HitInfo& hit, std::size_t first, std::size_t count)
{
    const int vertex = measure::findNearVertex(shapeVerts, sf::Vector2f(x, y), first, count);
    if (vertex < 0)
        return false;
    hit = makeHit(x, y, HitVertex, vertex);
    snap(hit, 0, shapeVerts[vertex].position);
    highlightShapeVertex(vertex);
    return true;
}

HitInfo SFPrimitiveBase::segmentBodyHit(float x, float y, sf::Vector2f a, sf::Vector2f b)
{
    HitInfo hit = makeHit(x, y, HitBody);
    snap(hit, 0, a);
    snap(hit, 1, b);
    snap(hit, 2, label.getPosition());
    highlightShape();
    return hit;
}

HitInfo SFPrimitiveBase::labelOrNothing(float x, float y)
{
    if (labelHit(sf::Vector2f(x, y)))
        return labelHitInfo(x, y);
    return makeHit(x, y, HitNothing);
}

HitInfo SFPrimitiveBase::hitShapeVertexOrLabel(float x, float y, std::size_t first, std::size_t count)
{
    if (HitInfo hit; hitShapeVertex(x, y, hit, first, count))
        return hit;
    return labelOrNothing(x, y);
}

bool SFPrimitiveBase::dragging(int tool, bool buttonDown) const { return finished && buttonDown && tool == ToolMove; }

void SFPrimitiveBase::setPoint(sf::VertexArray& array, std::size_t index, sf::Vector2f position)
{
    if (index < array.getVertexCount())
        array[index].position = position;
}

bool SFPrimitiveBase::dragLabel(const HitInfo& hit, float x, float y)
{
    if (hit.part != HitLabel)
        return false;
    label.setPosition(snapped(hit, kLabelSlot) + delta(hit, x, y));
    return true;
}
