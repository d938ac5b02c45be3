#include "app/view/FramePipeline.h"
#include "app/view/FrameSink.h"
#include "app/view/ShadingCorrection.h"
#include "camera/CMCameraBase.h"
#include "tests/view/ProcessingCamera.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {
class CollectingSink : public FrameSink {
public:
    void updateFrame(int width, int height, const uint8_t* rgba) override
    {
        {
            std::lock_guard lock(mutex);
            lastWidth = width;
            lastHeight = height;
            lastPixels.assign(rgba, rgba + size_t(width) * height * 4);
            ++frames;
        }
        arrived.notify_all();
    }
    // MJPEG frames arrive from the pipeline's decoding thread.
    bool waitForFrames(int count)
    {
        std::unique_lock lock(mutex);
        return arrived.wait_for(lock, std::chrono::seconds(20), [&] { return frames >= count; });
    }
    std::mutex mutex;
    std::condition_variable arrived;
    int lastWidth = 0, lastHeight = 0;
    std::vector<uint8_t> lastPixels;
    std::atomic<int> frames{0};
};

// Rows of a 2-row RGB24 frame: top red, bottom blue.
std::vector<uint8_t> redOverBlue(int w)
{
    std::vector<uint8_t> bytes(size_t(w) * 2 * 3, 0);
    for (int i = 0; i < w; ++i) {
        bytes[i * 3] = 255;
        bytes[(w + i) * 3 + 2] = 255;
    }
    return bytes;
}

CWImage over(std::vector<uint8_t>& bytes, int w, int h, int format)
{
    return CWImage(w, h, bytes.data(), unsigned(bytes.size()), unsigned(bytes.size()), true, format, 0);
}

