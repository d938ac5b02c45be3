#include "SFPrimitiveContainer.h"

#include "CircularPrimitives.h"
#include "LabelFont.h"
#include "MeasureCsv.h"
#include "PrimitiveFactory.h"

#include <SFML/Graphics/RenderTarget.hpp>
#include <SFML/Graphics/Sprite.hpp>
#include <SFML/Window/Context.hpp>
#include <SFML/Window/Window.hpp>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <mutex>
#include <new>

namespace {

bool samePositions(const sf::VertexArray& a, const sf::VertexArray& b)
{
    if (a.getVertexCount() != b.getVertexCount())
        return false;
    for (std::size_t i = 0; i < a.getVertexCount(); ++i)
        if (a[i].position != b[i].position)
            return false;
    return true;
}

// Whether a drag left a primitive where it was.
bool samePlace(const SFPrimitiveBase& a, const SFPrimitiveBase& b)
{
    return a.labelPosition() == b.labelPosition() && samePositions(a.shapeVertexArray(), b.shapeVertexArray()) &&
           samePositions(a.controlPointArray(), b.controlPointArray());
}

} // namespace

SFPrimitiveContainer::SFPrimitiveContainer() : lock(std::make_unique<platform::CriticalSection>()) {}

// The main window may already be going away: no message on destruction.
SFPrimitiveContainer::~SFPrimitiveContainer() = default;

SFPrimitiveBase* SFPrimitiveContainer::current() const
{
    if (hit.index < 0 || static_cast<std::size_t>(hit.index) >= primitives.size())
        return nullptr;
    return primitives[static_cast<std::size_t>(hit.index)].get();
}

template <class F> void SFPrimitiveContainer::forEachPrimitive(F&& f)
{
    // Parked measurements follow calibration and view changes too, so they
    // come back from calibration mode exactly as they would have been.
    for (auto* list : {&primitives, &savedPrimitives})
        for (auto& primitive : *list)
            if (primitive)
                f(*primitive);
}

void SFPrimitiveContainer::send(const Messages& messages) const
{
    platform::HWND window;
    {
        std::lock_guard<platform::CriticalSection> guard(*lock);
        window = notifyWindow;
    }
    if (!window)
        return;
    for (const Message& message : messages)
        platform::SendMessage(window, message.id, message.wParam, message.lParam);
}

sf::Vector2f SFPrimitiveContainer::toControl(float x, float y) const
{
    std::lock_guard<platform::CriticalSection> guard(*lock);
    return {x - static_cast<float>(viewRect.left), y - static_cast<float>(viewRect.top)};
}

int SFPrimitiveContainer::onMousePress(float hostX, float hostY)
{
    const ChangeMark mark(*this, false);
    const auto [x, y] = toControl(hostX, hostY);
    buttonDown = true;
    lastMouse = {x, y};
    Messages messages;
    if (hit.index < 0 && tool >= kFirstShapeTool && tool <= kLastShapeTool) {
        if (create(x, y, tool, tool - kFirstShapeTool, messages)) {
            idle = false;
            hit = HitInfo();
            hit.index = count() - 1;
            if (tool != ToolCalibration)
                undoSteps.push_back({UndoStep::Added, hit.index, nullptr});
        }
    } else if (hit.index >= 0) {
        std::lock_guard<platform::CriticalSection> guard(*lock);
        if (tool == ToolDelete) {
            removeLocked(hit.index, messages);
        } else if (SFPrimitiveBase* primitive = current()) {
            if (tool == ToolMove && primitive->isFinished() && !calibrationMode)
                beforeMove = clonePrimitive(*primitive);
            primitive->onPress(x, y, tool);
        }
    }
    {
        std::lock_guard<platform::CriticalSection> guard(*lock);
        for (std::size_t i = 0; i < primitives.size(); ++i)
            if (primitives[i])
                primitives[i]->setSelected(static_cast<int>(i) == hit.index);
    }
    send(messages);
    return hit.index;
}

