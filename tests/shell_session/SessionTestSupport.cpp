// Shared by the suites that show the real main window with its live picture:
// Xlib's threads and Qt on X11 before anything touches X (the test script
// defaults Qt to its offscreen platform, which has no native windows), and the
// sanitizer suppressions for system-library noise of that platform.
#include "app/view/X11ChildWindow.h"

#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__)
// Qt's X11 platform talks to the session bus; libdbus keeps a buffer to the
// end. (Mesa's driver stays loaded: KeepGlDriverLoaded.cpp.)
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions()
{
    return "leak:libdbus-1.so\n";
}
#endif

namespace {
[[maybe_unused]] const bool x11Ready = [] {
    X11ChildWindow::initThreads();
    if (const char* display = std::getenv("DISPLAY"); display && *display)
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    return true;
}();
} // namespace
