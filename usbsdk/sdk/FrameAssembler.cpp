#include "usbsdk/sdk/FrameAssembler.h"

#include <algorithm>
#include <cstring>

#include "usbsdk/sdk/Protocol.h"
#include "usbsdk/sdk/StreamFormat.h"

namespace usbsdk {

using protocol::get16;
using protocol::get32;

void FrameAssembler::restart()
{
    inFrame_ = false;
    received_ = 0;
    slot_ = nullptr;
}

void FrameAssembler::onTransfer(const uint8_t* data, size_t length)
{
    if (length == stream::kLeaderSize && get32(data) == stream::kLeaderMagic) {
        onLeader(data);
    } else if (length == stream::kTrailerSize && !(inFrame_ && received_ + length == geometry_.frameSize)) {
        // A 32-byte transfer that completes the frame exactly is its last
        // payload chunk; the trailer follows it.
        onTrailer();
    } else {
        // Includes a 52-byte payload chunk: it is a leader only with the magic.
        onPayload(data, length);
    }
}

void FrameAssembler::onLeader(const uint8_t* data)
{
    // Whatever was being received is over; a refused leader also discards
    // the payload that follows it.
    inFrame_ = false;
    received_ = 0;
    if (get16(data + stream::kLeaderSizeOffset) != stream::kLeaderSize)
        return;
    const uint32_t format = get32(data + stream::kPixelFormatOffset);
    const uint32_t width = get32(data + stream::kWidthOffset);
    const uint32_t height = get32(data + stream::kHeightOffset);
    if (width < 1 || width > maxDimension_ || height < 1 || height > maxDimension_)
        return;

    if (width != geometry_.width || height != geometry_.height || format != geometry_.pixelFormat || !ring_.valid()) {
        const size_t size = stream::frameSize(width, height);
        // A leader the ring cannot hold is refused without forgetting the
        // geometry that still works.
        if (!ring_.reserve(size))
            return;
        geometry_ = FrameGeometry{width, height, format, size};
    }
    slot_ = ring_.writeSlot();
    if (!slot_)
        return;
    std::memcpy(slot_, data, stream::kLeaderSize);
    inFrame_ = true;
    received_ = stream::kLeaderSize;
}

void FrameAssembler::onTrailer()
{
    if (inFrame_ && received_ == geometry_.frameSize)
        ring_.commit(static_cast<int>(geometry_.frameSize));
    inFrame_ = false;
    received_ = 0;
}

void FrameAssembler::onPayload(const uint8_t* data, size_t length)
{
    if (!inFrame_ || !slot_)
        return;
    const size_t room = ring_.slotSize() > received_ ? ring_.slotSize() - received_ : 0;
    std::memcpy(slot_ + received_, data, std::min(length, room));
    received_ += length;
}

} // namespace usbsdk