int SFPrimitiveContainer::onMouseMove(float hostX, float hostY)
{
    // The most frequent event: one turn of the lock, the drawing thread waits
    // for nothing else.
    platform::HWND window = nullptr;
    {
        std::lock_guard<platform::CriticalSection> guard(*lock);
        const sf::Vector2f p(hostX - static_cast<float>(viewRect.left), hostY - static_cast<float>(viewRect.top));
        if (!buttonDown && idle)
            hitTestLocked(p.x, p.y);
        if (hit.index >= 0) {
            rebaseDragLocked();
            if (SFPrimitiveBase* primitive = current())
                primitive->onMove(p.x, p.y, tool, buttonDown, hit);
            window = notifyWindow;
        }
        lastMouse = p;
        publishLocked(false);
    }
    if (window)
        platform::SendMessage(window, WM_MEASURE_CHANGED, static_cast<platform::WPARAM>(hit.index),
                              calibrationMode ? 1 : 0);
    return hit.index;
}

int SFPrimitiveContainer::onMouseRelease(float hostX, float hostY)
{
    const ChangeMark mark(*this, false);
    const auto [x, y] = toControl(hostX, hostY);
    buttonDown = false;
    bool textPlaced = false;
    if (hit.index >= 0) {
        std::lock_guard<platform::CriticalSection> guard(*lock);
        if (SFPrimitiveBase* primitive = current()) {
            primitive->onRelease(x, y, tool);
            textPlaced = !idle && primitive->isFinished() && dynamic_cast<SFPrimitiveText*>(primitive);
            idle = primitive->isFinished();
            // A press that moved nothing (a selection) is no step to take back.
            if (beforeMove && !samePlace(*beforeMove, *primitive))
                undoSteps.push_back({UndoStep::Moved, hit.index, std::move(beforeMove)});
        }
    }
    beforeMove.reset();
    if (textPlaced) {
        std::lock_guard<platform::CriticalSection> guard(*lock);
        if (notifyWindow)
            platform::PostMessage(notifyWindow, WM_MEASURE_TEXT_PLACED, static_cast<platform::WPARAM>(hit.index), 0);
    }
    return hit.index;
}

int SFPrimitiveContainer::onSecondaryPress(float hostX, float hostY)
{
    const ChangeMark mark(*this, false);
    const auto [x, y] = toControl(hostX, hostY);
    if (hit.index >= 0) {
        std::lock_guard<platform::CriticalSection> guard(*lock);
        if (SFPrimitiveBase* primitive = current()) {
            primitive->onSecondaryPress(x, y, tool);
            idle = primitive->isFinished();
        }
    }
    return hit.index;
}

void SFPrimitiveContainer::hitTestLocked(float x, float y)
{
    const int before = hit.index;
    hit = HitInfo();
    hitOriginX = viewOriginX;
    hitOriginY = viewOriginY;
    hitZoom = zoom;
    hit.index = -1;
    for (std::size_t i = 0; i < primitives.size(); ++i) {
        if (!primitives[i])
            continue;
        hit = primitives[i]->hitTest(x, y, tool);
        if (hit.part != HitNothing) {
            hit.index = static_cast<int>(i);
            break;
        }
        hit.index = -1;
    }
    // The search ends at the first hit: a primitive further on that was
    // hovered before is not tested and would keep its highlight.
    if (before >= 0 && before != hit.index && static_cast<std::size_t>(before) < primitives.size() &&
        primitives[static_cast<std::size_t>(before)])
        primitives[static_cast<std::size_t>(before)]->clearHighlight();
}

void SFPrimitiveContainer::rebaseDragLocked()
{
    if (hitZoom == zoom && hitOriginX == viewOriginX && hitOriginY == viewOriginY)
        return;
    if (buttonDown && hit.part != HitNothing && hitZoom > 0) {
        // Every snapshot slot holds a position the drag moves by the mouse's
        // travel; map where that travel has taken them so far.
        const float f = zoom / hitZoom;
        const sf::Vector2f travelled = lastMouse - sf::Vector2f(hit.mouseX, hit.mouseY);
        for (int slot = 0; slot < 10; ++slot) {
            float& sx = hit.snapshot[slot * 2];
            float& sy = hit.snapshot[slot * 2 + 1];
            sx = (sx + travelled.x - hitOriginX) * f + viewOriginX;
            sy = (sy + travelled.y - hitOriginY) * f + viewOriginY;
        }
        hit.mouseX = lastMouse.x;
        hit.mouseY = lastMouse.y;
    }
    hitOriginX = viewOriginX;
    hitOriginY = viewOriginY;
    hitZoom = zoom;
}