// A flat grey JPEG of w × h pixels.
std::vector<uint8_t> greyJpeg(int w, int h, uint8_t level)
{
    std::vector<uint8_t> rgb(size_t(w) * h * 3, level);
    tjhandle encoder = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    const bool encoded = tjCompress2(encoder, rgb.data(), w, 0, h, TJPF_RGB, &jpeg, &size, TJSAMP_420, 90, 0) == 0;
    std::vector<uint8_t> bytes;
    if (encoded)
        bytes.assign(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(encoder);
    return bytes;
}

struct ManualClock {
    std::atomic<int64_t> now{1'000'000'000'000};
    Mp4Recorder::Clock clock()
    {
        return {[this] { return now += 40'000; }, [this](int64_t micros) { now += micros; }};
    }
};

fs::path tempFolder(const char* name)
{
    auto dir = fs::temp_directory_path() / ("pellumo-pipeline-" + std::to_string(::getpid()) + "-" + name);
    fs::create_directories(dir);
    return dir;
}
} // namespace

TEST(FramePipeline, ConvertsProcessesAndHandsTheFrameToTheSink)
{
    ProcessingCamera camera;
    camera.flip(true);
    CollectingSink sink;
    FramePipeline pipeline;
    pipeline.setCamera(&camera);
    pipeline.setSink(&sink);
    auto bytes = redOverBlue(4);
    CWImage frame = over(bytes, 4, 2, FMT_RGB24);
    FramePipeline::frameCallback(&pipeline, CM_CALLBACK_FRAME, reinterpret_cast<long>(&frame), 0);
    ASSERT_EQ(sink.frames, 1);
    EXPECT_EQ(sink.lastWidth, 4);
    EXPECT_EQ(sink.lastHeight, 2);
    // Flipped by the camera's software processing: blue now on top.
    EXPECT_EQ(sink.lastPixels[0], 0);
    EXPECT_EQ(sink.lastPixels[2], 255);
    EXPECT_EQ(sink.lastPixels[4 * 4], 255);

    FramePipeline::frameCallback(&pipeline, 1, reinterpret_cast<long>(&frame), 0);
    FramePipeline::frameCallback(&pipeline, CM_CALLBACK_FRAME, 0, 0);
    EXPECT_EQ(sink.frames, 1) << "reports and null frames are not pictures";

    CWImage copy;
    ASSERT_TRUE(pipeline.copyDisplayImage(copy));
    EXPECT_EQ(copy.width, 4);
    EXPECT_EQ(copy.format, FMT_RGBA32);
    EXPECT_FALSE(copy.externalBuffer) << "the copy owns its buffer";
}

// A view shown at a quarter of the picture's size.
class QuarterSink : public CollectingSink {
public:
    int pictureReduction() const override { return 4; }
    void updateReducedFrame(int width, int height, const uint8_t* rgba, int fw, int fh, FrameTime) override
    {
        fullWidth = fw;
        fullHeight = fh;
        updateFrame(width, height, rgba);
    }
    int fullWidth = 0, fullHeight = 0;
};

TEST(FramePipeline, MjpegReachesAReducedViewReducedWhileCopiesAndRecordingsKeepEveryPixel)
{
    const int w = 64, h = 48;
    std::vector<uint8_t> bytes = greyJpeg(w, h, 90);
    ASSERT_FALSE(bytes.empty());

    QuarterSink sink;
    FramePipeline pipeline;
    pipeline.setSink(&sink);
    CWImage frame = over(bytes, w, h, FMT_MJPG);
    pipeline.onFrame(frame);
    ASSERT_TRUE(sink.waitForFrames(1));
    EXPECT_EQ(sink.lastWidth, w / 4);
    EXPECT_EQ(sink.lastHeight, h / 4);
    EXPECT_EQ(sink.fullWidth, w);
    EXPECT_EQ(sink.fullHeight, h);
    CWImage copy;
    ASSERT_TRUE(pipeline.copyDisplayImage(copy));
    EXPECT_EQ(copy.width, w);
    EXPECT_EQ(copy.height, h);
    EXPECT_NEAR(copy.data[(size_t(h) / 2 * w + w / 2) * 4], 90, 3);

    // Recording: every frame decodes at full size.
    const auto dir = tempFolder("reduced");
    ManualClock manual;
    ASSERT_TRUE(pipeline.startRecording(w, h, (dir / "full.mp4").c_str(), manual.clock()));
    pipeline.onFrame(frame);
    ASSERT_TRUE(sink.waitForFrames(2));
    EXPECT_EQ(sink.lastWidth, w);
    pipeline.stopRecording();
    fs::remove_all(dir);
}

TEST(FramePipeline, MjpegPicturesAreShadingCorrectedAtTheViewsScaleAndTheirCopiesAtFullSize)
{
    const int w = 64, h = 48;
    std::vector<uint8_t> bytes = greyJpeg(w, h, 90);
    ASSERT_FALSE(bytes.empty());
    CWImage frame = over(bytes, w, h, FMT_MJPG);
    ProcessingCamera camera;
    ASSERT_EQ(camera.SetProperty(CM_PROP_COLOR_MODE, CM_COLOR_MODE_NEGATIVE), 0);
    // Shading that darkens the left of the field: the correction lifts it
    // (and the negative then darkens it).
    ShadingReference reference;
    reference.width = w;
    reference.height = h;
    reference.smoothed = cv::Mat(6, 8, CV_32FC3);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x)
            reference.smoothed.at<cv::Vec3f>(y, x) = cv::Vec3f::all(60.0f + 20.0f * float(x));
    CollectingSink fullView;
    QuarterSink quarterView;
    FramePipeline pipeline;
    pipeline.setCamera(&camera);
    {
        std::lock_guard lock(pipeline.lock());
        pipeline.shading().setReference(reference);
    }
    auto left = [&](const uint8_t* rgba) { return rgba[(size_t(h) / 2 * w) * 4]; };
    auto centre = [&](const uint8_t* rgba) { return rgba[(size_t(h) / 2 * w + w / 2) * 4]; };

    pipeline.setSink(&fullView);
    pipeline.onFrame(frame);
    ASSERT_TRUE(fullView.waitForFrames(1));
    CWImage whileFull;
    ASSERT_TRUE(pipeline.copyDisplayImage(whileFull));
    ASSERT_EQ(fullView.lastPixels.size(), size_t(w) * h * 4);
    EXPECT_LT(left(fullView.lastPixels.data()) + 30, centre(fullView.lastPixels.data())) << "the view is corrected";
    EXPECT_NEAR(centre(fullView.lastPixels.data()), 255 - 90, 4) << "and processed";
    EXPECT_EQ(std::vector<uint8_t>(whileFull.data, whileFull.data + size_t(w) * h * 4), fullView.lastPixels)
        << "the copy is the view's picture";

    pipeline.setSink(&quarterView);
    pipeline.onFrame(frame);
    ASSERT_TRUE(quarterView.waitForFrames(1));
    ASSERT_EQ(quarterView.lastWidth, w / 4);
    {
        const int rw = w / 4, rh = h / 4;
        const uint8_t* reduced = quarterView.lastPixels.data();
        EXPECT_LT(reduced[(size_t(rh) / 2 * rw) * 4] + 30, reduced[(size_t(rh) / 2 * rw + rw / 2) * 4])
            << "the reduced view is corrected too";
        std::lock_guard lock(pipeline.lock());
        EXPECT_EQ(pipeline.shading().lastWidth(), w) << "the correction counts in the camera's picture size";
    }
    CWImage whileReduced;
    ASSERT_TRUE(pipeline.copyDisplayImage(whileReduced));
    ASSERT_EQ(whileReduced.width, w);
    EXPECT_EQ(std::vector<uint8_t>(whileReduced.data, whileReduced.data + size_t(w) * h * 4), fullView.lastPixels)
        << "a reduced view changes nothing in the copy";

    // A reference taken while the view is reduced is made from full pictures.
    {
        std::lock_guard lock(pipeline.lock());
        pipeline.shading().collect(1);
    }
    pipeline.onFrame(frame);
    ASSERT_TRUE(quarterView.waitForFrames(2));
    ShadingReference made;
    std::lock_guard lock(pipeline.lock());
    ASSERT_EQ(pipeline.shading().finishCollecting(made), ShadingRefusal::None);
    EXPECT_EQ(made.width, w);
    EXPECT_EQ(made.height, h);
    pipeline.setSink(nullptr);
}

// A view that holds the decoding thread inside every picture until let go,
// and notes each picture's level.
class HoldingSink : public FrameSink {
public:
    void updateFrame(int width, int height, const uint8_t* rgba) override
    {
        std::unique_lock lock(mutex);
        levels.push_back(rgba[(size_t(height) / 2 * width + width / 2) * 4]);
        changed.notify_all();
        changed.wait(lock, [&] { return released; });
    }
    bool waitForPictures(size_t count)
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(20), [&] { return levels.size() >= count; });
    }
    void release()
    {
        {
            std::lock_guard lock(mutex);
            released = true;
        }
        changed.notify_all();
    }
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<int> levels;
    bool released = false;
};

