#include "camera/v4l2/VideoControls.h"

#include <algorithm>
#include <cstring>

namespace v4l2 {
namespace {
// A driver that never ends an enumeration must not hang the page.
constexpr int kMaxControls = 256;
constexpr int kMaxMenuItems = 64;
} // namespace

int queryControl(VideoDeviceIo& io, uint32_t id, v4l2_queryctrl& query)
{
    std::memset(&query, 0, sizeof query);
    query.id = id;
    const int rc = io.ioctl(VIDIOC_QUERYCTRL, &query);
    if (rc == 0 && (query.flags & V4L2_CTRL_FLAG_DISABLED))
        return -EINVAL;
    return rc;
}

int getControl(VideoDeviceIo& io, uint32_t id, int& value)
{
    v4l2_control control{id, 0};
    const int rc = io.ioctl(VIDIOC_G_CTRL, &control);
    if (rc == 0)
        value = control.value;
    return rc;
}

int setControl(VideoDeviceIo& io, uint32_t id, int value)
{
    v4l2_control control{id, value};
    return io.ioctl(VIDIOC_S_CTRL, &control);
}

std::vector<int> menuValues(VideoDeviceIo& io, const v4l2_queryctrl& query)
{
    std::vector<int> values;
    if (query.type != V4L2_CTRL_TYPE_MENU && query.type != V4L2_CTRL_TYPE_INTEGER_MENU)
        return values;
    const int64_t last = std::min<int64_t>(query.maximum, int64_t(query.minimum) + kMaxMenuItems);
    for (int64_t i = std::max(query.minimum, 0); i <= last; ++i) {
        v4l2_querymenu item{};
        item.id = query.id;
        item.index = static_cast<uint32_t>(i);
        if (io.ioctl(VIDIOC_QUERYMENU, &item) == 0)
            values.push_back(static_cast<int>(i));
    }
    return values;
}

std::optional<CMControlDescription> describeControl(const v4l2_queryctrl& query)
{
    if (query.flags & (V4L2_CTRL_FLAG_DISABLED | V4L2_CTRL_FLAG_READ_ONLY))
        return std::nullopt;
    CMControlDescription d;
    switch (query.type) {
    case V4L2_CTRL_TYPE_INTEGER: d.kind = CMControlDescription::Integer; break;
    case V4L2_CTRL_TYPE_BOOLEAN: d.kind = CMControlDescription::Boolean; break;
    case V4L2_CTRL_TYPE_MENU:
    case V4L2_CTRL_TYPE_INTEGER_MENU: d.kind = CMControlDescription::Menu; break;
    case V4L2_CTRL_TYPE_BUTTON: d.kind = CMControlDescription::Button; break;
    default: return std::nullopt;
    }
    d.id = query.id;
    const char* name = reinterpret_cast<const char*>(query.name);
    d.name.assign(name, strnlen(name, sizeof query.name));
    d.minimum = std::min(query.minimum, query.maximum);
    d.maximum = std::max(query.minimum, query.maximum);
    if (d.kind == CMControlDescription::Boolean) {
        d.minimum = 0;
        d.maximum = 1;
    }
    d.step = query.step >= 1 && query.step <= static_cast<int64_t>(d.maximum) - d.minimum ? query.step : 1;
    d.defaultValue = std::clamp(query.default_value, d.minimum, d.maximum);
    d.inactive = (query.flags & V4L2_CTRL_FLAG_INACTIVE) != 0;
    return d;
}

std::vector<CMControlDescription> describeControls(VideoDeviceIo& io)
{
    std::vector<CMControlDescription> out;
    uint32_t id = V4L2_CTRL_FLAG_NEXT_CTRL;
    for (int n = 0; n < kMaxControls; ++n) {
        v4l2_queryctrl query{};
        query.id = id;
        if (io.ioctl(VIDIOC_QUERYCTRL, &query) != 0)
            break;
        const uint32_t found = query.id;
        if (found <= (id & ~V4L2_CTRL_FLAG_NEXT_CTRL) && n > 0)
            break; // a driver that does not advance
        id = found | V4L2_CTRL_FLAG_NEXT_CTRL;
        std::optional<CMControlDescription> d = describeControl(query);
        if (!d)
            continue;
        if (d->kind == CMControlDescription::Menu) {
            for (int value : menuValues(io, query)) {
                v4l2_querymenu item{};
                item.id = query.id;
                item.index = static_cast<uint32_t>(value);
                if (io.ioctl(VIDIOC_QUERYMENU, &item) != 0)
                    continue;
                std::string label;
                if (query.type == V4L2_CTRL_TYPE_INTEGER_MENU) {
                    label = std::to_string(item.value);
                } else {
                    const char* text = reinterpret_cast<const char*>(item.name);
                    label.assign(text, strnlen(text, sizeof item.name));
                }
                d->menu.emplace_back(value, std::move(label));
            }
        }
        out.push_back(std::move(*d));
    }
    return out;
}

} // namespace v4l2