bool SFPrimitiveContainer::create(float x, float y, int createTool, int kind, Messages& out)
{
    try {
        // Under the lock: the view transform may be changed from the thread
        // that delivers camera frames.
        std::lock_guard<platform::CriticalSection> guard(*lock);
        std::unique_ptr<SFPrimitiveBase> primitive =
            makePrimitive(kind, calibrationFactor, viewOriginX, viewOriginY, unitName, x, y, zoom);
        if (!primitive->keepsOwnColors())
            primitive->setColors(lineColor_, edgeColor_, dimensionColor_, textColor_);
        primitives.push_back(std::move(primitive));
        ++drawGeneration;
    } catch (const std::bad_alloc&) {
        return false; // the press is dropped
    }
    if (createTool != ToolCalibration)
        out.push_back({WM_MEASURE_ADDED, 0, 0});
    return true;
}

void SFPrimitiveContainer::removeLocked(int index, Messages& out)
{
    if (index < 0 || static_cast<std::size_t>(index) >= primitives.size())
        return;
    undoSteps.push_back({UndoStep::Removed, index, std::move(primitives[static_cast<std::size_t>(index)])});
    primitives.erase(primitives.begin() + index);
    ++drawGeneration;
    hit = HitInfo();
    // Nothing is current any more; were the container left waiting for a
    // half-placed shape that is gone, no hit test would ever run again.
    idle = true;
    out.push_back({WM_MEASURE_REMOVED, static_cast<platform::WPARAM>(index), 0});
}

void SFPrimitiveContainer::removeAt(int index)
{
    const ChangeMark mark(*this);
    Messages messages;
    {
        std::lock_guard<platform::CriticalSection> guard(*lock);
        removeLocked(index, messages);
    }
    send(messages);
}

void SFPrimitiveContainer::fitLocked(SFPrimitiveBase& primitive) const
{
    primitive.rescale(viewOriginX, viewOriginY, zoom);
    primitive.setCalibration(calibrationFactor, unitName);
    primitive.setSelected(false);
}

void SFPrimitiveContainer::forgetUndo()
{
    undoSteps.clear();
    beforeMove.reset();
}

bool SFPrimitiveContainer::undo()
{
    const ChangeMark mark(*this);
    if (buttonDown || undoSteps.empty())
        return false;
    UndoStep step = std::move(undoSteps.back());
    undoSteps.pop_back();
    Messages messages;
    {
        std::lock_guard<platform::CriticalSection> guard(*lock);
        const auto index = static_cast<std::size_t>(step.index);
        if (step.kind == UndoStep::Added && index < primitives.size()) {
            primitives.erase(primitives.begin() + step.index);
            messages.push_back({WM_MEASURE_REMOVED, index, 0});
        } else if (step.kind == UndoStep::Moved && index < primitives.size()) {
            fitLocked(*step.primitive);
            primitives[index] = std::move(step.primitive);
            messages.push_back({WM_MEASURE_CHANGED, index, 0});
        } else if (step.kind == UndoStep::Removed && index <= primitives.size()) {
            fitLocked(*step.primitive);
            primitives.insert(primitives.begin() + step.index, std::move(step.primitive));
            // The results list only appends: it is told the whole set again.
            messages.push_back({WM_MEASURE_CLEARED, 0, 0});
            for (std::size_t i = 0; i < primitives.size(); ++i) {
                messages.push_back({WM_MEASURE_ADDED, 0, 0});
                messages.push_back({WM_MEASURE_CHANGED, static_cast<platform::WPARAM>(i), 0});
            }
        }
        ++drawGeneration;
    }
    hit = HitInfo();
    idle = true;
    send(messages);
    return true;
}

