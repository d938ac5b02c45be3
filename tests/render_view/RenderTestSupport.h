#pragma once
// Shared pieces of the render view suites: the X11 + Qt set-up of the test
// program, a main-window stand-in, showing a view at a size, waiting for
// drawn passes and taking snapshots.
#include "app/view/ImageRenderUI.h"

#include <SFML/Graphics/Image.hpp>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace rendertest {

// Records the messages the view and its container send to the main window.
class MainWindowStub : public platform::MessageHandler {
public:
    platform::LRESULT handleMessage(platform::UINT message, platform::WPARAM, platform::LPARAM) override
    {
        std::lock_guard guard(mutex);
        messages.push_back(message);
        return 0;
    }
    int count(platform::UINT message)
    {
        std::lock_guard guard(mutex);
        int n = 0;
        for (platform::UINT m : messages)
            n += m == message;
        return n;
    }
    std::mutex mutex;
    std::vector<platform::UINT> messages;
};

// An RGBA frame of four quadrants: top-left, top-right, bottom-left, bottom-right.
std::vector<uint8_t> quadrantFrame(int width, int height, sf::Color tl, sf::Color tr, sf::Color bl, sf::Color br);
std::vector<uint8_t> uniformFrame(int width, int height, sf::Color color);

// Shows the view as a window of the given size; true once it has that size.
bool showAt(CImageRenderUI& view, int width, int height);
// Hands the frame over and waits until a pass that started after the
// hand-over has been drawn.
bool drawFrame(CImageRenderUI& view, const std::vector<uint8_t>& rgba, int width, int height);
// Requests a snapshot, keeps the frame flowing until it is served and loads it.
bool snapshot(CImageRenderUI& view, const std::vector<uint8_t>& rgba, int width, int height, sf::Image& out);

bool near(sf::Color a, sf::Color b, int tolerance = 10);
std::string tempPath(const std::string& name);

// Raises the X window and moves the X pointer to its (x, y), server-side, as a
// user would.
void warpPointer(unsigned long window, int x, int y);

} // namespace rendertest
