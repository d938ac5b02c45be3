#pragma once
// The X server and window manager a desktop test starts for itself: Xvfb on
// a display number it picks itself, so suites running at the same time never
// share a display, and the programs the test runs on it.
#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

namespace desktoptest {

// Runs `args` (looked up in PATH) with its output thrown away; `keepFd`
// stays open in it. The child is killed when the test ends.
pid_t Spawn(const std::vector<std::string>& args, int keepFd = -1);

// SIGTERM, then SIGKILL if it does not end within `patience`; true when it
// exited by itself with status 0.
bool Terminate(pid_t pid, std::chrono::milliseconds patience);

// Xvfb with a width × height × 24 screen; its display name (":N"), or ""
// when it did not report one within 10 s. `pid` is the server's once started.
std::string StartXvfb(int width, int height, pid_t& pid);

} // namespace desktoptest