void SFPrimitiveContainer::clearAll(bool notify)
{
    const ChangeMark mark(*this);
    forgetUndo();
    {
        std::lock_guard<platform::CriticalSection> guard(*lock);
        primitives.clear();
    }
    if (notify)
        send({{WM_MEASURE_CLEARED, 0, 0}});
    hit = HitInfo();
    idle = true;
}

void SFPrimitiveContainer::mapPictureCoordinates(float scale, float shiftX, float shiftY)
{
    if (!(scale > 0) || !std::isfinite(scale) || !std::isfinite(shiftX) || !std::isfinite(shiftY))
        return;
    const ChangeMark mark(*this);
    forgetUndo();
    Messages messages;
    {
        std::lock_guard<platform::CriticalSection> guard(*lock);
        MeasurementSet& live = calibrationMode ? savedPrimitives : primitives;
        for (std::size_t i = 0; i < live.size(); ++i) {
            if (!live[i])
                continue;
            live[i]->mapPicture(scale, {shiftX, shiftY});
            if (!calibrationMode)
                messages.push_back({WM_MEASURE_CHANGED, static_cast<platform::WPARAM>(i), 0});
        }
        ++drawGeneration;
    }
    send(messages);
}

bool SFPrimitiveContainer::setMarkerText(int index, const sf::String& text)
{
    const ChangeMark mark(*this);
    {
        std::lock_guard<platform::CriticalSection> guard(*lock);
        if (index < 0 || static_cast<std::size_t>(index) >= primitives.size())
            return false;
        auto* marker = dynamic_cast<SFPrimitiveText*>(primitives[static_cast<std::size_t>(index)].get());
        if (!marker)
            return false;
        marker->setText(text);
        ++drawGeneration;
    }
    send({{WM_MEASURE_CHANGED, static_cast<platform::WPARAM>(index), 0}});
    return true;
}

bool SFPrimitiveContainer::undoAdd(int index)
{
    if (undoSteps.empty() || undoSteps.back().kind != UndoStep::Added || undoSteps.back().index != index)
        return false;
    return undo();
}

SFPrimitiveContainer::MeasurementSet SFPrimitiveContainer::exchangeMeasurements(MeasurementSet set)
{
    const ChangeMark mark(*this);
    Messages messages;
    {
        std::lock_guard<platform::CriticalSection> guard(*lock);
        for (auto& primitive : set)
            if (primitive)
                fitLocked(*primitive);
        MeasurementSet& shown = calibrationMode ? savedPrimitives : primitives;
        std::swap(shown, set);
        if (!calibrationMode) {
            messages.push_back({WM_MEASURE_CLEARED, 0, 0});
            for (std::size_t i = 0; i < shown.size(); ++i) {
                messages.push_back({WM_MEASURE_ADDED, 0, 0});
                messages.push_back({WM_MEASURE_CHANGED, static_cast<platform::WPARAM>(i), 0});
            }
        }
    }
    if (!calibrationMode) {
        hit = HitInfo();
        idle = true;
        buttonDown = false;
        forgetUndo();
    }
    send(messages);
    return set;
}

SFPrimitiveContainer::MeasurementSet SFPrimitiveContainer::copyMeasurements() const
{
    std::lock_guard<platform::CriticalSection> guard(*lock);
    MeasurementSet copies;
    for (const auto& primitive : calibrationMode ? savedPrimitives : primitives)
        if (primitive && primitive->isFinished())
            if (auto copy = clonePrimitive(*primitive))
                copies.push_back(std::move(copy));
    return copies;
}

int SFPrimitiveContainer::count() const
{
    std::lock_guard<platform::CriticalSection> guard(*lock);
    return static_cast<int>(primitives.size());
}

MeasureData SFPrimitiveContainer::measureData(int index) const
{
    std::lock_guard<platform::CriticalSection> guard(*lock);
    if (index < 0 || static_cast<std::size_t>(index) >= primitives.size() || !primitives[index])
        return MeasureData();
    return primitives[static_cast<std::size_t>(index)]->measureData();
}

void SFPrimitiveContainer::withPrimitive(int index, const std::function<void(const SFPrimitiveBase&)>& inspect) const
{
    std::lock_guard<platform::CriticalSection> guard(*lock);
    if (index >= 0 && static_cast<std::size_t>(index) < primitives.size() && primitives[index])
        inspect(*primitives[static_cast<std::size_t>(index)]);
}

