#pragma once
// The four-slot frame ring between the stream thread (writer) and the delivery
// thread (reader). A slot holds one frame as delivered: leader, then payload.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

namespace usbsdk {

class FrameRing {
public:
    static constexpr int kSlotCount = 4;
    static constexpr size_t kInitialSlotSize = 0x500000;
    static constexpr size_t kGrowStep = 0x40000;
    static constexpr size_t kMaxSlotSize = 0x2000000;

    // Allocates kSlotCount slots of `initialSlotSize` bytes; valid() tells
    // whether it worked.
    explicit FrameRing(size_t initialSlotSize = kInitialSlotSize);

    bool valid() const;
    size_t slotSize() const;

    // --- writer (stream thread) ---
    // Makes sure a frame of `frameSize` bytes fits a slot, rebuilding the ring
    // with slots grown in kGrowStep steps when needed. A rebuild waits until no
    // delivery is in progress. False when the frame cannot be held (above the
    // 32 MiB cap or out of memory); the ring is left as it was in the first case.
    bool reserve(size_t frameSize);
    // The slot being filled, or null without a ring.
    uint8_t* writeSlot();
    // A frame of `frameSize` bytes is complete in the write slot: stores it when
    // a slot is free (true), otherwise counts it as dropped.
    bool commit(int frameSize);

    // --- reader (delivery thread) ---
    struct Frame {
        const uint8_t* data;
        int size;
    };
    // The oldest stored frame, marking a delivery in progress; false when empty.
    bool take(Frame& frame);
    // Ends the delivery begun by take() and frees its slot.
    void release();

    // Zeroes indices and counters (login, logout).
    void resetIndices();
    int framesCompleted() const;
    int framesDropped() const;
    int stored() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable idle_;
    std::unique_ptr<uint8_t[]> buffer_;
    size_t slotSize_ = 0;
    bool valid_ = false;
    bool delivering_ = false;
    int writeIndex_ = 0;
    int readIndex_ = 0;
    int completed_ = 0;
    int dropped_ = 0;
    int slotFrameSize_[kSlotCount] = {};
};

} // namespace usbsdk
