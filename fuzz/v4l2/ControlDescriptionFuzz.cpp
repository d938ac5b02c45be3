// The property page's reading of control descriptions from a driver that
// answers with arbitrary bytes: names without terminators, inverted ranges,
// zero steps, ids that do not advance, menus with holes. The enumeration
// must end, and every description must be sane.
#include "camera/v4l2/VideoControls.h"

#include <cstdlib>
#include <cstring>

namespace {

// A device whose every answer is the next slice of the fuzz input.
class FuzzedDevice : public v4l2::VideoDeviceIo {
public:
    FuzzedDevice(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    int ioctl(unsigned long request, void* arg) override
    {
        size_t need = 0;
        if (request == VIDIOC_QUERYCTRL)
            need = sizeof(v4l2_queryctrl);
        else if (request == VIDIOC_QUERYMENU)
            need = sizeof(v4l2_querymenu);
        else
            return -ENOTTY;
        if (m_pos + need + 1 > m_size)
            return -EINVAL;
        const bool fails = m_data[m_pos++] & 1;
        if (fails)
            return -EINVAL;
        std::memcpy(arg, m_data + m_pos, need);
        m_pos += need;
        return 0;
    }
    void* map(size_t, uint32_t) override { return nullptr; }
    void unmap(void*, size_t) override {}
    int poll(int) override { return -EINVAL; }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDevice device(data, size);
    for (const CMControlDescription& d : v4l2::describeControls(device)) {
        if (d.minimum > d.maximum || d.step < 1 || d.defaultValue < d.minimum || d.defaultValue > d.maximum)
            std::abort();
        if (d.name.size() > 32)
            std::abort();
        for (const auto& item : d.menu)
            if (item.second.size() > 32)
                std::abort();
    }
    return 0;
}
