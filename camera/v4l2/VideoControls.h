#pragma once
// The device's V4L2 controls: query, read, write, menus, and the
// descriptions of all of them for the property page. Any thread.
#include "camera/PropertyPageHook.h"
#include "camera/v4l2/VideoDeviceIo.h"

#include <linux/videodev2.h>

#include <optional>

namespace v4l2 {

// 0 or -errno.
int queryControl(VideoDeviceIo& io, uint32_t id, v4l2_queryctrl& query);
int getControl(VideoDeviceIo& io, uint32_t id, int& value);
int setControl(VideoDeviceIo& io, uint32_t id, int value);
// The menu values of a menu control that the driver names (gaps left out).
std::vector<int> menuValues(VideoDeviceIo& io, const v4l2_queryctrl& query);

// A control as the property page shows it, from the driver's answer; null
// for controls the page leaves out (disabled, class headers, read-only
// strings and other types). Names need no terminator in the answer, ranges
// are made sane (min ≤ max, step ≥ 1, default within range).
std::optional<CMControlDescription> describeControl(const v4l2_queryctrl& query);
// Every control of the device the page can show, menus with their labels.
std::vector<CMControlDescription> describeControls(VideoDeviceIo& io);

} // namespace v4l2
