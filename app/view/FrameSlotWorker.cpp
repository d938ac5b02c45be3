#include "app/view/FrameSlotWorker.h"

#include <algorithm>
#include <cstring>

FrameSlotWorker::FrameSlotWorker(size_t slots, size_t slotBytes, Work work)
    : slotBytes_(slotBytes), work_(std::move(work))
{
    slots = std::max<size_t>(slots, 1);
    slots_.reserve(slots);
    for (size_t i = 0; i < slots; ++i)
        slots_.push_back(std::make_unique_for_overwrite<uint8_t[]>(slotBytes));
    tags_.resize(slots);
    ready_.resize(slots);
    free_.reserve(slots);
    for (size_t i = slots; i-- > 0;)
        free_.push_back(i);
    thread_ = std::thread([this] { run(); });
}

bool FrameSlotWorker::push(const uint8_t* bytes, int64_t tag)
{
    size_t slot = 0;
    {
        std::lock_guard lock(mutex_);
        if (stop_)
            return false;
        if (free_.empty()) {
            dropped_.fetch_add(1, std::memory_order_relaxed);
            return false;
        }
        slot = free_.back();
        free_.pop_back();
    }
    // The slot is the producer's alone until it is queued: the copy runs
    // outside the lock, so the worker is never kept from the next frame.
    std::memcpy(slots_[slot].get(), bytes, slotBytes_);
    tags_[slot] = tag;
    {
        std::lock_guard lock(mutex_);
        ready_[(readyHead_ + readyCount_) % ready_.size()] = slot;
        ++readyCount_;
    }
    wake_.notify_one();
    return true;
}

void FrameSlotWorker::finish()
{
    if (!thread_.joinable())
        return;
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void FrameSlotWorker::run()
{
    for (;;) {
        size_t slot = 0;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return readyCount_ > 0 || stop_; });
            if (readyCount_ == 0)
                return; // stopped, and nothing left to work through
            slot = ready_[readyHead_];
            readyHead_ = (readyHead_ + 1) % ready_.size();
            --readyCount_;
        }
        work_(slots_[slot].get(), tags_[slot]);
        done_.fetch_add(1, std::memory_order_relaxed);
        std::lock_guard lock(mutex_);
        free_.push_back(slot);
    }
}
