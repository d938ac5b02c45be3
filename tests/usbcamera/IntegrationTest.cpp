// The shipped lensbridge over the shipped sensorlink with emulated USB3
// cameras, used as the program uses it: only CMFactory, CMCameraBase and
// CWImage. The emulator stamps frame number and register values into every
// frame, so settings are checked where they land: in the pictures.
#include "FrameRecorder.h"
#include "camera/factory/CMFactory.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Frame = FrameRecorder::Frame;

struct CameraDeleter {
    void operator()(CMCameraBase* camera) const
    {
        camera->Release();
        delete camera;
    }
};
using CameraPtr = std::unique_ptr<CMCameraBase, CameraDeleter>;

class UsbCameraIntegrationTest : public ::testing::Test {
protected:
    // The SDK reads the emulator's variables when it initialises, i.e. when
    // the first listing or camera of a test needs it.
    void emulate(const char* cameras, const char* size, const char* faults = "")
    {
        setenv("PELLUMO_DEBUG_LOG", "off", 1);
        setenv("SENSORLINK_EMULATE", cameras, 1);
        setenv("SENSORLINK_EMULATE_SIZE", size, 1);
        setenv("SENSORLINK_EMULATE_FPS", "30", 1);
        setenv("SENSORLINK_EMULATE_STAMP", "1", 1);
        setenv("SENSORLINK_EMULATE_FAULTS", faults, 1);
    }

    CameraPtr openCamera(unsigned index, FrameRecorder& recorder)
    {
        CameraPtr camera(CMFactory::GetCamera(0, index, nullptr, 0, nullptr, nullptr, false));
        if (camera) {
            EXPECT_EQ(camera->Init(&FrameRecorder::callback, &recorder, 0, 0), 0);
        }
        return camera;
    }
};

TEST_F(UsbCameraIntegrationTest, ListOpenStreamAdjustResizeSnapAndClose)
{
    emulate("1", "640x480");
    std::vector<_tag_VideoDeviceList> groups;
    EXPECT_EQ(CMFactory::GetVideoDeviceList(&groups), 0);
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups[0].type, 2);
    EXPECT_STREQ(groups[0].name, "SENSORLINK");
    ASSERT_EQ(groups[0].devices.size(), 1u);
    EXPECT_STREQ(groups[0].devices[0].name, "USB 3.0 Camera #0");

    char name[64];
    int vid = 0, pid = 0;
    FrameRecorder recorder;
    CameraPtr camera(CMFactory::GetCamera(0, 0, name, sizeof name, &vid, &pid, false));
    ASSERT_NE(camera, nullptr);
    EXPECT_STREQ(name, "USB 3.0 Camera #0");
    EXPECT_EQ(vid, 0x1209);
    EXPECT_EQ(pid, 0x5ec5);
    EXPECT_STREQ(camera->GetDeviceInfo().name, "USB 3.0 Camera #0");
    EXPECT_FALSE(camera->IsNetworkCamera());

    ASSERT_EQ(camera->Init(&FrameRecorder::callback, &recorder, 0, 0), 0);
    bool automatic = false;
    EXPECT_EQ(camera->getExposure(automatic), 0);
    EXPECT_TRUE(automatic);
    // Nothing flows before the preview starts.
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(recorder.frames(), 0);

    // Frames of the camera's format and size, in order.
    ASSERT_EQ(camera->startPreview(), 0);
    ASSERT_TRUE(recorder.waitForFrames(5));
    Frame f = recorder.lastFrame();
    EXPECT_EQ(f.format, FMT_YUYV);
    EXPECT_EQ(f.width, 640);
    EXPECT_EQ(f.height, 480);
    EXPECT_EQ(f.dataSize, 640u * 480u * 2u);
    EXPECT_TRUE(f.externalBuffer);
    ASSERT_TRUE(f.stamp);
    EXPECT_EQ(f.stamp->exposureMode, 3);

    // The measured rate follows the emulator's 30 frames/s; a loaded machine
    // may deliver fewer, never more.
    ASSERT_TRUE(recorder.waitFor([&](const Frame&, int) { return camera->GetFrameRate() > 0.0f; }));
    EXPECT_LE(camera->GetFrameRate(), 30.0f * 1.5f);
    const int before = recorder.frames();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(recorder.waitForFrames(before + 30));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(seconds, 30 / (30.0 * 1.5)) << "frames arrived faster than the emulator sends them";

    // Properties reach the camera's registers and show in the frames.
    EXPECT_EQ(camera->SetProperty(CM_PROP_GAIN, 200), 0);
    EXPECT_EQ(camera->SetProperty(CM_PROP_SHARPNESS, 7), 0);
    EXPECT_EQ(camera->SetProperty(CM_PROP_EXPOSURE, 5000), 0);
    EXPECT_EQ(camera->SetProperty(CM_PROP_RED_GAIN, 77), 0);
    EXPECT_EQ(camera->setExposure(false), 0);
    EXPECT_EQ(camera->setWhiteBalance(true), 0);
    int value = 0;
    EXPECT_EQ(camera->GetProperty(CM_PROP_GAIN, &value), 0);
    EXPECT_EQ(value, 200);
    EXPECT_EQ(camera->GetProperty(CM_PROP_SHARPNESS, &value), 0);
    EXPECT_EQ(value, 7);
    EXPECT_EQ(camera->GetProperty(CM_PROP_EXPOSURE, &value), 0);
    EXPECT_EQ(value, 5000);
    EXPECT_TRUE(recorder.waitFor([](const Frame& frame, int) {
        return frame.stamp && frame.stamp->gain == 200 && (frame.stamp->sharpness & 0xF) == 7 &&
               (static_cast<uint32_t>(frame.stamp->sharpness) >> 30) == 3 && frame.stamp->exposureTime == 5000 &&
               frame.stamp->wbRed == 77 && frame.stamp->exposureMode == 0 && frame.stamp->whiteBalanceMode == 1;
    }));
    // A value the camera refuses is reported, and the old one stays.
    EXPECT_EQ(camera->SetProperty(CM_PROP_GAIN, 999), CM_E_FAILED);
    EXPECT_EQ(camera->GetProperty(CM_PROP_GAIN, &value), 0);
    EXPECT_EQ(value, 200);

    // A new preview size changes the frames' geometry, centred on the sensor.
    ASSERT_EQ(camera->SetPreviewSize(1280, 960), 0);
    int w = 0, h = 0;
    EXPECT_EQ(camera->GetPreviewSize(w, h), 0);
    EXPECT_EQ(w, 1280);
    EXPECT_EQ(h, 960);
    ASSERT_TRUE(recorder.waitFor([](const Frame& frame, int) {
        return frame.width == 1280 && frame.height == 960 && frame.stamp && frame.stamp->roiX == 330 &&
               frame.stamp->roiY == 250;
    }));
    EXPECT_EQ(recorder.lastFrame().dataSize, 1280u * 960u * 2u);

    // Snap copies one frame into a buffer the caller frees.
    CWImage snap;
    ASSERT_EQ(camera->Snap(&snap), 0);
    ASSERT_NE(snap.data, nullptr);
    EXPECT_EQ(snap.format, FMT_YUYV);
    EXPECT_EQ(snap.width, 1280);
    EXPECT_EQ(snap.height, 960);
    EXPECT_EQ(snap.dataSize, 1280u * 960u * 2u);
    const auto snapStamp = usbsdk::emulator::FrameStamp::read(snap.data, snap.dataSize);
    ASSERT_TRUE(snapStamp);
    EXPECT_EQ(snapStamp->gain, 200);
    delete[] snap.data;
    snap.data = nullptr;

    // After stopPreview no frame arrives any more.
    EXPECT_EQ(camera->stopPreview(), 0);
    const int stopped = recorder.frames();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(recorder.frames(), stopped);
    EXPECT_EQ(camera->GetFrameRate(), 0.0f);
    EXPECT_EQ(recorder.framesOutOfOrder(), 0);

    // And the preview can start again.
    ASSERT_EQ(camera->startPreview(), 0);
    EXPECT_TRUE(recorder.waitForFrames(stopped + 3));
    camera.reset();
}

