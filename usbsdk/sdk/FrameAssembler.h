#pragma once
// Rebuilds frames from the stream's transfers and stores them in the ring.
// Used by the stream thread only; the geometry getters are for that thread too.
#include <cstddef>
#include <cstdint>

#include "usbsdk/sdk/FrameRing.h"

namespace usbsdk {

struct FrameGeometry {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t pixelFormat = 0;
    size_t frameSize = 0;
};

class FrameAssembler {
public:
    FrameAssembler(FrameRing& ring, uint32_t maxDimension) : ring_(ring), maxDimension_(maxDimension) {}

    // Handles one completed transfer of `length` bytes.
    void onTransfer(const uint8_t* data, size_t length);
    // Forgets a partly received frame (a new capture run starts clean).
    void restart();

    const FrameGeometry& geometry() const { return geometry_; }

private:
    void onLeader(const uint8_t* data);
    void onTrailer();
    void onPayload(const uint8_t* data, size_t length);

    FrameRing& ring_;
    const uint32_t maxDimension_;
    FrameGeometry geometry_;
    bool inFrame_ = false;
    size_t received_ = 0;
    uint8_t* slot_ = nullptr;
};

} // namespace usbsdk