TEST(FramePipeline, MjpegDecodesOffTheCaptureThreadWhichDropsAndCountsTheOldestWhenTheDecoderFallsBehind)
{
    const int w = 32, h = 16;
    std::vector<std::vector<uint8_t>> jpegs;
    for (int i = 0; i < 11; ++i)
        jpegs.push_back(greyJpeg(w, h, uint8_t(20 + 20 * i)));
    HoldingSink view;
    FramePipeline pipeline;
    pipeline.setSink(&view);
    auto deliver = [&](int from, int to) {
        return std::async(std::launch::async, [&, from, to] {
            for (int i = from; i < to; ++i)
                pipeline.onFrame(over(jpegs[size_t(i)], w, h, FMT_MJPG));
        });
    };
    auto first = deliver(0, 1);
    std::future<void> rest;
    // Lets the decoder go however the test ends, so nothing is left waiting.
    struct Release {
        HoldingSink& view;
        ~Release() { view.release(); }
    } release{view};

    ASSERT_EQ(first.wait_for(std::chrono::seconds(20)), std::future_status::ready)
        << "the capture thread waited for the view";
    ASSERT_TRUE(view.waitForPictures(1)) << "the first frame is being delivered";
    rest = deliver(1, 10);
    ASSERT_EQ(rest.wait_for(std::chrono::seconds(20)), std::future_status::ready)
        << "the capture thread waited for the decoder";
    EXPECT_EQ(pipeline.framesDropped(), 8) << "all but the newest waiting frame are dropped and counted";

    view.release();
    ASSERT_TRUE(view.waitForPictures(2));
    // One more frame after the decoder caught up reaches the view as well.
    deliver(10, 11).wait();
    ASSERT_TRUE(view.waitForPictures(3));
    {
        std::lock_guard lock(view.mutex);
        ASSERT_EQ(view.levels.size(), 3u);
        EXPECT_NEAR(view.levels[0], 20, 3);
        EXPECT_NEAR(view.levels[1], 200, 3) << "the newest follows";
        EXPECT_NEAR(view.levels[2], 220, 3);
    }
    EXPECT_EQ(pipeline.framesDropped(), 8);
    pipeline.setSink(nullptr);
}

