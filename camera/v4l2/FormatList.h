#pragma once
// What a device can deliver, read from the driver: one capability per pixel
// format and size range, the format list the camera reports to the host, and
// the search for the offered size closest to a wish.
#include "camera/CMTypes.h"
#include "camera/v4l2/VideoDeviceIo.h"

#include <cstdint>
#include <vector>

namespace v4l2 {

// A size range of one pixel format. Discrete sizes are ranges of one size
// with a step of 1; continuous ranges have a step of 1 too.
struct Capability {
    uint32_t fourcc = 0;
    int minWidth = 0, maxWidth = 0, stepWidth = 0;
    int minHeight = 0, maxHeight = 0, stepHeight = 0;
};

// One entry per distinct pixel format, in the order the driver first shows
// it; sizes unique, ascending by width, then height.
struct FormatEntry {
    uint32_t fourcc = 0;
    int subtype = -1; // -1 outside the subtype table
    std::vector<_tag_CMSIZE> sizes;
};

// Capture formats and their frame sizes as the driver enumerates them.
std::vector<Capability> readCapabilities(VideoDeviceIo& io);
// The format list of those capabilities. A stepwise range contributes its
// smallest and largest size and the common sizes in between that lie on its grid.
std::vector<FormatEntry> buildFormatList(const std::vector<Capability>& capabilities);

struct ClosestSize {
    bool found = false;
    uint32_t fourcc = 0;
    int width = 0, height = 0;
};
// The offered size nearest (w, h) by |Δw| + |Δh|; an exact match wins at
// once. H.264, and formats outside the subtype table, are never chosen;
// ranges with a step below 1 are skipped.
ClosestSize closestSize(const std::vector<Capability>& capabilities, int width, int height);

// The stream a camera opens with: the offered size nearest (w, h) by
// |Δw| + |Δh| over every format the program can show; on a tie the higher
// frame rate, then the wanted format, then the subtype table's order.
// H.264 takes part only when it is the wanted format (decoding it costs
// more than any other). Frame rates come from VIDIOC_ENUM_FRAMEINTERVALS.
struct StreamChoice {
    bool found = false;
    uint32_t fourcc = 0;
    int width = 0, height = 0;
    uint32_t numerator = 0, denominator = 0; // the fastest interval; 0/0 when the driver lists none
};
StreamChoice chooseStream(VideoDeviceIo& io, const std::vector<Capability>& capabilities, uint32_t wantedFourcc,
                          int width, int height);

// The shortest frame interval the driver offers for this format and size
// (numerator, denominator); false when it lists none.
bool fastestInterval(VideoDeviceIo& io, uint32_t fourcc, int width, int height, uint32_t& numerator,
                     uint32_t& denominator);

} // namespace v4l2