void SFPrimitiveContainer::setCalibration(const sf::String& unit, float factor)
{
    const ChangeMark mark(*this);
    if (!std::isfinite(factor))
        return; // would put "nan" or "inf" into every label
    std::lock_guard<platform::CriticalSection> guard(*lock);
    unitName = unit;
    calibrationFactor = factor;
    forEachPrimitive([&](SFPrimitiveBase& p) { p.setCalibration(factor, unit); });
}

void SFPrimitiveContainer::setColors(sf::Color line, sf::Color edge, sf::Color dimension, sf::Color text,
                                     bool applyToAll)
{
    const ChangeMark mark(*this);
    std::lock_guard<platform::CriticalSection> guard(*lock);
    lineColor_ = line;
    edgeColor_ = edge;
    dimensionColor_ = dimension;
    textColor_ = text;
    auto apply = [&](SFPrimitiveBase& p) {
        if (p.keepsOwnColors())
            return;
        p.setColors(line, edge, dimension, text);
        p.refreshDecorations();
    };
    if (applyToAll) {
        forEachPrimitive(apply);
        return;
    }
    for (auto& p : primitives) {
        if (p && p->isSelected()) {
            apply(*p);
            return;
        }
    }
}

void SFPrimitiveContainer::setViewTransform(float originX, float originY, float newZoom)
{
    // A control without size fits the picture at zoom 0: rescaling to it
    // would collapse every measurement onto the origin for good (and make
    // new ones divide by zero). The last usable transform stays instead.
    if (!(newZoom > 0) || !std::isfinite(newZoom) || !std::isfinite(originX) || !std::isfinite(originY))
        return;
    std::lock_guard<platform::CriticalSection> guard(*lock);
    viewOriginX = originX;
    viewOriginY = originY;
    zoom = newZoom;
    forEachPrimitive([&](SFPrimitiveBase& p) { p.rescale(originX, originY, newZoom); });
    // May run on the frame thread: the live primitives stay as published.
    ++drawGeneration;
}

void SFPrimitiveContainer::setViewRect(const ViewRect& rect)
{
    std::lock_guard<platform::CriticalSection> guard(*lock);
    viewRect = rect;
}

void SFPrimitiveContainer::setNotifyWindow(platform::HWND window)
{
    std::lock_guard<platform::CriticalSection> guard(*lock);
    notifyWindow = window;
}

void SFPrimitiveContainer::setCalibrationMode(bool on)
{
    const ChangeMark mark(*this);
    // Entering twice would park the calibration line over the measurements,
    // leaving without entering would delete them: both are ignored.
    if (on == calibrationMode)
        return;
    forgetUndo();
    if (on) {
        calibrationMode = true;
        {
            std::lock_guard<platform::CriticalSection> guard(*lock);
            savedPrimitives = std::move(primitives);
            primitives.clear();
        }
        savedTool = tool;
        // A half-placed shape is parked too: nothing is current any more.
        hit = HitInfo();
        idle = true;
        sf::Vector2f at;
        {
            std::lock_guard<platform::CriticalSection> guard(*lock);
            at = {viewOriginX + 50, static_cast<float>((viewRect.bottom - viewRect.top) / 2)};
        }
        Messages ignored;
        create(at.x, at.y, ToolCalibration, ToolCalibration - kFirstShapeTool, ignored);
        tool = ToolMove;
        send({{WM_MEASURE_CHANGED, 0, 1}});
        return;
    }
    calibrationMode = false;
    tool = savedTool;
    clearAll(false);
    std::lock_guard<platform::CriticalSection> guard(*lock);
    primitives = std::move(savedPrimitives);
    savedPrimitives.clear();
}

bool SFPrimitiveContainer::exportCsv(const std::string& path, const std::string& unit) const
{
    std::vector<MeasureCsvRow> rows;
    {
        std::lock_guard<platform::CriticalSection> guard(*lock);
        rows.reserve(primitives.size());
        for (const auto& p : primitives)
            if (p)
                rows.push_back({p->typeName(), p->measureData()});
    }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file)
        return false;
    writeMeasureCsv(file, rows, unit);
    file.close();
    return !file.fail();
}

