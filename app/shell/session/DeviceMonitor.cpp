#include "app/shell/session/DeviceMonitor.h"

#include "platform/DebugOutput.h"

#include <cstring>
#include <fcntl.h>
#include <libudev.h>
#include <poll.h>
#include <unistd.h>

namespace shell {

DeviceMonitor::DeviceMonitor(platform::HWND window) : m_window(window)
{
    m_udev = udev_new();
    if (!m_udev)
        return;
    m_monitor = udev_monitor_new_from_netlink(m_udev, "udev");
    if (!m_monitor || udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "video4linux", nullptr) < 0 ||
        udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "usb", "usb_device") < 0 ||
        udev_monitor_enable_receiving(m_monitor) < 0 || ::pipe2(m_wake, O_CLOEXEC) != 0) {
        platform::DebugPrintf("device monitor: udev not available; cameras are listed on request only\n");
        return;
    }
    m_thread = std::thread([this] { Run(m_monitor); });
}

DeviceMonitor::~DeviceMonitor()
{
    if (m_thread.joinable()) {
        const char stop = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_wake[1], &stop, 1);
        m_thread.join();
    }
    for (int fd : m_wake)
        if (fd >= 0)
            ::close(fd);
    if (m_monitor)
        udev_monitor_unref(m_monitor);
    if (m_udev)
        udev_unref(m_udev);
}

void DeviceMonitor::Run(udev_monitor* monitor)
{
    pollfd fds[2] = {{udev_monitor_get_fd(monitor), POLLIN, 0}, {m_wake[0], POLLIN, 0}};
    for (;;) {
        if (::poll(fds, 2, -1) < 0)
            continue;
        if (fds[1].revents)
            return;
        if (!(fds[0].revents & POLLIN))
            continue;
        udev_device* device = udev_monitor_receive_device(monitor);
        if (!device)
            continue;
        const char* action = udev_device_get_action(device);
        platform::WPARAM kind = 0;
        if (action && std::strcmp(action, "add") == 0)
            kind = kArrival;
        else if (action && std::strcmp(action, "remove") == 0)
            kind = kRemoval;
        udev_device_unref(device);
        if (kind)
            platform::PostMessage(m_window, platform::WM_DEVICECHANGE, kind);
    }
}

} // namespace shell
