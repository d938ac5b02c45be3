#pragma once
// The UI layer's process-wide state: the Qt application object and the window
// message dispatcher behind platform::SendMessage/PostMessage. Create one on
// the UI thread before any window and keep it for the life of the UI.
//
// SendMessage from the UI thread calls the window at once; from another
// thread it blocks until the UI thread has handled the message (also while
// the UI thread sits in a modal loop or a menu). PostMessage queues; queued
// and cross-thread messages are handled in the order they were sent.
namespace ui {

class Application {
public:
    // Runs Qt on X11 (the render view draws into X windows; on a Wayland
    // desktop that is XWayland) and keeps printf-style numbers in the "C"
    // format whatever the locale.
    Application(int& argc, char** argv);
    // Sets QT_QPA_PLATFORM=xcb when an X display is there and neither the
    // environment nor a -platform argument chose a platform.
    static void PreferX11(int argc, char** argv);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    static bool exists();
    // Handles everything pending (posted messages, timers due, deferred
    // deletions) without waiting.
    static void processEvents();
    // Handles events for up to `ms` milliseconds.
    static void processEventsFor(int ms);
};

} // namespace ui
