#pragma once
// A thread that works through frames handed to it in a fixed set of slots,
// all allocated up front. The producer (a capture thread) copies a frame into
// a free slot and goes on: it never waits for the work, and a frame that
// finds every slot taken is dropped and counted instead. The slots are worked
// through in the order they were filled; finishing works through every frame
// still queued before the thread ends.
//
// Threads: the constructor, finish() and the destructor on the owner's
// thread; push() on one producer thread at a time, never during finish(); the
// work on the worker's own thread; the counters on any thread.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class FrameSlotWorker {
public:
    // What the worker does with a frame: its `slotBytes` bytes (valid only
    // during the call) and the tag given with it (a time stamp, say).
    using Work = std::function<void(const uint8_t* bytes, int64_t tag)>;

    // Allocates `slots` slots (at least one) of `slotBytes` bytes and starts
    // the worker. Throws std::bad_alloc, with no thread started, when the
    // slots cannot be had.
    FrameSlotWorker(size_t slots, size_t slotBytes, Work work);
    FrameSlotWorker(const FrameSlotWorker&) = delete;
    FrameSlotWorker& operator=(const FrameSlotWorker&) = delete;
    ~FrameSlotWorker() { finish(); }

    // Producer thread; never waits for the work and never allocates. Copies
    // slotBytes() bytes from `bytes` into a free slot and queues it with
    // `tag`. False when every slot is taken (the frame is dropped and
    // counted) or after finish() (not counted).
    bool push(const uint8_t* bytes, int64_t tag);
    // Owner thread. Works through every queued frame, then ends the thread.
    // Safe to call more than once.
    void finish();

    size_t slotBytes() const { return slotBytes_; }
    // Any thread. Frames the work was done for, and frames dropped because
    // no slot was free.
    int64_t framesDone() const { return done_.load(std::memory_order_relaxed); }
    int64_t framesDropped() const { return dropped_.load(std::memory_order_relaxed); }

private:
    void run();

    const size_t slotBytes_;
    Work work_;
    // Left unwritten until a frame is copied in: starting a recording does
    // not clear (and fault in) several full-size pictures on the caller's thread.
    std::vector<std::unique_ptr<uint8_t[]>> slots_;
    std::vector<int64_t> tags_;
    std::mutex mutex_;
    std::condition_variable wake_;
    // Under mutex_: slots ready for the worker, oldest first, as a ring of
    // slot numbers; and the free slots, as a stack.
    std::vector<size_t> ready_;
    size_t readyHead_ = 0;
    size_t readyCount_ = 0;
    std::vector<size_t> free_;
    bool stop_ = false;
    std::atomic<int64_t> done_{0};
    std::atomic<int64_t> dropped_{0};
    std::thread thread_;
};
