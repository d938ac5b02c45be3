#pragma once
// Compressed camera frames waiting for the decoder. It holds at most
// `capacity` frames: a frame that arrives when it is full pushes the oldest
// out, and that drop is counted, so a decoder that falls behind costs frames,
// never delay or memory. The byte buffers go round between the queue and the
// decoder, so a steady stream allocates nothing once each has grown.
//
// Threads: push() and clear() on the one thread that delivers frames (the
// capture thread), never waiting for the decoder; pop() on the decoding
// thread; close() and dropped() on any thread.

#include "camera/CWImage.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

class CompressedFrameQueue {
public:
    using Clock = std::chrono::steady_clock;
    struct Frame {
        std::vector<uint8_t> bytes;
        int format = 0;
        int width = 0;
        int height = 0;
        Clock::time_point arrived;
        uint64_t sequence = 0;
    };

    explicit CompressedFrameQueue(size_t capacity);
    CompressedFrameQueue(const CompressedFrameQueue&) = delete;
    CompressedFrameQueue& operator=(const CompressedFrameQueue&) = delete;

    // Copies the frame's bytes in (the camera's buffer is gone after the
    // callback). Holds the queue's lock only to swap buffers, never while a
    // frame decodes. Ignored after close().
    void push(const CWImage& frame, Clock::time_point arrived, uint64_t sequence);
    // Drops the frames still waiting (counted): a newer picture made them stale.
    void clear();
    // Waits for the oldest waiting frame and swaps it into `frame` (whose
    // previous buffer the queue keeps for a later push). False once closed.
    bool pop(Frame& frame);
    // Wakes pop() for good; frames still waiting are left undecoded.
    void close();
    // Frames that left the queue without being decoded.
    int64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

private:
    // Puts the buffer of the oldest waiting frame aside (lock held).
    void dropOldestLocked();

    std::mutex mutex_;
    std::condition_variable ready_;
    std::vector<Frame> ring_;
    size_t head_ = 0;
    size_t count_ = 0;
    std::vector<std::vector<uint8_t>> spare_;
    bool closed_ = false;
    std::atomic<int64_t> dropped_{0};
};