TEST(FramePipeline, RecordsOnlyFramesOfTheRecordingSize)
{
    const auto dir = tempFolder("size");
    ManualClock manual;
    FramePipeline pipeline;
    ASSERT_TRUE(pipeline.startRecording(64, 32, (dir / "a.mp4").c_str(), manual.clock()));
    EXPECT_TRUE(pipeline.isRecording());
    std::vector<uint8_t> matching(64 * 32 * 3, 90), other(32 * 16 * 3, 90);
    for (int i = 0; i < 6; ++i) {
        pipeline.onFrame(over(matching, 64, 32, FMT_RGB24));
        pipeline.onFrame(over(other, 32, 16, FMT_RGB24));
    }
    EXPECT_EQ(pipeline.recordingStats().framesDropped, 6) << "pictures of another size are counted as dropped";
    FramePipeline::RecordingStats stats;
    EXPECT_EQ(pipeline.finishRecording(&stats), (dir / "a.mp4").string());
    EXPECT_EQ(stats.framesWritten, 7) << "six frames plus the picture held to the three-second mark";
    EXPECT_EQ(stats.framesDropped, 6);
    EXPECT_FALSE(pipeline.isRecording());
    EXPECT_EQ(pipeline.recordingStats().framesWritten, 0);
    FILE* probe = ::popen(("ffprobe -v error -count_frames -show_entries stream=nb_read_frames -of csv=p=0 '" +
                           (dir / "a.mp4").string() + "'")
                              .c_str(),
                          "r");
    char line[64] = {};
    ASSERT_NE(std::fgets(line, sizeof line, probe), nullptr);
    ::pclose(probe);
    EXPECT_EQ(std::atoi(line), 7) << "six frames plus the picture held to the three-second mark";
    fs::remove_all(dir);
}

TEST(FramePipeline, FailedRecordingStartIsReportedAndHarmless)
{
    FramePipeline pipeline;
    EXPECT_FALSE(pipeline.startRecording(64, 32, "/nonexistent-folder/x/y.mp4"));
    EXPECT_FALSE(pipeline.isRecording());
    std::vector<uint8_t> bytes(64 * 32 * 3, 1);
    pipeline.onFrame(over(bytes, 64, 32, FMT_RGB24)); // no crash with the failed recorder held
    pipeline.stopRecording();
}

TEST(FramePipeline, CaptureThreadAndRecordingCommandsDoNotRace)
{
    const auto dir = tempFolder("race");
    ManualClock manual;
    CollectingSink sink;
    FramePipeline pipeline;
    pipeline.setSink(&sink);
    std::atomic<bool> stop{false};
    std::thread capture([&] {
        std::vector<uint8_t> bytes(64 * 48 * 2, 128);
        while (!stop) {
            CWImage frame(64, 48, bytes.data(), unsigned(bytes.size()), unsigned(bytes.size()), true, FMT_YUY2, 0);
            FramePipeline::frameCallback(&pipeline, CM_CALLBACK_FRAME, reinterpret_cast<long>(&frame), 0);
        }
    });
    for (int i = 0; i < 4; ++i) {
        pipeline.startRecording(64, 48, (dir / std::to_string(i)).replace_extension(".mp4").c_str(), manual.clock());
        CWImage copy;
        pipeline.copyDisplayImage(copy);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        pipeline.stopRecording();
    }
    stop = true;
    capture.join();
    EXPECT_GT(sink.frames, 0);
    fs::remove_all(dir);
}

