#include "app/view/FrameAnalysis.h"
#include "app/view/FramePipeline.h"
#include "app/view/FrameSink.h"
#include "app/view/LatestResult.h"
#include "tests/view/ProcessingCamera.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// width × height RGB24 whose top-left pixel is `marker` (red) and the rest grey.
std::vector<uint8_t> markedFrame(int width, int height, uint8_t marker)
{
    std::vector<uint8_t> bytes(size_t(width) * height * 3, 60);
    bytes[0] = marker;
    return bytes;
}

void deliver(FramePipeline& pipeline, std::vector<uint8_t>& bytes, int width, int height, int format)
{
    CWImage frame(width, height, bytes.data(), unsigned(bytes.size()), unsigned(bytes.size()), true, format, 0);
    FramePipeline::frameCallback(&pipeline, CM_CALLBACK_FRAME, reinterpret_cast<long>(&frame), 0);
}

template <class Condition> bool waitFor(Condition condition)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// A job the test holds inside until it opens the gate.
struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool open = true;
    int inside = 0;
    void pass()
    {
        std::unique_lock lock(mutex);
        ++inside;
        changed.notify_all();
        changed.wait(lock, [this] { return open; });
        --inside;
    }
    void set(bool value)
    {
        std::lock_guard lock(mutex);
        open = value;
        changed.notify_all();
    }
    bool occupied()
    {
        std::lock_guard lock(mutex);
        return inside > 0;
    }
};

struct Seen {
    uint8_t firstRed = 0;
    uint8_t lastRed = 0; // the top row's last pixel: the camera's mirror moves the marker there
    int width = 0;
    uint64_t number = 0;
    const uint8_t* buffer = nullptr;
};

class ReducingSink : public FrameSink {
public:
    void updateFrame(int width, int, const uint8_t*) override { lastWidth = width; }
    int pictureReduction() const override { return 4; }
    std::atomic<int> lastWidth{0};
};

} // namespace

// The worker sees the picture the view sees (processed by the camera), in
// one buffer of its own; frames that come while it works are skipped, not
// queued; detaching stops the offers.
TEST(FrameAnalysis, WorkerTakesProcessedFramesWhenIdleAndSkipsWhileBusy)
{
    ProcessingCamera camera;
    camera.mirror(true);
    FramePipeline pipeline;
    pipeline.setCamera(&camera);
    Gate gate;
    LatestResult<Seen> results;
    std::vector<const uint8_t*> buffers;
    {
        FrameAnalysis analysis(pipeline, [&](const AnalysisFrame& frame) {
            gate.pass();
            results.put(
                {frame.rgba[0], frame.rgba[size_t(frame.width - 1) * 4], frame.width, frame.number, frame.rgba});
        });
        auto first = markedFrame(8, 4, 200);
        deliver(pipeline, first, 8, 4, FMT_RGB24);
        analysis.waitIdle();
        auto seen = results.take();
        ASSERT_TRUE(seen);
        EXPECT_EQ(seen->width, 8);
        // Mirrored: the worker got the processed picture, not the camera's.
        EXPECT_EQ(seen->firstRed, 60);
        EXPECT_EQ(seen->lastRed, 200);
        EXPECT_EQ(seen->number, 1u);
        EXPECT_FALSE(results.take()) << "a result is taken once";

        // Held inside the job: the next frames are skipped and counted.
        gate.set(false);
        auto marked = markedFrame(8, 4, 250);
        deliver(pipeline, marked, 8, 4, FMT_RGB24);
        ASSERT_TRUE(waitFor([&] { return gate.occupied(); }));
        for (int i = 0; i < 5; ++i)
            deliver(pipeline, first, 8, 4, FMT_RGB24);
        EXPECT_EQ(analysis.framesSkipped(), 5u);
        EXPECT_EQ(analysis.framesTaken(), 2u);
        gate.set(true);
        analysis.waitIdle();
        seen = results.take();
        ASSERT_TRUE(seen);
        // The frame taken when idle, not one of the skipped ones.
        EXPECT_EQ(seen->lastRed, 250);
        EXPECT_EQ(seen->number, 2u);
        const uint8_t* buffer = seen->buffer;

        // The same size again: the same buffer, and the count includes the skipped.
        deliver(pipeline, marked, 8, 4, FMT_RGB24);
        analysis.waitIdle();
        seen = results.take();
        ASSERT_TRUE(seen);
        EXPECT_EQ(seen->buffer, buffer);
        EXPECT_EQ(seen->lastRed, 250);
        EXPECT_EQ(seen->number, 8u);
        EXPECT_EQ(analysis.framesTaken(), 3u);
    }
    // Detached: frames flow on and reach no worker.
    auto after = markedFrame(8, 4, 10);
    deliver(pipeline, after, 8, 4, FMT_RGB24);
    EXPECT_FALSE(results.take());
}

