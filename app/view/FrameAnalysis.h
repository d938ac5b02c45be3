#pragma once
// FrameAnalysis: hands the pipeline's processed pictures (converted, shading
// corrected, processed by the camera: what the view shows) to a job on a
// worker thread of its own, for analysis that must keep up with the live
// picture (a focus figure, a stack merge, a panorama match). The capture
// thread copies a picture into the worker's one buffer only while the worker
// is idle; a frame arriving while a job runs is skipped and counted, never
// queued. The buffer is allocated once per picture size, never per frame.
// Options: an analysis may keep the newest frame that came while its job ran
// (one spare buffer, each newer frame replacing the one waiting there) and
// start on it as soon as the job ends, so a frame seen only while the worker
// is busy still reaches it and the worker never idles waiting for the next;
// and it may take only the part of each picture it measures.
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
    // Where these pixels lie in the picture, and the picture's size: the
    // whole picture (0, 0, width, height) unless the analysis takes a region.
    int left = 0;
    int top = 0;
    int pictureWidth = 0;
    int pictureHeight = 0;
};

// A part of a picture, in its pixels.
struct AnalysisRegion {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

struct FrameAnalysisOptions {
    // Keep the newest frame that comes while a job runs and start the next
    // job on it when this one ends (costs a second buffer); otherwise such
    // frames are skipped.
    bool keepNewest = false;
    // The part of a picture of the given size the job needs; called on the
    // capture thread for each frame the worker takes (keep it to a few
    // loads and sums). Clipped to the picture; the whole picture when unset
    // or when nothing of it is left.
    std::function<AnalysisRegion(int pictureWidth, int pictureHeight)> region;
};

class FrameAnalysis {
public:
    using Job = std::function<void(const AnalysisFrame&)>;

    // Starts the worker and attaches to `pipeline`: the next processed frame
    // is offered to `job`.
    FrameAnalysis(FramePipeline& pipeline, Job job, FrameAnalysisOptions options = {});
    FrameAnalysis(const FrameAnalysis&) = delete;
    FrameAnalysis& operator=(const FrameAnalysis&) = delete;
    // Detaches (no frame is offered after it), lets a running job finish,
    // then joins the worker.
    ~FrameAnalysis();

    // Capture thread, from the pipeline. Copies the picture (or its region)
    // for the worker when it is idle, or into the spare buffer when the
    // newest is kept, else counts the frame as skipped and returns at once.
    // A frame waiting in the spare buffer that a newer one replaces, and a
    // picture whose buffer cannot be allocated, are skipped as well.
    void offer(const uint8_t* rgba, int width, int height);

    // Frames the worker took (from the spare buffer included) and frames
    // skipped because it was busy.
    uint64_t framesTaken() const { return taken_.load(std::memory_order_relaxed); }
    uint64_t framesSkipped() const { return skipped_.load(std::memory_order_relaxed); }
    // Waits until no picture waits and no job runs (tests, and a caller that
    // wants the last job's result before it reads it).
    void waitIdle();

private:
    struct Picture {
        std::vector<uint8_t> bytes;
        AnalysisFrame frame; // rgba points into bytes once filled
    };
    void run();
    // Copies the picture's region into `into` (mutex_ held); false when its
    // buffer cannot be allocated.
    bool copyInto(Picture& into, const uint8_t* rgba, int width, int height);

    FramePipeline& pipeline_;
    Job job_;
    FrameAnalysisOptions options_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    // Guarded by mutex_. `busy_`: the worker owns current_ (from the copy
    // until the job returns and no newer frame waits in spare_);
    // `sparePending_`: a frame that came while busy waits in spare_.
    Picture current_;
    Picture spare_;
    bool sparePending_ = false;
    uint64_t offered_ = 0;
    bool busy_ = false;
    bool stop_ = false;
    std::atomic<uint64_t> taken_{0};
    std::atomic<uint64_t> skipped_{0};
    std::thread worker_;
};