TEST_F(UsbCameraIntegrationTest, TwoCamerasStreamIndependently)
{
    emulate("2", "320x240");
    std::vector<_tag_VideoDeviceList> groups;
    CMFactory::GetVideoDeviceList(&groups);
    ASSERT_EQ(groups.size(), 1u);
    ASSERT_EQ(groups[0].devices.size(), 2u);
    EXPECT_STREQ(groups[0].devices[1].name, "USB 3.0 Camera #1");

    // Indices past the list, and a bounded name copy that fills the buffer.
    EXPECT_EQ(CMFactory::GetCamera(0, 2, nullptr, 0, nullptr, nullptr, false), nullptr);
    EXPECT_EQ(CMFactory::GetCamera(1, 0, nullptr, 0, nullptr, nullptr, false), nullptr);
    char shortName[6] = {'-', '-', '-', '-', '-', '!'};
    CameraPtr probe(CMFactory::GetCamera(0, 1, shortName, 5, nullptr, nullptr, false));
    ASSERT_NE(probe, nullptr);
    EXPECT_EQ(std::memcmp(shortName, "USB 3!", 6), 0) << "five bytes copied, no terminator added";
    probe.reset();

    FrameRecorder first, second;
    CameraPtr a = openCamera(0, first);
    CameraPtr b = openCamera(1, second);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(a->startPreview(), 0);
    ASSERT_EQ(b->startPreview(), 0);
    ASSERT_TRUE(first.waitForFrames(3));
    ASSERT_TRUE(second.waitForFrames(3));

    // Each camera's settings reach only that camera.
    EXPECT_EQ(b->SetProperty(CM_PROP_GAIN, 123), 0);
    ASSERT_TRUE(second.waitFor([](const Frame& f, int) { return f.stamp && f.stamp->gain == 123; }));
    const int now = first.frames();
    ASSERT_TRUE(first.waitForFrames(now + 3));
    ASSERT_TRUE(first.lastFrame().stamp);
    EXPECT_EQ(first.lastFrame().stamp->gain, 0);

    // Listing the cameras again while both stream keeps both streaming.
    groups.clear();
    CMFactory::GetVideoDeviceList(&groups);
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups[0].devices.size(), 2u);
    int count = first.frames();
    EXPECT_TRUE(first.waitForFrames(count + 5));
    count = second.frames();
    EXPECT_TRUE(second.waitForFrames(count + 5));

    // Closing one camera leaves the other streaming.
    a.reset();
    count = second.frames();
    EXPECT_TRUE(second.waitForFrames(count + 5));
    int value = 0;
    EXPECT_EQ(b->GetProperty(CM_PROP_GAIN, &value), 0);
    EXPECT_EQ(value, 123);
    b.reset();
}