TEST(FramePipeline, ASyncThatHangsNeverStallsFramesAndWhatItCostsIsCountedDropped)
{
    // The disk's sync is held until the test lets it go, as a stalled network
    // folder would; frames and the status poll must go on meanwhile.
    const auto dir = tempFolder("slow");
    std::mutex gate;
    std::unique_lock held(gate);
    std::atomic<int> syncs{0};
    // Frames two seconds apart: past the shortest recording's three seconds
    // before the queue fills, so no picture is repeated at the end.
    std::atomic<int64_t> now{0};
    Mp4Recorder::Options options(Mp4Recorder::Clock{[&] { return now += 2'000'000; }, [](int64_t) {}});
    options.maxQueuedBytes = 1;
    options.sync = [&](int fd) {
        ++syncs;
        std::lock_guard wait(gate);
        return ::fsync(fd);
    };
    FramePipeline pipeline;
    ASSERT_TRUE(pipeline.startRecording(64, 48, (dir / "slow.mp4").c_str(), std::move(options)));
    // The frames come once the writer hangs in the header's sync, however
    // late its thread started.
    for (int wait = 0; syncs == 0 && wait < 2000; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::vector<uint8_t> bytes(64 * 48 * 3);
    constexpr int kFrames = 60;
    auto capture = std::async(std::launch::async, [&] {
        for (int i = 0; i < kFrames; ++i) {
            std::fill(bytes.begin(), bytes.end(), uint8_t(i * 4));
            pipeline.onFrame(over(bytes, 64, 48, FMT_RGB24));
        }
    });
    ASSERT_EQ(capture.wait_for(std::chrono::seconds(60)), std::future_status::ready)
        << "the capture thread waited for the disk";
    const FramePipeline::RecordingStats during = pipeline.recordingStats();
    EXPECT_EQ(during.framesWritten, 0) << "nothing is written before it is synced";
    EXPECT_GT(during.framesDropped, 0) << "a full queue drops frames";
    EXPECT_GE(syncs.load(), 1);
    held.unlock();
    FramePipeline::RecordingStats final;
    EXPECT_FALSE(pipeline.finishRecording(&final).empty());
    EXPECT_EQ(final.writeError, 0);
    EXPECT_EQ(final.framesWritten + final.framesDropped, kFrames) << "every frame is either in the file or counted";
    fs::remove_all(dir);
}

TEST(FramePipeline, TheEncoderOnItsOwnThreadGetsEveryFrameItKeepsUpWithDropsTheRestUnwaitedAndDrainsOnStop)
{
    const auto dir = tempFolder("queued");
    const fs::path path = dir / "queued.mp4";
    std::mutex mutex;
    std::condition_variable changed;
    bool held = false;
    int taken = 0; // frames the encoding thread has begun
    auto waitTaken = [&](int count) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(60), [&] { return taken >= count; });
    };
    // Every reading of the clock a second on: past the shortest recording's
    // three seconds, so no picture is repeated at the end.
    std::atomic<int64_t> now{0};
    Mp4Recorder::Options options(Mp4Recorder::Clock{[&] { return now += 1'000'000; }, [](int64_t) {}});
    options.queuedFrames = 3;
    options.beforeEncoding = [&] {
        std::unique_lock lock(mutex);
        ++taken;
        changed.notify_all();
        changed.wait(lock, [&] { return !held; });
    };
    FramePipeline pipeline;
    ASSERT_TRUE(pipeline.startRecording(64, 48, path.c_str(), std::move(options)));
    std::vector<uint8_t> bytes(64 * 48 * 3);
    auto deliver = [&](int i) {
        std::fill(bytes.begin(), bytes.end(), uint8_t(i * 8));
        pipeline.onFrame(over(bytes, 64, 48, FMT_RGB24));
    };

    constexpr int kKept = 5;
    for (int i = 0; i < kKept; ++i) {
        deliver(i);
        ASSERT_TRUE(waitTaken(i + 1));
    }
    EXPECT_EQ(pipeline.recordingStats().framesDropped, 0) << "an encoder that keeps up gets every frame";

    // Held up with one frame in hand, the encoder has two slots left; the
    // capture thread fills them and drops and counts the rest unwaited. Then
    // it holds the pipeline's lock, as a frame on its way does, while the
    // window reads the recording's figures.
    {
        std::lock_guard lock(mutex);
        held = true;
    }
    deliver(kKept);
    ASSERT_TRUE(waitTaken(kKept + 1));
    std::promise<void> holding, read;
    auto capture = std::async(std::launch::async, [&] {
        for (int i = 1; i <= 5; ++i)
            deliver(kKept + i);
        std::lock_guard frameOnItsWay(pipeline.lock());
        holding.set_value();
        read.get_future().wait_for(std::chrono::seconds(60));
    });
    ASSERT_EQ(holding.get_future().wait_for(std::chrono::seconds(60)), std::future_status::ready)
        << "the capture thread waited for the encoder";
    const FramePipeline::RecordingStats during = pipeline.recordingStats();
    EXPECT_TRUE(pipeline.isRecording());
    EXPECT_NE(capture.wait_for(std::chrono::seconds(0)), std::future_status::ready)
        << "the figures waited for the pipeline's lock";
    read.set_value();
    capture.get();
    EXPECT_EQ(during.framesDropped, 3);

    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(taken, kKept + 1) << "a held encoder takes no further frame";
        held = false;
    }
    changed.notify_all();
    FramePipeline::RecordingStats final;
    EXPECT_EQ(pipeline.finishRecording(&final), path.string());
    EXPECT_EQ(final.writeError, 0);
    EXPECT_EQ(final.framesDropped, 3);
    EXPECT_EQ(final.framesWritten, kKept + 3) << "stopping encodes every waiting frame into the file";
    FILE* probe = ::popen(
        ("ffprobe -v error -count_frames -show_entries stream=nb_read_frames -of csv=p=0 '" + path.string() + "'")
            .c_str(),
        "r");
    char line[64] = {};
    ASSERT_NE(std::fgets(line, sizeof line, probe), nullptr);
    ::pclose(probe);
    EXPECT_EQ(std::atoi(line), kKept + 3) << "the file plays what was counted written";
    fs::remove_all(dir);
}