namespace {

bool isIdentity(const sf::Transform& transform)
{
    const float* m = transform.getMatrix();
    const sf::Transform identity;
    const float* i = identity.getMatrix();
    for (int k = 0; k < 16; ++k)
        if (m[k] != i[k])
            return false;
    return true;
}

// The antialiasing of a window target (none for other targets).
unsigned antialiasingOf(const sf::RenderTarget& target)
{
    const auto* window = dynamic_cast<const sf::Window*>(&target);
    return window ? window->getSettings().antialiasingLevel : 0;
}

} // namespace

void SFPrimitiveContainer::releaseDrawingCache()
{
    cache.reset();
    cacheValid = false;
    cachedDrawing.clear();
    cachedBounds.clear();
    haveCachedDrawing = false;
}

void SFPrimitiveContainer::publish(bool changed)
{
    std::lock_guard<platform::CriticalSection> guard(*lock);
    publishLocked(changed);
}

void SFPrimitiveContainer::publishLocked(bool changed)
{
    int selected = -1;
    for (std::size_t i = 0; i < primitives.size() && selected < 0; ++i)
        if (primitives[i] && primitives[i]->isSelected())
            selected = static_cast<int>(i);
    const int currentIndex = current() ? hit.index : -1;
    if (changed) {
        ++drawGeneration;
        leftLive.clear(); // every copy is taken anew
    }
    for (int was : {liveCurrent, liveSelected})
        if (was >= 0 && was != currentIndex && was != selected &&
            std::find(leftLive.begin(), leftLive.end(), was) == leftLive.end())
            leftLive.push_back(was);
    liveCurrent = currentIndex;
    liveSelected = selected;
}

unsigned SFPrimitiveContainer::drawingGeneration() const
{
    std::lock_guard<platform::CriticalSection> guard(*lock);
    return drawGeneration;
}

namespace {

bool isLive(int index, const std::array<int, 2>& live) { return index == live[0] || index == live[1]; }

} // namespace

void SFPrimitiveContainer::redrawPicture(const sf::View& view, const LivePair& live) const
{
    cache->setView(view);
    cache->clear(sf::Color::Transparent);
    unsigned drawn = 0;
    for (std::size_t i = 0; i < cachedDrawing.size(); ++i)
        if (!isLive(static_cast<int>(i), live) && cachedBounds[i].width > 0) {
            cachedDrawing[i].draw(*cache, sf::RenderStates::Default, drawingFont.get());
            ++drawn;
        }
    cacheItemsDrawn += drawn;
}

void SFPrimitiveContainer::redrawArea(const sf::FloatRect& area, const LivePair& live) const
{
    // The area widened to whole pixels of the picture; a view of just those
    // pixels clips everything drawn to them.
    const sf::View whole = cache->getView();
    const sf::Vector2u size = cache->getSize();
    const sf::Vector2f origin = whole.getCenter() - whole.getSize() / 2.0f;
    const float sx = static_cast<float>(size.x) / whole.getSize().x;
    const float sy = static_cast<float>(size.y) / whole.getSize().y;
    const float left = std::max(0.0f, std::floor((area.left - origin.x) * sx));
    const float top = std::max(0.0f, std::floor((area.top - origin.y) * sy));
    const float right = std::min(static_cast<float>(size.x), std::ceil((area.left + area.width - origin.x) * sx));
    const float bottom = std::min(static_cast<float>(size.y), std::ceil((area.top + area.height - origin.y) * sy));
    if (right <= left || bottom <= top)
        return;
    const sf::FloatRect part(origin.x + left / sx, origin.y + top / sy, (right - left) / sx, (bottom - top) / sy);
    sf::View partView(part);
    partView.setViewport(sf::FloatRect(left / static_cast<float>(size.x), top / static_cast<float>(size.y),
                                       (right - left) / static_cast<float>(size.x),
                                       (bottom - top) / static_cast<float>(size.y)));
    cache->setView(partView);
    // Transparent again, the coverage of what was there included.
    const sf::Vertex eraser[] = {{{part.left, part.top}, sf::Color::Transparent},
                                 {{part.left + part.width, part.top}, sf::Color::Transparent},
                                 {{part.left, part.top + part.height}, sf::Color::Transparent},
                                 {{part.left + part.width, part.top + part.height}, sf::Color::Transparent}};
    cache->draw(eraser, 4, sf::TriangleStrip, sf::RenderStates(sf::BlendNone));
    unsigned drawn = 0;
    for (std::size_t i = 0; i < cachedDrawing.size(); ++i)
        if (!isLive(static_cast<int>(i), live) && cachedBounds[i].intersects(part)) {
            cachedDrawing[i].draw(*cache, sf::RenderStates::Default, drawingFont.get());
            ++drawn;
        }
    cacheItemsDrawn += drawn;
    cache->setView(whole);
}

