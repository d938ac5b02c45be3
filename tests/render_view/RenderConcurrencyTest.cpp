// The render view's locks under load: a capture thread converts frames and
// hands them to the view while the UI thread resizes it, asks for snapshots
// and starts and stops recordings, and the render thread draws.
#include "RenderTestSupport.h"

#include "app/view/FramePipeline.h"
#include "camera/CWImage.h"
#include "ui/Application.h"
#include "ui/testing/UiDriver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <thread>

using namespace rendertest;
using ui::testing::Driver;

namespace {

// A packed 4:2:2 (YUY2) frame with a moving bright column.
std::vector<uint8_t> yuy2Frame(int width, int height, int phase)
{
    std::vector<uint8_t> bytes(size_t(width) * height * 2);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; x += 2) {
            uint8_t* p = &bytes[(size_t(y) * width + x) * 2];
            const bool bright = ((x + phase * 8) % width) < 16;
            p[0] = p[2] = bright ? 235 : 60;
            p[1] = 110;
            p[3] = 150;
        }
    return bytes;
}

constexpr int kFormatYUY2 = 6;

} // namespace

TEST(RenderViewConcurrency, FramesFlowWhileTheUiResizesSnapshotsAndRecords)
{
    MainWindowStub mainWindow;
    CImageRenderUI view;
    ASSERT_TRUE(view.loadOverlayResources());
    ASSERT_TRUE(showAt(view, 640, 480));
    ASSERT_EQ(view.attachWindow(&mainWindow), 1);

    FramePipeline pipeline;
    pipeline.setSink(&view);
    std::atomic<bool> stop{false};
    std::atomic<int> delivered{0};
    std::thread capture([&] {
        const int sizes[2][2] = {{640, 480}, {320, 240}};
        std::vector<uint8_t> frames[2] = {yuy2Frame(640, 480, 0), yuy2Frame(320, 240, 0)};
        for (int i = 0; !stop; ++i) {
            // Mostly one size; now and then the other, so the texture is recreated.
            const int which = (i % 25 == 24) ? 1 : 0;
            auto& bytes = frames[which];
            CWImage frame(sizes[which][0], sizes[which][1], bytes.data(), unsigned(bytes.size()),
                          unsigned(bytes.size()), true, kFormatYUY2, 0);
            pipeline.onFrame(frame);
            ++delivered;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });

    const std::string folder = tempPath("concurrency");
    std::filesystem::create_directories(folder);
    std::atomic<int64_t> fakeNow{1'000'000'000};
    Mp4Recorder::Clock clock{[&] { return fakeNow += 20'000; }, [&](int64_t micros) { fakeNow += micros; }};
    for (int round = 0; round < 6; ++round) {
        ASSERT_TRUE(showAt(view, round % 2 ? 500 : 700, round % 3 ? 400 : 360));
        view.requestSnapshot(folder + "/shot-" + std::to_string(round) + ".png");
        view.showRecordingIndicator(round % 2 == 0);
        ASSERT_TRUE(
            pipeline.startRecording(640, 480, (folder + "/rec-" + std::to_string(round) + ".mp4").c_str(), clock));
        ui::Application::processEventsFor(60);
        pipeline.stopRecording();
        view.showRecordingIndicator(false);
    }
    // Frames still flow, so a pass serves the request soon.
    view.requestSnapshot(folder + "/last.png");
    EXPECT_TRUE(Driver::processEventsUntil([&] { return std::filesystem::exists(folder + "/last.png"); }, 30000));
    stop = true;
    capture.join();
    EXPECT_GT(delivered.load(), 0);
    EXPECT_GT(view.passesDrawn(), 0);
    pipeline.setSink(nullptr);
    EXPECT_EQ(view.detachWindow(), &mainWindow);
    std::filesystem::remove_all(folder);
}

TEST(RenderViewConcurrency, ALargeStillIsCutIntoFullResolutionRegionsWhileTheUiZoomsPansAndReplacesIt)
{
    MainWindowStub mainWindow;
    CImageRenderUI view;
    ASSERT_TRUE(showAt(view, 640, 480));
    ASSERT_EQ(view.attachWindow(&mainWindow), 1);
    // A 12000 x 400 picture (grey 200) and its reduced copy (grey 100), shared
    // with the view as the picture source hands them over.
    const int width = 12000, height = 400;
    const auto full = std::make_shared<std::vector<uint8_t>>(uniformFrame(width, height, sf::Color(200, 200, 200)));
    const auto reduced =
        std::make_shared<std::vector<uint8_t>>(uniformFrame(width / 2, height / 2, sf::Color(100, 100, 100)));
    const auto share = [](const std::shared_ptr<std::vector<uint8_t>>& pixels) {
        return std::shared_ptr<const uint8_t>(pixels, pixels->data());
    };
    for (int round = 0; round < 12; ++round) {
        view.showStill(share(reduced), width / 2, height / 2, width, height, share(full));
        for (int step = 0; step < 8; ++step) {
            view.zoomAbout(step < 4 ? 2.5f : 0.4f, 320, 240);
            view.panBy(float(step * 9 - 30), float(step % 3 - 1));
            ui::Application::processEventsFor(4);
        }
        if (round % 4 == 3)
            view.showLive();
    }
    // Zoomed in: the full picture's pixels reach the screen.
    view.showStill(share(reduced), width / 2, height / 2, width, height, share(full));
    view.zoomAbout(16.0f, 320, 240);
    const std::string path = tempPath("region") + ".png";
    sf::Image image;
    EXPECT_TRUE(Driver::processEventsUntil([&] {
        const int served = view.snapshotsServed();
        view.requestSnapshot(path);
        return Driver::processEventsUntil([&] { return view.snapshotsServed() > served; }) &&
               image.loadFromFile(path) && near(image.getPixel(320, 240), sf::Color(200, 200, 200), 2);
    }));
    EXPECT_EQ(view.detachWindow(), &mainWindow);
    std::filesystem::remove(path);
}
