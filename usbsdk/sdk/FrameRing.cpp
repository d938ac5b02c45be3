#include "usbsdk/sdk/FrameRing.h"

#include <new>

#include "platform/DebugOutput.h"

namespace usbsdk {

FrameRing::FrameRing(size_t initialSlotSize)
{
    buffer_.reset(new (std::nothrow) uint8_t[kSlotCount * initialSlotSize]);
    slotSize_ = initialSlotSize;
    valid_ = buffer_ != nullptr;
    if (!valid_)
        platform::DebugPrintf("sensorlink: memory alloc failed!\n");
}

bool FrameRing::valid() const
{
    std::lock_guard lock(mutex_);
    return valid_;
}

size_t FrameRing::slotSize() const
{
    std::lock_guard lock(mutex_);
    return slotSize_;
}

bool FrameRing::reserve(size_t frameSize)
{
    std::unique_lock lock(mutex_);
    if (valid_ && frameSize <= slotSize_)
        return true;
    size_t grown = slotSize_ ? slotSize_ : kInitialSlotSize;
    while (grown < frameSize)
        grown += kGrowStep;
    if (grown > kMaxSlotSize)
        return false;
    // Take the ring away from the reader, then wait until it left any callback.
    valid_ = false;
    idle_.wait(lock, [this] { return !delivering_; });
    buffer_.reset();
    buffer_.reset(new (std::nothrow) uint8_t[kSlotCount * grown]);
    if (!buffer_) {
        platform::DebugPrintf("sensorlink: memory alloc failed!\n");
        return false;
    }
    slotSize_ = grown;
    writeIndex_ = readIndex_ = 0;
    valid_ = true;
    return true;
}

uint8_t* FrameRing::writeSlot()
{
    std::lock_guard lock(mutex_);
    return valid_ ? buffer_.get() + static_cast<size_t>(writeIndex_) * slotSize_ : nullptr;
}

bool FrameRing::commit(int frameSize)
{
    std::lock_guard lock(mutex_);
    ++completed_;
    const int next = (writeIndex_ + 1) % kSlotCount;
    if (valid_ && next != readIndex_) {
        slotFrameSize_[writeIndex_] = frameSize;
        writeIndex_ = next;
        return true;
    }
    ++dropped_;
    return false;
}

bool FrameRing::take(Frame& frame)
{
    std::lock_guard lock(mutex_);
    if (!valid_ || readIndex_ == writeIndex_)
        return false;
    delivering_ = true;
    frame.data = buffer_.get() + static_cast<size_t>(readIndex_) * slotSize_;
    frame.size = slotFrameSize_[readIndex_];
    return true;
}

void FrameRing::release()
{
    std::lock_guard lock(mutex_);
    if (!delivering_)
        return;
    delivering_ = false;
    // After a rebuild the indices restarted; the old slot is gone, nothing to advance.
    if (valid_)
        readIndex_ = (readIndex_ + 1) % kSlotCount;
    idle_.notify_all();
}

void FrameRing::resetIndices()
{
    std::lock_guard lock(mutex_);
    writeIndex_ = readIndex_ = 0;
    completed_ = dropped_ = 0;
}

int FrameRing::framesCompleted() const
{
    std::lock_guard lock(mutex_);
    return completed_;
}

int FrameRing::framesDropped() const
{
    std::lock_guard lock(mutex_);
    return dropped_;
}

int FrameRing::stored() const
{
    std::lock_guard lock(mutex_);
    return (writeIndex_ - readIndex_ + kSlotCount) % kSlotCount;
}

} // namespace usbsdk
