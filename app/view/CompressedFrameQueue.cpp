#include "app/view/CompressedFrameQueue.h"

#include <algorithm>
#include <utility>

CompressedFrameQueue::CompressedFrameQueue(size_t capacity) : ring_(std::max<size_t>(1, capacity))
{
    // Every buffer in circulation: one per slot, the decoder's, the one its
    // owner keeps of the last decoded frame, and the one a push fills.
    spare_.reserve(ring_.size() + 3);
}

void CompressedFrameQueue::push(const CWImage& frame, Clock::time_point arrived, uint64_t sequence)
{
    std::vector<uint8_t> buffer;
    {
        std::lock_guard guard(mutex_);
        if (closed_)
            return;
        if (!spare_.empty()) {
            buffer.swap(spare_.back());
            spare_.pop_back();
        }
    }
    // The copy runs outside the lock, so the decoder never waits for it.
    buffer.assign(frame.data, frame.data + frame.dataSize);
    {
        std::lock_guard guard(mutex_);
        if (closed_)
            return;
        if (count_ == ring_.size())
            dropOldestLocked();
        Frame& slot = ring_[(head_ + count_) % ring_.size()];
        slot.bytes.swap(buffer);
        slot.format = frame.format;
        slot.width = frame.width;
        slot.height = frame.height;
        slot.arrived = arrived;
        slot.sequence = sequence;
        ++count_;
        if (buffer.capacity() > 0)
            spare_.push_back(std::move(buffer));
    }
    ready_.notify_one();
}

void CompressedFrameQueue::clear()
{
    std::lock_guard guard(mutex_);
    while (count_ > 0)
        dropOldestLocked();
}

void CompressedFrameQueue::dropOldestLocked()
{
    Frame& oldest = ring_[head_];
    if (oldest.bytes.capacity() > 0)
        spare_.push_back(std::move(oldest.bytes));
    oldest.bytes = {};
    head_ = (head_ + 1) % ring_.size();
    --count_;
    dropped_.fetch_add(1, std::memory_order_relaxed);
}

bool CompressedFrameQueue::pop(Frame& frame)
{
    std::unique_lock guard(mutex_);
    ready_.wait(guard, [this] { return closed_ || count_ > 0; });
    if (closed_)
        return false;
    Frame& slot = ring_[head_];
    frame.bytes.swap(slot.bytes);
    frame.format = slot.format;
    frame.width = slot.width;
    frame.height = slot.height;
    frame.arrived = slot.arrived;
    frame.sequence = slot.sequence;
    if (slot.bytes.capacity() > 0)
        spare_.push_back(std::move(slot.bytes));
    slot.bytes = {};
    head_ = (head_ + 1) % ring_.size();
    --count_;
    return true;
}

void CompressedFrameQueue::close()
{
    {
        std::lock_guard guard(mutex_);
        closed_ = true;
    }
    ready_.notify_all();
}
