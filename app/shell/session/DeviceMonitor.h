#pragma once
// Watches udev for cameras coming and going ("video4linux" and "usb"
// subsystems) on a thread of its own and posts WM_DEVICECHANGE to a window:
// wParam 0x8000 for an arrival, 0x8004 for a removal. The window merges a
// burst of them into one listing.
#include "platform/WindowMessages.h"

#include <atomic>
#include <thread>

struct udev;
struct udev_monitor;

namespace shell {

class DeviceMonitor {
public:
    static constexpr platform::WPARAM kArrival = 0x8000;
    static constexpr platform::WPARAM kRemoval = 0x8004;

    // Starts watching; without udev (a container) nothing is posted.
    explicit DeviceMonitor(platform::HWND window);
    DeviceMonitor(const DeviceMonitor&) = delete;
    DeviceMonitor& operator=(const DeviceMonitor&) = delete;
    // Stops the thread and waits for it.
    ~DeviceMonitor();

    bool IsWatching() const { return m_thread.joinable(); }

private:
    void Run(udev_monitor* monitor);

    platform::HWND m_window;
    udev* m_udev = nullptr;
    udev_monitor* m_monitor = nullptr;
    int m_wake[2] = {-1, -1}; // a pipe that ends the thread
    std::thread m_thread;
};

} // namespace shell
