#pragma once
// Keeps the desktop from going idle (screen saver, screen lock, suspend on
// idle) while long work runs: a recording, a timed series, a time-lapse.
// Each piece of work takes a Hold; while one or more are held the desktop is
// asked over D-Bus not to go idle, through the freedesktop screen saver's
// Inhibit call on the session bus or, when no screen saver answers, logind's
// idle inhibitor on the system bus. The request is released when the last
// hold goes and when the inhibitor is destroyed (the program closes).
//
// UI thread only: the answers arrive through Qt's event loop, so nothing here
// waits for the bus.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QDBusPendingCallWatcher;

class DesktopIdleInhibitor {
public:
    enum class State {
        Released,    // nothing held
        Asking,      // held, the desktop has not answered yet
        Inhibited,   // the desktop will not go idle
        Unavailable, // held, but no service on either bus took the request
    };

    struct Options {
        std::string application = "Pellumo";
        // Falls back to logind's idle inhibitor on the system bus.
        bool useLogind = true;
    };

    // One piece of work keeping the desktop awake; releases on destruction.
    class Hold {
    public:
        Hold() = default;
        Hold(Hold&& other) noexcept : m_owner(other.m_owner) { other.m_owner = nullptr; }
        Hold& operator=(Hold&& other) noexcept;
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
        ~Hold() { reset(); }
        void reset();
        bool held() const { return m_owner != nullptr; }

    private:
        friend class DesktopIdleInhibitor;
        explicit Hold(DesktopIdleInhibitor* owner) : m_owner(owner) {}
        DesktopIdleInhibitor* m_owner = nullptr;
    };

    DesktopIdleInhibitor();
    explicit DesktopIdleInhibitor(Options options);
    ~DesktopIdleInhibitor();
    DesktopIdleInhibitor(const DesktopIdleInhibitor&) = delete;
    DesktopIdleInhibitor& operator=(const DesktopIdleInhibitor&) = delete;

    // `reason` is shown by desktops that list what keeps them awake (the
    // first hold's reason is the one sent). Every hold must be gone before
    // the inhibitor is destroyed.
    Hold hold(const std::string& reason);
    int holds() const { return m_holds; }
    State state() const { return m_state; }
    // Called on every change of state().
    void setStateListener(std::function<void(State)> listener) { m_listener = std::move(listener); }

private:
    void release();
    void askScreenSaver(const std::string& reason);
    void askLogind(const std::string& reason);
    void setState(State state);
    void giveBack();

    Options m_options;
    int m_holds = 0;
    State m_state = State::Released;
    std::function<void(State)> m_listener;
    // What the desktop gave: the screen saver's cookie or logind's descriptor.
    bool m_haveCookie = false;
    uint32_t m_cookie = 0;
    int m_logindFd = -1;
    // The request in flight; its answer is given back at once when the holds
    // went meanwhile.
    std::unique_ptr<QDBusPendingCallWatcher> m_pending;
};
