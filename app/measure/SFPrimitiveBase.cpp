#include "SFPrimitiveBase.h"

#include "Geometry.h"
#include "LabelFont.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <iterator>

SFPrimitiveBase::SFPrimitiveBase(const PrimitiveSetup& setup)
    : controlPoints(sf::Points), labelFont(measure::labelFont())
{
    if (labelFont) {
        label.setFont(*labelFont);
        label.setCharacterSize(14);
        label.setFillColor(textColor);
        label.setStyle(sf::Text::Underlined);
    }
    viewOriginX = setup.viewOriginX;
    viewOriginY = setup.viewOriginY;
    zoom = setup.zoom;
    calibrationFactor = setup.calibrationFactor;
    unitName = setup.unit;
    dimensionVertices.setPrimitiveType(sf::Lines);
    placeLabel(setup.at.x, setup.at.y + 5);
}

SFPrimitiveBase::~SFPrimitiveBase() = default;

void SFPrimitiveBase::onPress(float, float, int) {}
void SFPrimitiveBase::onRelease(float, float, int) { refreshDecorations(); }
void SFPrimitiveBase::onSecondaryPress(float, float, int) {}
void SFPrimitiveBase::refreshDecorations() {}

sf::VertexArray SFPrimitiveBase::shapeVertices() const { return shapeVerts; }

void SFPrimitiveBase::startShape(sf::PrimitiveType type, std::size_t points, sf::Vector2f at)
{
    shapeVerts.setPrimitiveType(type);
    for (std::size_t i = 0; i < points; ++i)
        shapeVerts.append(sf::Vertex(at, lineColor));
}

void SFPrimitiveBase::startControlPoints(std::size_t points, sf::Vector2f at)
{
    handleStore = HandleStore::ControlPoints;
    for (std::size_t i = 0; i < points; ++i)
        controlPoints.append(sf::Vertex(at, lineColor));
}

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

void SFPrimitiveBase::mapPicture(float scale, sf::Vector2f shift)
{
    const sf::Vector2f origin(viewOriginX, viewOriginY);
    auto map = [&](sf::Vector2f v) { return (v - origin) * scale + origin + shift * zoom; };
    for (sf::VertexArray* array : {&dimensionVertices, &controlPoints, &shapeVerts})
        for (std::size_t i = 0; i < array->getVertexCount(); ++i)
            (*array)[i].position = map((*array)[i].position);
    label.setPosition(map(label.getPosition()));
    rescaleExtents(scale);
    update();
}

sf::VertexArray SFPrimitiveBase::handleSquares() const
{
    sf::VertexArray squares(sf::LineStrip);
    const std::size_t count = handleCount();
    for (std::size_t i = 0; i < count; ++i) {
        const sf::Vector2f p = handlePosition(i);
        const sf::Vector2f corners[5] = {
            {p.x - 5, p.y - 5}, {p.x + 5, p.y - 5}, {p.x + 5, p.y + 5}, {p.x - 5, p.y + 5}, {p.x - 5, p.y - 5}};
        if (i > 0) // hide the stroke that joins two squares
            squares.append(sf::Vertex(corners[0], sf::Color::Transparent));
        for (const sf::Vector2f& corner : corners)
            squares.append(sf::Vertex(corner, edgeColor));
        if (i + 1 < count)
            squares.append(sf::Vertex(corners[4], sf::Color::Transparent));
    }
    return squares;
}

