#include "camera/v4l2/FormatList.h"

#include "camera/v4l2/SubtypeTable.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <cstdlib>

namespace v4l2 {
namespace {

// A driver that never ends an enumeration must not hang the listing.
constexpr uint32_t kMaxEnumerated = 256;

constexpr _tag_CMSIZE kCommonSizes[] = {{160, 120},   {320, 240},   {640, 480},   {800, 600},
                                        {1024, 768},  {1280, 720},  {1280, 960},  {1280, 1024},
                                        {1600, 1200}, {1920, 1080}, {2592, 1944}, {3840, 2160}};

bool onGrid(int value, int min, int max, int step) { return value >= min && value <= max && (value - min) % step == 0; }

// Nearest value of min, min+step, … ≤ max; the smaller one on a tie.
int nearestOnGrid(int wanted, int min, int max, int step)
{
    if (wanted <= min)
        return min;
    const int last = min + (max - min) / step * step;
    if (wanted >= last)
        return last;
    const int below = min + (wanted - min) / step * step;
    const int above = below + step;
    return wanted - below <= above - wanted ? below : above;
}

} // namespace

std::vector<Capability> readCapabilities(VideoDeviceIo& io)
{
    std::vector<Capability> capabilities;
    for (uint32_t f = 0; f < kMaxEnumerated; ++f) {
        v4l2_fmtdesc desc{};
        desc.index = f;
        desc.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (io.ioctl(VIDIOC_ENUM_FMT, &desc) != 0)
            break;
        for (uint32_t s = 0; s < kMaxEnumerated; ++s) {
            v4l2_frmsizeenum size{};
            size.index = s;
            size.pixel_format = desc.pixelformat;
            if (io.ioctl(VIDIOC_ENUM_FRAMESIZES, &size) != 0)
                break;
            Capability c;
            c.fourcc = desc.pixelformat;
            if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
                c.minWidth = c.maxWidth = static_cast<int>(std::min<uint32_t>(size.discrete.width, 65535));
                c.minHeight = c.maxHeight = static_cast<int>(std::min<uint32_t>(size.discrete.height, 65535));
                c.stepWidth = c.stepHeight = 1;
                capabilities.push_back(c);
                continue;
            }
            // Stepwise and continuous ranges come as one answer.
            const v4l2_frmsize_stepwise& sw = size.stepwise;
            c.minWidth = static_cast<int>(std::min<uint32_t>(sw.min_width, 65535));
            c.maxWidth = static_cast<int>(std::min<uint32_t>(sw.max_width, 65535));
            c.minHeight = static_cast<int>(std::min<uint32_t>(sw.min_height, 65535));
            c.maxHeight = static_cast<int>(std::min<uint32_t>(sw.max_height, 65535));
            const bool continuous = size.type == V4L2_FRMSIZE_TYPE_CONTINUOUS;
            c.stepWidth = continuous ? 1 : static_cast<int>(std::min<uint32_t>(sw.step_width, 65535));
            c.stepHeight = continuous ? 1 : static_cast<int>(std::min<uint32_t>(sw.step_height, 65535));
            if (c.minWidth > 0 && c.minHeight > 0 && c.minWidth <= c.maxWidth && c.minHeight <= c.maxHeight)
                capabilities.push_back(c);
            break;
        }
    }
    return capabilities;
}

std::vector<FormatEntry> buildFormatList(const std::vector<Capability>& capabilities)
{
    std::vector<FormatEntry> entries;
    for (const Capability& c : capabilities) {
        auto entry =
            std::find_if(entries.begin(), entries.end(), [&](const FormatEntry& e) { return e.fourcc == c.fourcc; });
        if (entry == entries.end()) {
            entries.push_back(FormatEntry{c.fourcc, subtypeOfFourcc(c.fourcc), {}});
            entry = entries.end() - 1;
        }
        std::vector<_tag_CMSIZE>& sizes = entry->sizes;
        sizes.push_back({c.minWidth, c.minHeight});
        if (c.maxWidth != c.minWidth || c.maxHeight != c.minHeight) {
            sizes.push_back({c.maxWidth, c.maxHeight});
            if (c.stepWidth >= 1 && c.stepHeight >= 1)
                for (const _tag_CMSIZE& s : kCommonSizes)
                    if (onGrid(s.width, c.minWidth, c.maxWidth, c.stepWidth) &&
                        onGrid(s.height, c.minHeight, c.maxHeight, c.stepHeight))
                        sizes.push_back(s);
        }
    }
    for (FormatEntry& e : entries) {
        auto less = [](const _tag_CMSIZE& a, const _tag_CMSIZE& b) {
            return a.width != b.width ? a.width < b.width : a.height < b.height;
        };
        auto same = [](const _tag_CMSIZE& a, const _tag_CMSIZE& b) {
            return a.width == b.width && a.height == b.height;
        };
        std::sort(e.sizes.begin(), e.sizes.end(), less);
        e.sizes.erase(std::unique(e.sizes.begin(), e.sizes.end(), same), e.sizes.end());
    }
    return entries;
}