void SFPrimitiveContainer::draw(sf::RenderTarget& target, sf::RenderStates states) const
{
    states.transform *= getTransform();
    if (!drawingFontLoaded) {
        drawingFontLoaded = true;
        drawingFont = measure::loadLabelFont();
    }
    const sf::Font* font = drawingFont.get();
    // Copies under the lock; all GL work after it.
    LivePair live{-1, -1};
    std::size_t liveCount = 0;
    bool newCopies = false;
    recopied.clear();
    {
        std::lock_guard<platform::CriticalSection> guard(*lock);
        auto valid = [&](int index) {
            return index >= 0 && static_cast<std::size_t>(index) < primitives.size() && primitives[index];
        };
        live = {valid(liveSelected) ? liveSelected : -1, valid(liveCurrent) ? liveCurrent : -1};
        if (live[1] == live[0])
            live[1] = -1;
        if (!haveCachedDrawing || cachedGeneration != drawGeneration) {
            cachedDrawing.resize(primitives.size());
            for (std::size_t i = 0; i < primitives.size(); ++i)
                cachedDrawing[i] =
                    primitives[i] && !isLive(static_cast<int>(i), live) ? primitives[i]->drawing() : PrimitiveDrawing();
            cachedGeneration = drawGeneration;
            haveCachedDrawing = true;
            newCopies = true;
        } else {
            for (int index : leftLive)
                if (valid(index) && static_cast<std::size_t>(index) < cachedDrawing.size()) {
                    cachedDrawing[static_cast<std::size_t>(index)] =
                        primitives[static_cast<std::size_t>(index)]->drawing();
                    recopied.push_back(index);
                }
        }
        leftLive.clear();
        for (int index : live)
            if (index >= 0) {
                if (liveDrawing.size() <= liveCount)
                    liveDrawing.emplace_back();
                liveDrawing[liveCount++] = primitives[static_cast<std::size_t>(index)]->drawing();
            }
    }
    if (newCopies) {
        cachedBounds.resize(cachedDrawing.size());
        for (std::size_t i = 0; i < cachedDrawing.size(); ++i)
            cachedBounds[i] = cachedDrawing[i].bounds(font);
        cacheValid = false;
        dirtyAreas.clear();
    } else if (cacheValid) {
        // What changed in the picture: where a recopied primitive was and is,
        // and where one that came or went from the live ones lies.
        auto changedAt = [&](const sf::FloatRect& area) {
            if (area.width > 0 && std::find(dirtyAreas.begin(), dirtyAreas.end(), area) == dirtyAreas.end())
                dirtyAreas.push_back(area);
        };
        for (int index : recopied) {
            sf::FloatRect& bounds = cachedBounds[static_cast<std::size_t>(index)];
            changedAt(bounds);
            bounds = cachedDrawing[static_cast<std::size_t>(index)].bounds(font);
            changedAt(bounds);
        }
        for (int index : live)
            if (index >= 0 && !isLive(index, pictureLive) && static_cast<std::size_t>(index) < cachedBounds.size())
                changedAt(cachedBounds[static_cast<std::size_t>(index)]);
        for (int index : pictureLive)
            if (index >= 0 && !isLive(index, live) && static_cast<std::size_t>(index) < cachedBounds.size())
                changedAt(cachedBounds[static_cast<std::size_t>(index)]);
    } else {
        for (int index : recopied)
            cachedBounds[static_cast<std::size_t>(index)] = cachedDrawing[static_cast<std::size_t>(index)].bounds(font);
    }
    const sf::Vector2u size = target.getSize();
    const sf::View& view = target.getView();
    // A plain draw is cached; anything else is drawn directly.
    const bool cacheable = isIdentity(states.transform) && !states.shader && !states.texture &&
                           states.blendMode == sf::BlendAlpha && size.x > 0 && size.y > 0 && view.getRotation() == 0 &&
                           view.getViewport() == sf::FloatRect(0, 0, 1, 1);
    auto drawLive = [&] {
        for (std::size_t k = 0; k < liveCount; ++k)
            liveDrawing[k].draw(target, states, font);
    };
    if (cachedDrawing.size() <= liveCount) {
        // Nothing but the live ones: no picture to draw.
        drawLive();
        cacheValid = false;
        dirtyAreas.clear();
        return;
    }
    auto drawDirectly = [&] {
        for (std::size_t i = 0; i < cachedDrawing.size(); ++i)
            if (!isLive(static_cast<int>(i), live))
                cachedDrawing[i].draw(target, states, font);
        drawLive();
        // The picture missed the changes drawn here.
        cacheValid = false;
        dirtyAreas.clear();
    };
    if (!cacheable || !target.setActive(true)) {
        drawDirectly();
        return;
    }
    // The picture is tied to the GL context it was first drawn for; another
    // target's context gets a picture of its own.
    const sf::Uint64 context = sf::Context::getActiveContextId();
    if (!cache || cache->getSize() != size || context != cacheContext) {
        cacheContext = context;
        cacheValid = false;
        cache = std::make_unique<sf::RenderTexture>();
        // Antialiased like the window it is drawn into.
        if (!cache->create(size.x, size.y, sf::ContextSettings(0, 0, antialiasingOf(target)))) {
            cache.reset();
            drawDirectly();
            return;
        }
    }
    bool redrawn = false;
    if (!cacheValid || cache->getView().getCenter() != view.getCenter() ||
        cache->getView().getSize() != view.getSize()) {
        redrawPicture(view, live);
        redrawn = true;
    } else if (!dirtyAreas.empty()) {
        for (const sf::FloatRect& area : dirtyAreas)
            redrawArea(area, live);
        redrawn = true;
    }
    dirtyAreas.clear();
    pictureLive = live;
    if (redrawn) {
        cache->display();
        cacheValid = true;
        ++cacheRebuilds;
        // Drawing into the picture changed the GL state behind the target's back.
        target.setActive(true);
        target.resetGLStates();
    }
    // The picture holds colours already weighted by their coverage, in the
    // target's own pixels.
    const sf::View saved = view;
    target.setView(target.getDefaultView());
    sf::Sprite sprite(cache->getTexture());
    target.draw(sprite, sf::RenderStates(sf::BlendMode(sf::BlendMode::One, sf::BlendMode::OneMinusSrcAlpha)));
    target.setView(saved);
    drawLive();
}

sf::Color SFPrimitiveContainer::lineColor() const
{
    std::lock_guard<platform::CriticalSection> guard(*lock);
    return lineColor_;
}

sf::Color SFPrimitiveContainer::edgeColor() const
{
    std::lock_guard<platform::CriticalSection> guard(*lock);
    return edgeColor_;
}

sf::Color SFPrimitiveContainer::dimensionColor() const
{
    std::lock_guard<platform::CriticalSection> guard(*lock);
    return dimensionColor_;
}

sf::Color SFPrimitiveContainer::textColor() const
{
    std::lock_guard<platform::CriticalSection> guard(*lock);
    return textColor_;
}

float SFPrimitiveContainer::calibration(sf::String& unit) const
{
    std::lock_guard<platform::CriticalSection> guard(*lock);
    unit = unitName;
    return calibrationFactor;
}

float SFPrimitiveContainer::viewZoom() const
{
    std::lock_guard<platform::CriticalSection> guard(*lock);
    return zoom;
}
