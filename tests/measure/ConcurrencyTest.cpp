// The render thread draws while the UI thread edits and the frame thread
// refits the view: all go through the container's lock (run under
// ThreadSanitizer, needs X for the render texture).
#include "MeasureTestSupport.h"

#include <SFML/Graphics/RenderTexture.hpp>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace measuretest;

TEST(MeasureConcurrency, RenderThreadDrawsWhileTheUiThreadEdits)
{
    SFPrimitiveContainer c;
    RecordingWindow window;
    c.setNotifyWindow(&window);
    c.setViewRect({0, 0, 320, 240});
    std::atomic<bool> stop{false};
    std::atomic<int> frames{0};
    std::atomic<bool> renderEnded{false};

    std::thread render([&] {
        sf::RenderTexture texture;
        if (texture.create(320, 240)) {
            while (!stop.load()) {
                texture.clear();
                texture.draw(c);
                texture.display();
                ++frames;
            }
        }
        c.releaseDrawingCache();
        renderEnded = true;
    });

    // New frame sizes refit the picture from the camera's thread.
    std::thread refit([&] {
        for (int i = 0; !stop.load(); ++i) {
            c.setViewTransform(static_cast<float>(i % 4), 0, 1.0f + static_cast<float>(i % 2) * 0.25f);
            std::this_thread::yield();
        }
    });

    Operator op(c);
    for (int round = 0; round < 40; ++round) {
        const float y = static_cast<float>(10 + (round % 20) * 10);
        op.place(ToolLine, {{10, y}, {200, y}});
        op.park();
        op.place(ToolCircle, {{250, y}, {270, y}});
        op.park();
        c.setTool(ToolMove);
        op.drag({100, y}, {110, y + 3});
        c.setColors(sf::Color::Yellow, sf::Color::White, sf::Color::Red, sf::Color::Cyan, round % 2 == 0);
        c.setCalibration("mm", 0.5f);
        if (round % 5 == 0) {
            c.setCalibrationMode(true);
            op.drag({50, 120}, {60, 130});
            c.setCalibrationMode(false);
        }
        if (round % 7 == 6)
            c.clearAll(true);
        (void)c.measureData(0);
    }
    // Let the render thread draw at least once more after the last edit.
    const int seen = frames.load();
    while (frames.load() < seen + 2 && !renderEnded.load())
        std::this_thread::yield();
    stop = true;
    render.join();
    refit.join();
    EXPECT_GT(frames.load(), 0);
    EXPECT_FALSE(window.log.empty());
}