PrimitiveDrawing SFPrimitiveBase::drawing() const
{
    PrimitiveDrawing copy{shapeVerts, dimensionVertices, sf::VertexArray(), label};
    if (selected && handleCount() > 0)
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

sf::FloatRect PrimitiveDrawing::bounds(const sf::Font* font)
{
    float left = 0, top = 0, right = 0, bottom = 0;
    bool any = false;
    auto add = [&](const sf::FloatRect& r) {
        left = any ? std::min(left, r.left) : r.left;
        top = any ? std::min(top, r.top) : r.top;
        right = any ? std::max(right, r.left + r.width) : r.left + r.width;
        bottom = any ? std::max(bottom, r.top + r.height) : r.top + r.height;
        any = true;
    };
    for (const sf::VertexArray* array : {&shape, &dimensions, &handles})
        if (array->getVertexCount() > 0)
            add(array->getBounds());
    if (font && !label.getString().isEmpty()) {
        if (label.getFont() != font)
            label.setFont(*font);
        add(label.getGlobalBounds());
    }
    if (!any)
        return {};
    // Lines and glyph edges reach into the pixels around their geometry.
    constexpr float margin = 2;
    return {left - margin, top - margin, right - left + 2 * margin, bottom - top + 2 * margin};
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

void SFPrimitiveBase::recordDistance(sf::Vector2f a, sf::Vector2f b)
{
    const float distance = cal(measure::dist(a, b));
    const sf::Vector2f start = toImage(a), end = toImage(b);
    data.startX = start.x;
    data.startY = start.y;
    data.endX = end.x;
    data.endY = end.y;
    data.lengths = {distance};
    data.distances = {distance};
    setLabelText(withUnit(formatLabel("D: %.2f", distance)));
}

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

bool SFPrimitiveBase::labelHit(sf::Vector2f p) const
{
    return !label.getString().isEmpty() && measure::inRect(p, label.getGlobalBounds());
}

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

// ---------------------------------------------------------------- Handles and body

std::size_t SFPrimitiveBase::handleCount() const
{
    const sf::VertexArray& store = handleStore == HandleStore::ShapeVertices ? shapeVerts : controlPoints;
    return std::min(store.getVertexCount(), handleLimit);
}

sf::Vector2f SFPrimitiveBase::handlePosition(std::size_t i) const
{
    return (handleStore == HandleStore::ShapeVertices ? shapeVerts : controlPoints)[i].position;
}

void SFPrimitiveBase::moveHandle(std::size_t i, sf::Vector2f to)
{
    setPoint(handleStore == HandleStore::ShapeVertices ? shapeVerts : controlPoints, i, to);
}

void SFPrimitiveBase::moveHandleWithLabel(std::size_t i, sf::Vector2f to)
{
    label.move(to - handlePosition(i));
    SFPrimitiveBase::moveHandle(i, to);
}

void SFPrimitiveBase::highlightHandle(std::size_t i)
{
    // Control points are drawn as squares only; a shape vertex lights up.
    if (handleStore == HandleStore::ShapeVertices)
        highlightShapeVertex(i);
}

bool SFPrimitiveBase::onOutline(sf::Vector2f p) const
{
    const std::size_t count = shapeVerts.getVertexCount();
    if (count < 2)
        return false;
    // Most primitives are far from the mouse: their bounds say so at once.
    sf::FloatRect bounds = shapeVerts.getBounds();
    bounds.left -= measure::kHitTolerance;
    bounds.top -= measure::kHitTolerance;
    bounds.width += 2 * measure::kHitTolerance;
    bounds.height += 2 * measure::kHitTolerance;
    if (!bounds.contains(p))
        return false;
    const std::size_t step = shapeVerts.getPrimitiveType() == sf::Lines ? 2 : 1;
    for (std::size_t i = 0; i + 1 < count; i += step) {
        // Transparent joins between separate outlines are not part of it.
        if (shapeVerts[i].color.a == 0 || shapeVerts[i + 1].color.a == 0)
            continue;
        if (measure::onSegment(p, shapeVerts[i].position, shapeVerts[i + 1].position))
            return true;
    }
    return false;
}

SFPrimitiveBase::BodyPart SFPrimitiveBase::bodyPart(int) const { return {}; }

void SFPrimitiveBase::translate(sf::Vector2f step)
{
    for (sf::VertexArray* array : {&dimensionVertices, &controlPoints, &shapeVerts})
        for (std::size_t i = 0; i < array->getVertexCount(); ++i)
            (*array)[i].position += step;
    label.move(step);
}

void SFPrimitiveBase::dragBody(const HitInfo& hit, sf::Vector2f mouse)
{
    const sf::Vector2f target = snapped(hit, 0) + delta(hit, mouse.x, mouse.y);
    if (hit.subPart == kWholeShape) {
        translate(target - label.getPosition());
        return;
    }
    const BodyPart part = bodyPart(hit.subPart);
    if (part.handles == 0)
        return;
    const sf::Vector2f step = target - handlePosition(part.firstHandle);
    for (std::size_t i = part.firstHandle; i < part.firstHandle + part.handles; ++i)
        moveHandle(i, handlePosition(i) + step);
    if (part.carriesLabel)
        label.move(step);
}

HitInfo SFPrimitiveBase::hitTest(float x, float y, int tool)
{
    HitInfo hit = hitPart(x, y, tool == ToolMove || tool == ToolDelete);
    if (tool == ToolDelete && hit.part != HitNothing) {
        highlightShape();
        highlightLabel();
    }
    return hit;
}

HitInfo SFPrimitiveBase::hitPart(float x, float y, bool byOutline)
{
    restoreColors();
    const sf::Vector2f p(x, y);
    const std::size_t handles = handleCount();
    for (std::size_t i = 0; i < handles; ++i) {
        if (measure::nearPoint(p, handlePosition(i))) {
            HitInfo hit = makeHit(x, y, HitVertex, static_cast<int>(i));
            snap(hit, 0, handlePosition(i));
            highlightHandle(i);
            return hit;
        }
    }
    int part = bodyPartAt(p);
    if (part < 0 && byOutline && onOutline(p))
        part = kWholeShape;
    if (part >= 0) {
        HitInfo hit = makeHit(x, y, HitBody, -1, part);
        const BodyPart moved = part == kWholeShape ? BodyPart() : bodyPart(part);
        snap(hit, 0, moved.handles > 0 ? handlePosition(moved.firstHandle) : label.getPosition());
        highlightBody(part);
        return hit;
    }
    if (labelHit(p)) {
        HitInfo hit = makeHit(x, y, HitLabel);
        snap(hit, kLabelSlot, label.getPosition());
        highlightLabel();
        return hit;
    }
    return makeHit(x, y, HitNothing);
}

void SFPrimitiveBase::onMove(float x, float y, int activeTool, bool buttonDown, const HitInfo& hit)
{
    if (!finished) {
        if (activeTool != tool())
            return;
        follow({x, y});
    } else if (dragging(activeTool, buttonDown)) {
        const sf::Vector2f mouse(x, y);
        switch (hit.part) {
        case HitVertex:
            moveHandle(static_cast<std::size_t>(hit.vertexIndex),
                       handlesAtMouse ? mouse : snapped(hit, 0) + delta(hit, x, y));
            break;
        case HitBody: dragBody(hit, mouse); break;
        case HitLabel: label.setPosition(snapped(hit, kLabelSlot) + delta(hit, x, y)); break;
        default: return;
        }
    } else {
        return;
    }
    reshape();
    update();
}

bool SFPrimitiveBase::dragging(int tool, bool buttonDown) const { return finished && buttonDown && tool == ToolMove; }

void SFPrimitiveBase::setPoint(sf::VertexArray& array, std::size_t index, sf::Vector2f position)
{
    if (index < array.getVertexCount())
        array[index].position = position;
}
