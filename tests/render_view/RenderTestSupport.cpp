#include "RenderTestSupport.h"

// Qt before Xlib, whose macros (Status, Bool) break Qt's headers.
#include <QWidget>

#include "ui/testing/UiDriver.h"

#include <X11/Xlib.h>

#include <cstdlib>

#include <filesystem>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
// Suppressions for system-library noise of Qt's X11 platform (ASAN_OPTIONS of
// the test script add to these, they do not replace them).
extern "C" __attribute__((visibility("default"), used)) const char* __asan_default_options()
{
    return "suppressions=" PELLUMO_RENDER_TEST_DIR "/asan.supp";
}
// Qt's X11 platform talks to the session bus; libdbus keeps a buffer to the end.
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions()
{
    return "leak:libdbus-1.so\n";
}
#endif

#if defined(__SANITIZE_THREAD__)
// Qt's X11 platform starts a D-Bus thread of its own (QDBusConnection). Qt,
// not instrumented, hands data to and from it under futex-based locks that
// ThreadSanitizer cannot see, and GLib's loop wake-up reuses an eventfd across
// threads. These name only Qt's and GLib's internals, never a frame of ours.
extern "C" __attribute__((visibility("default"), used)) const char* __tsan_default_suppressions()
{
    return "race:QCoreApplicationPrivate::sendPostedEvents\n"
           "race:QWaitCondition::\n"
           "race:QObjectPrivate::~QObjectPrivate\n"
           "race:QObject::moveToThread\n"
           "race:QArrayData::\n"
           "race:libglib-2.0.so\n";
}
#endif

namespace {

// Before anything touches X: threads for Xlib, and Qt on X11 (the test
// script defaults Qt to its offscreen platform, which has no native windows).
[[maybe_unused]] const bool x11Ready = [] {
    X11ChildWindow::initThreads();
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    return true;
}();

PELLUMO_UI_TEST_APPLICATION();

// Generous: the test machine is shared by parallel builds.
constexpr int kWaitMs = 30000;

} // namespace

namespace rendertest {

using ui::testing::Driver;

std::vector<uint8_t> quadrantFrame(int width, int height, sf::Color tl, sf::Color tr, sf::Color bl, sf::Color br)
{
    std::vector<uint8_t> pixels(size_t(width) * height * 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool right = x >= width / 2, bottom = y >= height / 2;
            const sf::Color c = bottom ? (right ? br : bl) : (right ? tr : tl);
            uint8_t* p = &pixels[(size_t(y) * width + x) * 4];
            p[0] = c.r;
            p[1] = c.g;
            p[2] = c.b;
            p[3] = 255;
        }
    return pixels;
}

std::vector<uint8_t> uniformFrame(int width, int height, sf::Color color)
{
    return quadrantFrame(width, height, color, color, color, color);
}

// Controls are shown only inside a parent, never as top-level windows of
// their own (as in the program's window): the views live in one shown host.
QWidget& hostWindow()
{
    static QWidget* const host = [] {
        auto* w = new QWidget;
        w->resize(1920, 1080);
        w->show();
        return w;
    }();
    return *host;
}

bool showAt(CImageRenderUI& view, int width, int height)
{
    if (QWidget* w = view.GetWidget(); w && !w->parentWidget())
        w->setParent(&hostWindow());
    view.SetFixedWidth(width);
    view.SetFixedHeight(height);
    view.SetVisible(true);
    return Driver::processEventsUntil([&] { return view.GetWidth() == width && view.GetHeight() == height; }, kWaitMs);
}

bool drawFrame(CImageRenderUI& view, const std::vector<uint8_t>& rgba, int width, int height)
{
    // A pass in flight at the hand-over may miss the frame; the one after it
    // cannot.
    for (int round = 0; round < 2; ++round) {
        const int before = view.passesDrawn();
        view.updateFrame(width, height, rgba.data());
        if (!Driver::processEventsUntil([&] { return view.passesDrawn() > before; }, kWaitMs))
            return false;
    }
    return true;
}

bool snapshot(CImageRenderUI& view, const std::vector<uint8_t>& rgba, int width, int height, sf::Image& out)
{
    if (!drawFrame(view, rgba, width, height))
        return false;
    static int counter = 0;
    const std::string path = tempPath("snapshot-" + std::to_string(++counter) + ".png");
    std::filesystem::remove(path);
    const int before = view.snapshotsServed();
    view.requestSnapshot(path);
    const bool served = Driver::processEventsUntil(
        [&] {
            if (view.snapshotsServed() > before)
                return true;
            view.updateFrame(width, height, rgba.data());
            return false;
        },
        kWaitMs);
    const bool loaded = served && view.lastSnapshotSaved() && out.loadFromFile(path);
    if (!std::getenv("PELLUMO_KEEP_SNAPSHOTS"))
        std::filesystem::remove(path);
    return loaded;
}

bool near(sf::Color a, sf::Color b, int tolerance)
{
    return std::abs(int(a.r) - int(b.r)) <= tolerance && std::abs(int(a.g) - int(b.g)) <= tolerance &&
           std::abs(int(a.b) - int(b.b)) <= tolerance;
}

std::string tempPath(const std::string& name)
{
    const auto dir = std::filesystem::temp_directory_path() / ("pellumo-render-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return (dir / name).string();
}

void warpPointer(unsigned long window, int x, int y)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return;
    // Other suites may run windows on the same display at the same time.
    XRaiseWindow(display, window);
    XWarpPointer(display, None, window, 0, 0, 0, 0, x, y);
    XSync(display, False);
    XCloseDisplay(display);
}

} // namespace rendertest
