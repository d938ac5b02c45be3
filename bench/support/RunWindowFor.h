#pragma once
// Runs the program's event loop in a benchmark of the whole window.
#include "ui/Application.h"

#include <chrono>
#include <functional>

namespace benchscenes {

// Processes window events for up to `seconds`, or until `done` says true
// (checked every 5 ms); true when `done` ended it.
inline bool RunWindowFor(
    double seconds, const std::function<bool()>& done = [] { return false; })
{
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < end) {
        ui::Application::processEventsFor(5);
        if (done())
            return true;
    }
    return false;
}

} // namespace benchscenes