// A view that draws MJPEG reduced still lets an analysis see every pixel.
TEST(FrameAnalysis, MjpegDecodesAtFullSizeWhileAnAnalysisIsAttached)
{
    const int w = 64, h = 48;
    std::vector<uint8_t> rgb(size_t(w) * h * 3, 90);
    tjhandle encoder = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    ASSERT_EQ(tjCompress2(encoder, rgb.data(), w, 0, h, TJPF_RGB, &jpeg, &size, TJSAMP_420, 90, 0), 0);
    std::vector<uint8_t> bytes(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(encoder);

    ReducingSink sink;
    FramePipeline pipeline;
    pipeline.setSink(&sink);
    deliver(pipeline, bytes, w, h, FMT_MJPG);
    ASSERT_TRUE(waitFor([&] { return sink.lastWidth == w / 4; }));
    std::atomic<int> width{0};
    FrameAnalysis analysis(pipeline, [&](const AnalysisFrame& frame) { width = frame.width; });
    deliver(pipeline, bytes, w, h, FMT_MJPG);
    ASSERT_TRUE(waitFor([&] { return width.load() != 0; }));
    EXPECT_EQ(width.load(), w);
    // The analysis may see the frame before the view does.
    EXPECT_TRUE(waitFor([&] { return sink.lastWidth.load() == w; }));
}

// An analysis that keeps the newest frame gets the last one that came while
// its job ran as soon as the job ends (the older ones skipped, never queued),
// and one that asks for a region gets only those pixels, told where they lie.
TEST(FrameAnalysis, KeepsTheNewestFrameWhileBusyAndHandsOverOnlyItsRegion)
{
    FramePipeline pipeline;
    Gate gate;
    std::mutex mutex;
    std::vector<Seen> seen;
    std::vector<AnalysisFrame> shapes;
    FrameAnalysisOptions options;
    options.keepNewest = true;
    options.region = [](int width, int height) { return AnalysisRegion{2, 1, width - 3, height + 5}; };
    FrameAnalysis analysis(
        pipeline,
        [&](const AnalysisFrame& frame) {
            gate.pass();
            std::lock_guard lock(mutex);
            // The region's first pixel is the picture's (2, 1).
            seen.push_back({frame.rgba[0], 0, frame.width, frame.number, frame.rgba});
            shapes.push_back(frame);
        },
        std::move(options));
    // width × height RGB24, grey but for `marker` (red) at (2, 1).
    const auto framed = [](uint8_t marker) {
        std::vector<uint8_t> bytes(size_t(8) * 4 * 3, 60);
        bytes[(size_t(1) * 8 + 2) * 3] = marker;
        return bytes;
    };
    auto a = framed(100), b = framed(110), c = framed(120);
    gate.set(false);
    deliver(pipeline, a, 8, 4, FMT_RGB24);
    ASSERT_TRUE(waitFor([&] { return gate.occupied(); }));
    deliver(pipeline, b, 8, 4, FMT_RGB24);
    deliver(pipeline, c, 8, 4, FMT_RGB24);
    EXPECT_EQ(analysis.framesSkipped(), 1u) << "b, replaced by c while the job ran";
    gate.set(true);
    analysis.waitIdle();
    std::lock_guard lock(mutex);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].firstRed, 100);
    EXPECT_EQ(seen[1].firstRed, 120);
    EXPECT_EQ(seen[1].number, 3u);
    EXPECT_EQ(analysis.framesTaken(), 2u);
    // Clipped to the picture: columns 2..6, rows 1..3, of an 8 × 4 picture.
    const AnalysisFrame& shape = shapes[1];
    EXPECT_EQ(shape.left, 2);
    EXPECT_EQ(shape.top, 1);
    EXPECT_EQ(shape.width, 5);
    EXPECT_EQ(shape.height, 3);
    EXPECT_EQ(shape.pictureWidth, 8);
    EXPECT_EQ(shape.pictureHeight, 4);
    EXPECT_NE(seen[0].buffer, seen[1].buffer) << "the newest waited in the second buffer";
}