TEST_F(UsbCameraIntegrationTest, UnplugDuringPreviewStopsFramesAndReleasesPromptly)
{
    emulate("1", "320x240", "unplug_after=15");
    FrameRecorder recorder;
    CameraPtr camera = openCamera(0, recorder);
    ASSERT_NE(camera, nullptr);
    ASSERT_EQ(camera->startPreview(), 0);
    ASSERT_TRUE(recorder.waitForFrames(1));

    // Frames stop: wait for a full second without a new one.
    int seen = -1;
    const auto giveUp = std::chrono::steady_clock::now() + 60s;
    while (std::chrono::steady_clock::now() < giveUp) {
        const int n = recorder.frames();
        if (n == seen)
            break;
        seen = n;
        std::this_thread::sleep_for(1s);
    }
    EXPECT_EQ(recorder.frames(), seen) << "frames kept coming after the unplug";
    EXPECT_LE(seen, 15);

    // The camera is gone: register access fails instead of pretending.
    int value = 0;
    EXPECT_NE(camera->SetProperty(CM_PROP_GAIN, 10), 0);
    EXPECT_NE(camera->GetProperty(CM_PROP_GAIN, &value), 0);

    const auto start = std::chrono::steady_clock::now();
    camera->Release();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 20s) << "Release hung on the unplugged camera";
    EXPECT_EQ(recorder.frames(), seen);
    camera.reset();
}

// Two USB3 cameras and two video cameras, each pair with the same ids: the
// listing names each by its port, an opened camera reports the port of the
// device it actually opened, and a listing taken before the first of the
// pair went away no longer matches what its position opens.
TEST_F(UsbCameraIntegrationTest, TwinCamerasAreKnownByTheirPortsBeforeAndAfterOpening)
{
    emulate("2", "320x240");
    setenv("SENSORLINK_EMULATE_SAME_IDS", "1", 1);
    const std::string control = ::testing::TempDir() + "twins-control-" + std::to_string(::getpid());
    std::remove(control.c_str());
    setenv("SENSORLINK_EMULATE_CONTROL", control.c_str(), 1);
    setenv("LENSBRIDGE_EMULATE_VIDEO", "2", 1);
    setenv("LENSBRIDGE_EMULATE_VIDEO_SAME_IDS", "1", 1);
    std::vector<_tag_VideoDeviceList> groups;
    std::vector<std::vector<std::string>> identities;
    ASSERT_EQ(CMFactory::GetVideoDeviceList(&groups, &identities), 0);
    ASSERT_EQ(groups.size(), 2u);
    ASSERT_EQ(identities.size(), 2u);
    EXPECT_EQ(identities[0],
              (std::vector<std::string>{"video 1209:7600 emulated:video0", "video 1209:7600 emulated:video1"}));
    EXPECT_EQ(identities[1], (std::vector<std::string>{"usb3 1209:5ec5 emulated:0", "usb3 1209:5ec5 emulated:1"}));

    for (unsigned group : {0u, 1u}) {
        FrameRecorder recorder;
        CameraPtr camera(CMFactory::GetCamera(group, 1, nullptr, 0, nullptr, nullptr, false));
        ASSERT_NE(camera, nullptr);
        ASSERT_EQ(camera->Init(&FrameRecorder::callback, &recorder, 0, 0), 0);
        EXPECT_EQ(CMFactory::GetCameraIdentity(camera.get()), identities[group][1]);
    }

    // The first USB3 camera goes: position 0 now opens the second one.
    std::FILE* file = std::fopen(control.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("unplugged 0\n", file);
    std::fclose(file);
    FrameRecorder recorder;
    CameraPtr camera(CMFactory::GetCamera(1, 0, nullptr, 0, nullptr, nullptr, false));
    ASSERT_NE(camera, nullptr);
    ASSERT_EQ(camera->Init(&FrameRecorder::callback, &recorder, 0, 0), 0);
    EXPECT_EQ(CMFactory::GetCameraIdentity(camera.get()), identities[1][1]);
    EXPECT_EQ(CMFactory::GetCameraIdentity(nullptr), "");
    camera.reset();
    std::remove(control.c_str());
    for (const char* name : {"SENSORLINK_EMULATE_SAME_IDS", "SENSORLINK_EMULATE_CONTROL", "LENSBRIDGE_EMULATE_VIDEO",
                             "LENSBRIDGE_EMULATE_VIDEO_SAME_IDS"})
        unsetenv(name);
}

} // namespace
