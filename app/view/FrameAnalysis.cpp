#include "app/view/FrameAnalysis.h"

#include "app/view/FramePipeline.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

FrameAnalysis::FrameAnalysis(FramePipeline& pipeline, Job job, FrameAnalysisOptions options)
    : pipeline_(pipeline), job_(std::move(job)), options_(std::move(options))
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
        if (stop_ || (busy_ && !options_.keepNewest)) {
            skipped_.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        if (busy_) {
            // The frame waiting there (if any) is older: it is the one skipped.
            if (sparePending_)
                skipped_.fetch_add(1, std::memory_order_relaxed);
            sparePending_ = copyInto(spare_, rgba, width, height);
            if (!sparePending_)
                skipped_.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        if (!copyInto(current_, rgba, width, height)) {
            skipped_.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        busy_ = true;
    }
    taken_.fetch_add(1, std::memory_order_relaxed);
    wake_.notify_one();
}

bool FrameAnalysis::copyInto(Picture& into, const uint8_t* rgba, int width, int height)
{
    AnalysisRegion r{0, 0, width, height};
    if (options_.region) {
        const AnalysisRegion wanted = options_.region(width, height);
        const int left = std::max(wanted.left, 0), top = std::max(wanted.top, 0);
        const int right = std::min(wanted.left + std::max(wanted.width, 0), width);
        const int bottom = std::min(wanted.top + std::max(wanted.height, 0), height);
        if (right > left && bottom > top)
            r = {left, top, right - left, bottom - top};
    }
    const size_t rowBytes = size_t(r.width) * 4;
    const size_t bytes = rowBytes * size_t(r.height);
    if (into.bytes.size() != bytes) {
        // A new picture or region size: the one allocation until the next.
        try {
            into.bytes.resize(bytes);
        } catch (const std::bad_alloc&) {
            into.bytes.clear();
            return false;
        }
    }
    const size_t pictureRowBytes = size_t(width) * 4;
    const uint8_t* from = rgba + size_t(r.top) * pictureRowBytes + size_t(r.left) * 4;
    if (rowBytes == pictureRowBytes)
        std::memcpy(into.bytes.data(), from, bytes);
    else
        for (int y = 0; y < r.height; ++y)
            std::memcpy(into.bytes.data() + size_t(y) * rowBytes, from + size_t(y) * pictureRowBytes, rowBytes);
    into.frame = AnalysisFrame{into.bytes.data(), r.width, r.height, offered_, r.left, r.top, width, height};
    return true;
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
        const AnalysisFrame frame = current_.frame;
        // The buffer is the worker's while busy_: the capture thread skips
        // or fills the spare one.
        guard.unlock();
        job_(frame);
        guard.lock();
        if (sparePending_ && !stop_) {
            // A newer frame came meanwhile: on to it at once, still busy.
            std::swap(current_, spare_);
            sparePending_ = false;
            taken_.fetch_add(1, std::memory_order_relaxed);
            continue;
        }
        busy_ = false;
        idle_.notify_all();
    }
    busy_ = false;
    idle_.notify_all();
}
