#pragma once
// FrameAnalysis: hands the pipeline's processed pictures (converted, shading
// corrected, processed by the camera: what the view shows) to a job on a
// worker thread of its own, for analysis that must keep up with the live
// picture (a focus figure, a stack merge, a panorama match). The capture
// thread copies a picture into the worker's one buffer only while the worker
// is idle; a frame arriving while a job runs is skipped and counted, never
// queued. The buffer is allocated once per picture size, never per frame.
// While any analysis is attached, MJPEG frames are decoded at full size.
//
// Results go to the UI thread through a LatestResult (app/view/LatestResult.h)
// the job fills, plus one posted window message per result taken.
//
// Threads: construct and destroy on the UI thread; offer() is the pipeline's
// (capture thread, under the pipeline's lock); the job runs on the worker;
// the counters and waitIdle() may be called from any thread but the worker.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class FramePipeline;

// One picture as a job sees it; valid only during the job.
struct AnalysisFrame {
    const uint8_t* rgba = nullptr; // width × height × 4 bytes R, G, B, A, rows top-down
    int width = 0;
    int height = 0;
    // Frames offered since the analysis was attached, the skipped ones
    // included (1 for the first).
    uint64_t number = 0;
};

class FrameAnalysis {
public:
    using Job = std::function<void(const AnalysisFrame&)>;

    // Starts the worker and attaches to `pipeline`: the next processed frame
    // is offered to `job`.
    FrameAnalysis(FramePipeline& pipeline, Job job);
    FrameAnalysis(const FrameAnalysis&) = delete;
    FrameAnalysis& operator=(const FrameAnalysis&) = delete;
    // Detaches (no frame is offered after it), lets a running job finish,
    // then joins the worker.
    ~FrameAnalysis();

    // Capture thread, from the pipeline. Copies the picture for the worker
    // when it is idle, else counts the frame as skipped and returns at once.
    // A picture whose buffer cannot be allocated is skipped as well.
    void offer(const uint8_t* rgba, int width, int height);

    // Frames the worker took and frames skipped because it was busy.
    uint64_t framesTaken() const { return taken_.load(std::memory_order_relaxed); }
    uint64_t framesSkipped() const { return skipped_.load(std::memory_order_relaxed); }
    // Waits until no picture waits and no job runs (tests, and a caller that
    // wants the last job's result before it reads it).
    void waitIdle();

private:
    void run();

    FramePipeline& pipeline_;
    Job job_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    // Guarded by mutex_. `pending_`: a picture waits in buffer_; `busy_`: the
    // worker owns buffer_ (from the copy until the job returns).
    std::vector<uint8_t> buffer_;
    int width_ = 0;
    int height_ = 0;
    uint64_t number_ = 0;
    uint64_t offered_ = 0;
    bool busy_ = false;
    bool stop_ = false;
    std::atomic<uint64_t> taken_{0};
    std::atomic<uint64_t> skipped_{0};
    std::thread worker_;
};
