#include "app/view/FrameAnalysis.h"

#include "app/view/FramePipeline.h"

#include <cstring>
#include <new>

FrameAnalysis::FrameAnalysis(FramePipeline& pipeline, Job job) : pipeline_(pipeline), job_(std::move(job))
{
    worker_ = std::thread([this] { run(); });
    pipeline_.attachAnalysis(this);
}

FrameAnalysis::~FrameAnalysis()
{
    // Under the pipeline's lock: once detached, no offer is in flight.
    pipeline_.detachAnalysis(this);
    {
        std::lock_guard guard(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    worker_.join();
}

void FrameAnalysis::offer(const uint8_t* rgba, int width, int height)
{
    if (!rgba || width <= 0 || height <= 0)
        return;
    {
        std::lock_guard guard(mutex_);
        ++offered_;
        if (busy_ || stop_) {
            skipped_.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        const size_t bytes = size_t(width) * size_t(height) * 4;
        if (buffer_.size() != bytes) {
            // A new picture size: the one allocation until the next.
            try {
                buffer_.resize(bytes);
            } catch (const std::bad_alloc&) {
                buffer_.clear();
                skipped_.fetch_add(1, std::memory_order_relaxed);
                return;
            }
        }
        std::memcpy(buffer_.data(), rgba, bytes);
        width_ = width;
        height_ = height;
        number_ = offered_;
        busy_ = true;
    }
    taken_.fetch_add(1, std::memory_order_relaxed);
    wake_.notify_one();
}

void FrameAnalysis::waitIdle()
{
    std::unique_lock guard(mutex_);
    idle_.wait(guard, [this] { return !busy_ || stop_; });
}

void FrameAnalysis::run()
{
    std::unique_lock guard(mutex_);
    for (;;) {
        wake_.wait(guard, [this] { return busy_ || stop_; });
        if (stop_)
            break;
        const AnalysisFrame frame{buffer_.data(), width_, height_, number_};
        // The buffer is the worker's while busy_: the capture thread skips.
        guard.unlock();
        job_(frame);
        guard.lock();
        busy_ = false;
        idle_.notify_all();
    }
    busy_ = false;
    idle_.notify_all();
}