ClosestSize closestSize(const std::vector<Capability>& capabilities, int width, int height)
{
    ClosestSize best;
    long bestWidth = 9999999, bestHeight = 9999999;
    for (const Capability& c : capabilities) {
        const int subtype = subtypeOfFourcc(c.fourcc);
        if (subtype < 0 || subtype == kSubtypeH264)
            continue;
        if (c.stepWidth < 1 || c.stepHeight < 1)
            continue;
        const int w = nearestOnGrid(width, c.minWidth, c.maxWidth, c.stepWidth);
        const int h = nearestOnGrid(height, c.minHeight, c.maxHeight, c.stepHeight);
        if (w == width && h == height)
            return ClosestSize{true, c.fourcc, w, h};
        const long distance = std::labs(long(width) - w) + std::labs(long(height) - h);
        if (distance < std::labs(long(width) - bestWidth) + std::labs(long(height) - bestHeight)) {
            bestWidth = w;
            bestHeight = h;
            best = ClosestSize{true, c.fourcc, w, h};
        }
    }
    return best;
}

StreamChoice chooseStream(VideoDeviceIo& io, const std::vector<Capability>& capabilities, uint32_t wantedFourcc,
                          int width, int height)
{
    StreamChoice best;
    long bestDistance = 0;
    double bestRate = 0;
    int bestSubtype = 0;
    for (const Capability& c : capabilities) {
        const int subtype = subtypeOfFourcc(c.fourcc);
        if (!isShowableSubtype(subtype) || (subtype == kSubtypeH264 && c.fourcc != wantedFourcc))
            continue;
        if (c.stepWidth < 1 || c.stepHeight < 1)
            continue;
        const int w = nearestOnGrid(width, c.minWidth, c.maxWidth, c.stepWidth);
        const int h = nearestOnGrid(height, c.minHeight, c.maxHeight, c.stepHeight);
        const long distance = std::labs(long(width) - w) + std::labs(long(height) - h);
        uint32_t numerator = 0, denominator = 0;
        const double rate =
            fastestInterval(io, c.fourcc, w, h, numerator, denominator) ? double(denominator) / numerator : 0.0;
        bool better = !best.found || distance < bestDistance;
        if (best.found && distance == bestDistance) {
            const bool wanted = c.fourcc == wantedFourcc, bestWanted = best.fourcc == wantedFourcc;
            if (rate != bestRate)
                better = rate > bestRate;
            else if (wanted != bestWanted)
                better = wanted;
            else
                better = subtype < bestSubtype;
        }
        if (better) {
            best = StreamChoice{true, c.fourcc, w, h, numerator, denominator};
            bestDistance = distance;
            bestRate = rate;
            bestSubtype = subtype;
        }
    }
    return best;
}

bool fastestInterval(VideoDeviceIo& io, uint32_t fourcc, int width, int height, uint32_t& numerator,
                     uint32_t& denominator)
{
    bool found = false;
    for (uint32_t i = 0; i < kMaxEnumerated; ++i) {
        v4l2_frmivalenum interval{};
        interval.index = i;
        interval.pixel_format = fourcc;
        interval.width = static_cast<uint32_t>(width);
        interval.height = static_cast<uint32_t>(height);
        if (io.ioctl(VIDIOC_ENUM_FRAMEINTERVALS, &interval) != 0)
            break;
        const v4l2_fract f = interval.type == V4L2_FRMIVAL_TYPE_DISCRETE ? interval.discrete : interval.stepwise.min;
        if (f.numerator == 0 || f.denominator == 0)
            continue;
        // a/b < c/d  ⇔  a·d < c·b
        if (!found || uint64_t(f.numerator) * denominator < uint64_t(numerator) * f.denominator) {
            numerator = f.numerator;
            denominator = f.denominator;
            found = true;
        }
        if (interval.type != V4L2_FRMIVAL_TYPE_DISCRETE)
            break;
    }
    return found;
}

} // namespace v4l2
