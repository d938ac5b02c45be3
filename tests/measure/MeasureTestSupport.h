#pragma once
// Drives a container the way the render view does, and records the messages
// a main window would receive.
#include "SFPrimitiveContainer.h"

#include "platform/WindowMessages.h"

#include <SFML/System/Vector2.hpp>

#include <initializer_list>
#include <string>
#include <vector>

namespace measuretest {

struct Message {
    platform::UINT id;
    platform::WPARAM wParam;
    platform::LPARAM lParam;
    bool operator==(const Message&) const = default;
};

class RecordingWindow : public platform::MessageHandler {
public:
    platform::LRESULT handleMessage(platform::UINT message, platform::WPARAM wParam, platform::LPARAM lParam) override
    {
        if (message >= WM_MEASURE_ADDED && message <= WM_MEASURE_CHANGED)
            log.push_back({message, wParam, lParam});
        return 0;
    }
    std::vector<Message> withoutChanges() const
    {
        std::vector<Message> out;
        for (const Message& m : log)
            if (m.id != WM_MEASURE_CHANGED)
                out.push_back(m);
        return out;
    }
    std::vector<Message> log;
};

// An operator at the mouse: every press is preceded by a movement to it.
class Operator {
public:
    explicit Operator(SFPrimitiveContainer& container) : c(container) {}

    void move(float x, float y) { c.onMouseMove(x, y); }
    void click(float x, float y)
    {
        c.onMouseMove(x, y);
        c.onMousePress(x, y);
        c.onMouseRelease(x, y);
    }
    void rightClick(float x, float y)
    {
        c.onMouseMove(x, y);
        c.onSecondaryPress(x, y);
    }
    // Hover, press, drag in a few steps, release.
    void drag(sf::Vector2f from, sf::Vector2f to)
    {
        c.onMouseMove(from.x, from.y);
        c.onMousePress(from.x, from.y);
        for (int step = 1; step <= 4; ++step) {
            const float t = static_cast<float>(step) / 4.0f;
            c.onMouseMove(from.x + (to.x - from.x) * t, from.y + (to.y - from.y) * t);
        }
        c.onMouseRelease(to.x, to.y);
    }
    void dragInOneStep(sf::Vector2f from, sf::Vector2f to)
    {
        c.onMouseMove(from.x, from.y);
        c.onMousePress(from.x, from.y);
        c.onMouseMove(to.x, to.y);
        c.onMouseRelease(to.x, to.y);
    }
    // Selects `tool` and clicks the points in order.
    void place(int tool, std::initializer_list<sf::Vector2f> points)
    {
        c.setTool(tool);
        for (const sf::Vector2f& p : points)
            click(p.x, p.y);
    }
    // Moves away so that nothing is hovered (and the container is idle).
    void park() { move(-500, -500); }

private:
    SFPrimitiveContainer& c;
};

inline std::string labelOf(const SFPrimitiveContainer& c, int index)
{
    std::string text;
    c.withPrimitive(index, [&](const SFPrimitiveBase& p) { text = p.labelText(); });
    return text;
}

inline sf::VertexArray shapeOf(const SFPrimitiveContainer& c, int index)
{
    sf::VertexArray shape;
    c.withPrimitive(index, [&](const SFPrimitiveBase& p) { shape = p.shapeVertices(); });
    return shape;
}

inline sf::VertexArray dimensionOf(const SFPrimitiveContainer& c, int index)
{
    sf::VertexArray dimension;
    c.withPrimitive(index, [&](const SFPrimitiveBase& p) { dimension = p.dimensionVertexArray(); });
    return dimension;
}

inline bool finishedAt(const SFPrimitiveContainer& c, int index)
{
    bool finished = false;
    c.withPrimitive(index, [&](const SFPrimitiveBase& p) { finished = p.isFinished(); });
    return finished;
}

inline std::string typeOf(const SFPrimitiveContainer& c, int index)
{
    std::string type;
    c.withPrimitive(index, [&](const SFPrimitiveBase& p) { type = p.typeName(); });
    return type;
}

} // namespace measuretest
