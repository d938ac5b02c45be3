// The USB camera's mapping onto the SDK, call by call, against a scripted SDK.
#include "ScriptedSdk.h"
#include "camera/usb/CMCameraISSR.h"
#include "camera/usb/UsbOpenFailure.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

namespace {

using Call = ScriptedSdk::Call;

struct HostSink {
    int frames = 0;
    CWImage last;
    static int callback(void* user, int kind, long param1, long)
    {
        auto* self = static_cast<HostSink*>(user);
        EXPECT_EQ(kind, 0);
        self->last = *reinterpret_cast<CWImage*>(param1);
        ++self->frames;
        return 0;
    }
};

class CameraISSRTest : public ::testing::Test {
protected:
    void SetUp() override { ScriptedSdk::reset(); }
    ScriptedSdk& sdk() { return ScriptedSdk::instance(); }

    std::unique_ptr<CMCameraISSR> openCamera(int deviceIndex = 0, int cameras = 1)
    {
        for (int i = 0; i < cameras; ++i)
            sdk().addCamera();
        auto camera = std::make_unique<CMCameraISSR>(deviceIndex, ScriptedSdk::api());
        EXPECT_EQ(camera->Init(&HostSink::callback, &sink, 0, 0), 0);
        sdk().calls.clear();
        return camera;
    }

    // Hands a frame to the capture callback the camera registered.
    void deliver(const std::vector<uint8_t>& frame)
    {
        ASSERT_NE(sdk().callback, nullptr);
        sdk().callback(frame.data(), static_cast<int32_t>(frame.size()), sdk().userData, sdk().userValue);
    }

    HostSink sink;
};

TEST_F(CameraISSRTest, InitLogsInStartsControlAndAutomaticExposureInOrder)
{
    sdk().addCamera();
    sdk().addCamera();
    CMCameraISSR camera(1, ScriptedSdk::api());
    ASSERT_EQ(camera.Init(&HostSink::callback, &sink, 640, 480), 0);
    const std::vector<Call> expected{{"init"},         {"search"},           {"login", 1}, {"setCaptureCallback", 1},
                                     {"startCtrl", 1}, {"set", 1, 0x1100, 3}};
    EXPECT_EQ(sdk().calls, expected);
    EXPECT_EQ(sdk().userData, &camera);
    EXPECT_EQ(sdk().userValue, 1);
}

TEST_F(CameraISSRTest, DeviceIndexBeyondTheSearchResultLogsNothingIn)
{
    sdk().addCamera();
    CMCameraISSR camera(3, ScriptedSdk::api());
    EXPECT_EQ(camera.Init(&HostSink::callback, &sink, 0, 0), 0);
    EXPECT_TRUE(sdk().callsOf("login").empty());
    int value = 0;
    EXPECT_EQ(camera.GetProperty(CM_PROP_GAIN, &value), CM_E_INVALIDARG);
}

TEST_F(CameraISSRTest, WithoutCameraEveryOperationAnswersWithoutTouchingTheSdk)
{
    CMCameraISSR camera(0, ScriptedSdk::api());
    EXPECT_EQ(camera.Init(&HostSink::callback, &sink, 0, 0), 0);
    sdk().calls.clear();
    int value = 5, min = 0, max = 0, def = 0;
    bool automatic = false;
    EXPECT_EQ(camera.GetProperty(CM_PROP_GAIN, &value), CM_E_INVALIDARG);
    EXPECT_EQ(camera.SetProperty(CM_PROP_GAIN, 1), CM_E_INVALIDARG);
    EXPECT_EQ(camera.GetPropertyRange(CM_PROP_GAIN, &min, &max, &def, nullptr), CM_E_INVALIDARG);
    EXPECT_EQ(camera.setExposure(true), CM_E_STREAM);
    EXPECT_EQ(camera.getExposure(automatic), CM_E_STREAM);
    EXPECT_EQ(camera.setWhiteBalance(true), CM_E_STREAM);
    EXPECT_EQ(camera.getWhiteBalance(automatic), CM_E_STREAM);
    EXPECT_EQ(camera.SetPreviewSize(1280, 960), 0);
    int w = -1, h = -1;
    EXPECT_EQ(camera.GetPreviewSize(w, h), 0);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(camera.startPreview(), 0);
    EXPECT_EQ(camera.stopPreview(), 0);
    camera.Release();
    EXPECT_TRUE(sdk().calls.empty());
}

TEST_F(CameraISSRTest, FailedLoginIsReportedWithItsReasonAndLeavesTheSessionLoggedOut)
{
    sdk().addCamera();
    sdk().loginFailure = VEXEL_E_NO_SESSION;
    sdk().openFailure = VEXEL_OPEN_NO_PERMISSION;
    CMCameraISSR camera(0, ScriptedSdk::api());
    EXPECT_EQ(camera.Init(&HostSink::callback, &sink, 0, 0), CM_E_OPEN);
    EXPECT_EQ(CMGetLastOpenFailure(), CM_OPEN_FAILURE_PERMISSION);
    EXPECT_STREQ(CMOpenFailureTextId(CMGetLastOpenFailure()), "STR_USB_ACCESS_RULE");
    EXPECT_EQ(sdk().callsOf("logout"), (std::vector<Call>{{"logout", 0}}));
    EXPECT_TRUE(sdk().callsOf("startCtrl").empty());
    EXPECT_EQ(camera.SetProperty(CM_PROP_GAIN, 1), CM_E_INVALIDARG);

    // A camera held by another program: a failure that says so, not the rule's line.
    sdk().openFailure = VEXEL_OPEN_BUSY;
    EXPECT_EQ(camera.Init(&HostSink::callback, &sink, 0, 0), CM_E_OPEN);
    EXPECT_STREQ(CMOpenFailureTextId(CMGetLastOpenFailure()), "STR_CAMERA_BUSY");

    sdk().loginFailure = 0;
    EXPECT_EQ(camera.Init(&HostSink::callback, &sink, 0, 0), CM_OK);
    EXPECT_EQ(CMGetLastOpenFailure(), CM_OPEN_FAILURE_NONE);
}

TEST_F(CameraISSRTest, PreviewSizeWritesTheCentredWindowOffsetsFirst)
{
    auto camera = openCamera();
    EXPECT_EQ(camera->SetPreviewSize(1280, 960), 0);
    const std::vector<Call> expected{
        {"set", 0, 0x1220, 330}, {"set", 0, 0x1224, 250}, {"set", 0, 0x1228, 1280}, {"set", 0, 0x122C, 960}};
    EXPECT_EQ(sdk().calls, expected);

    sdk().calls.clear();
    EXPECT_EQ(camera->SetPreviewSize(640, 480), 0);
    EXPECT_EQ(sdk().registers[0x1220], 650);
    EXPECT_EQ(sdk().registers[0x1224], 490);
    EXPECT_EQ(camera->SetPreviewSize(1920, 1440), 0);
    EXPECT_EQ(sdk().registers[0x1220], 10);
    EXPECT_EQ(sdk().registers[0x1224], 10);

    sdk().calls.clear();
    EXPECT_EQ(camera->SetPreviewSize(1280, 800), 0);
    EXPECT_TRUE(sdk().calls.empty());

    int w = 0, h = 0;
    EXPECT_EQ(camera->GetPreviewSize(w, h), 0);
    EXPECT_EQ(w, 1920);
    EXPECT_EQ(h, 1440);
}

TEST_F(CameraISSRTest, SizesAndFormatsAreTheFixedLists)
{
    auto camera = openCamera();
    std::vector<_tag_CMSIZE> sizes{{1, 1}};
    EXPECT_EQ(camera->GetSupportedPreviewSizes(&sizes), 0);
    ASSERT_EQ(sizes.size(), 10u); // appended
    EXPECT_EQ(sizes[1].width, 640);
    EXPECT_EQ(sizes[5].height, 960);
    EXPECT_EQ(sizes[9].width, 1920);
    EXPECT_EQ(sizes[9].height, 1440);
    EXPECT_EQ(camera->GetSupportedPreviewSizes(nullptr), CM_E_INVALIDARG);
    std::vector<int> formats;
    EXPECT_EQ(camera->GetSupportedFormats(&formats), 0);
    EXPECT_EQ(formats, std::vector<int>{FMT_YUYV});
    EXPECT_EQ(camera->GetSupportedFormats(nullptr), CM_E_INVALIDARG);
    int format = 0;
    EXPECT_EQ(camera->SetFormat(FMT_MJPG), 0);
    EXPECT_EQ(camera->GetFormat(format), 0);
    EXPECT_EQ(format, FMT_YUYV);
}

TEST_F(CameraISSRTest, SharpnessIsWrittenWithTheTopBitsAndReadAsItsLowNibble)
{
    auto camera = openCamera();
    EXPECT_EQ(camera->SetProperty(CM_PROP_SHARPNESS, 7), 0);
    EXPECT_EQ(sdk().calls, (std::vector<Call>{{"set", 0, 0x2030, static_cast<int32_t>(0xC0000007)}}));
    int value = 0;
    EXPECT_EQ(camera->GetProperty(CM_PROP_SHARPNESS, &value), 0);
    EXPECT_EQ(value, 7);
}

TEST_F(CameraISSRTest, PropertiesMapToTheirRegisters)
{
    auto camera = openCamera();
    const std::pair<tagCMProperty, uint32_t> map[] = {
        {CM_PROP_CONTRAST, 0x2100},        {CM_PROP_SATURATION, 0x2104}, {CM_PROP_GAIN, 0x1140},
        {CM_PROP_EXPOSURE_TARGET, 0x1104}, {CM_PROP_EXPOSURE, 0x1404},   {CM_PROP_RED_GAIN, 0x1310},
        {CM_PROP_GREEN_GAIN, 0x1314},      {CM_PROP_BLUE_GAIN, 0x1318},  {CM_PROP_DENOISE, 0x2024}};
    int n = 10;
    for (const auto& [property, reg] : map) {
        EXPECT_TRUE(camera->IsPropertySupport(property));
        EXPECT_EQ(camera->SetProperty(property, ++n), 0);
        EXPECT_EQ(sdk().registers[reg], n) << property;
        sdk().registers[reg] = n + 100;
        int value = 0;
        EXPECT_EQ(camera->GetProperty(property, &value), 0);
        EXPECT_EQ(value, n + 100) << property;
    }
    for (tagCMProperty p : {CM_PROP_BRIGHTNESS, CM_PROP_HUE, CM_PROP_OFFSET_0, CM_PROP_COLOR_MODE, CM_PROP_POWERLINE}) {
        EXPECT_FALSE(camera->IsPropertySupport(p)) << p;
        int value = 0;
        EXPECT_EQ(camera->GetProperty(p, &value), CM_E_NOTSUPPORTED) << p;
        EXPECT_EQ(camera->SetProperty(p, 1), CM_E_NOTSUPPORTED) << p;
    }
    EXPECT_EQ(camera->GetProperty(CM_PROP_GAIN, nullptr), CM_E_INVALIDARG);
}

TEST_F(CameraISSRTest, PropertyRangesAndDefaults)
{
    auto camera = openCamera();
    int min = -1, max = -1, def = -1, step = 1234;
    EXPECT_EQ(camera->GetPropertyRange(CM_PROP_EXPOSURE, &min, &max, &def, &step), 0);
    EXPECT_EQ(min, 10);
    EXPECT_EQ(max, 39200);
    EXPECT_EQ(def, 39200);
    EXPECT_EQ(step, 1234);
    EXPECT_EQ(camera->GetPropertyRange(CM_PROP_SATURATION, &min, &max, &def, nullptr), 0);
    EXPECT_EQ(def, 51);
    EXPECT_EQ(camera->GetPropertyRange(CM_PROP_SHARPNESS, &min, &max, &def, nullptr), 0);
    EXPECT_EQ(max, 15);
    EXPECT_EQ(def, 4);
    EXPECT_EQ(camera->GetPropertyRange(CM_PROP_GAIN, &min, &max, &def, nullptr), 0);
    EXPECT_EQ(max, 360);
    EXPECT_EQ(camera->GetPropertyRange(CM_PROP_HUE, &min, &max, &def, nullptr), CM_E_NOTSUPPORTED);
    EXPECT_EQ(camera->GetPropertyRange(CM_PROP_GAIN, &min, nullptr, &def, nullptr), CM_E_INVALIDARG);
}

TEST_F(CameraISSRTest, RefusedRegisterAccessIsReportedNotSwallowed)
{
    auto camera = openCamera();
    sdk().failingRegisters[0x1140] = true;
    sdk().failingRegisters[0x1228] = true;
    sdk().registers[0x1140] = 99;
    EXPECT_EQ(camera->SetProperty(CM_PROP_GAIN, 400), CM_E_FAILED);
    int value = -1;
    EXPECT_EQ(camera->GetProperty(CM_PROP_GAIN, &value), CM_E_FAILED);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(camera->SetPreviewSize(1280, 960), CM_E_FAILED);
    _tag_CMSIZE size{};
    EXPECT_EQ(camera->GetPreviewSize(size), CM_E_FAILED);
}

TEST_F(CameraISSRTest, ExposureAndWhiteBalanceModes)
{
    auto camera = openCamera();
    EXPECT_EQ(camera->setExposure(false), 0);
    EXPECT_EQ(sdk().registers[0x1100], 0);
    EXPECT_EQ(camera->setExposure(true), 0);
    EXPECT_EQ(sdk().registers[0x1100], 3);
    bool automatic = false;
    EXPECT_EQ(camera->getExposure(automatic), 0);
    EXPECT_TRUE(automatic);
    sdk().registers[0x1100] = 1;
    EXPECT_EQ(camera->getExposure(automatic), 0);
    EXPECT_FALSE(automatic);

    EXPECT_EQ(camera->setWhiteBalance(true), 0);
    EXPECT_EQ(sdk().registers[0x1300], 1);
    EXPECT_EQ(camera->getWhiteBalance(automatic), 0);
    EXPECT_TRUE(automatic);
    EXPECT_EQ(camera->setWhiteBalance(false), 0);
    EXPECT_EQ(sdk().registers[0x1300], 0);
    sdk().registers[0x1300] = 2; // one-shot running is not automatic
    EXPECT_EQ(camera->getWhiteBalance(automatic), 0);
    EXPECT_FALSE(automatic);
}

TEST_F(CameraISSRTest, PreviewStartsAndStopsCapture)
{
    auto camera = openCamera();
    EXPECT_EQ(camera->startPreview(), 0);
    EXPECT_FALSE(camera->IsPaused());
    sdk().startCaptureResult = VEXEL_E_STATE; // already running
    EXPECT_EQ(camera->startPreview(), 0);
    EXPECT_EQ(camera->stopPreview(), 0);
    EXPECT_TRUE(camera->IsPaused());
    EXPECT_EQ(camera->GetFrameRate(), 0.0f);
    EXPECT_EQ(sdk().ops(), (std::vector<std::string>{"startCapture", "startCapture", "stopCapture"}));
}

TEST_F(CameraISSRTest, NoFrameRateIsLeftAfterStopPreview)
{
    auto camera = openCamera();
    ASSERT_EQ(camera->startPreview(), 0);
    const auto frame = makeStreamFrame(0x0210003B, 4, 3, 24);
    // The rate is measured over windows of a second.
    while (camera->GetFrameRate() == 0.0f) {
        deliver(frame);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // The delivery thread finishes one more frame while the stop joins it,
    // with the next window already over, so that frame computes a rate.
    sdk().onStopCapture = [&] { deliver(frame); };
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    EXPECT_EQ(camera->stopPreview(), 0);
    EXPECT_EQ(camera->GetFrameRate(), 0.0f);
    sdk().onStopCapture = nullptr;
}

TEST_F(CameraISSRTest, StartPreviewReportsACameraThatCannotStream)
{
    auto camera = openCamera();
    sdk().startCaptureResult = VEXEL_E_NO_ENDPOINT;
    EXPECT_EQ(camera->startPreview(), CM_E_STREAM);
}

TEST_F(CameraISSRTest, ReleaseStopsCaptureAndControlThenLogsOutOnce)
{
    auto camera = openCamera();
    camera->Release();
    EXPECT_EQ(sdk().calls, (std::vector<Call>{{"stopCapture", 0}, {"stopCtrl", 0}, {"logout", 0}}));
    sdk().calls.clear();
    camera->Release();
    int value = 0;
    EXPECT_EQ(camera->GetProperty(CM_PROP_GAIN, &value), CM_E_INVALIDARG);
    EXPECT_TRUE(sdk().calls.empty());
}

TEST_F(CameraISSRTest, DeletingAnOpenCameraStopsItsCaptureFirst)
{
    auto camera = openCamera();
    camera.reset();
    EXPECT_EQ(sdk().ops(), (std::vector<std::string>{"stopCapture", "stopCtrl", "logout", "uninit"}));
}

TEST_F(CameraISSRTest, TheSdkStaysInitialisedWhileAnyCameraLives)
{
    sdk().addCamera();
    auto first = std::make_unique<CMCameraISSR>(0, ScriptedSdk::api());
    auto second = std::make_unique<CMCameraISSR>(0, ScriptedSdk::api());
    EXPECT_EQ(sdk().callsOf("init").size(), 1u);
    first.reset();
    EXPECT_TRUE(sdk().callsOf("uninit").empty());
    EXPECT_EQ(sdk().initialised, 1);
    second.reset();
    EXPECT_EQ(sdk().callsOf("uninit").size(), 1u);
    EXPECT_EQ(sdk().initialised, 0);
}

TEST_F(CameraISSRTest, FramesDescribeThePayloadWithoutCopying)
{
    auto camera = openCamera();
    const auto frame = makeStreamFrame(0x0210003B, 4, 3, 4 * 3 * 2);
    deliver(frame);
    ASSERT_EQ(sink.frames, 1);
    EXPECT_EQ(sink.last.format, FMT_YUYV);
    EXPECT_EQ(sink.last.width, 4);
    EXPECT_EQ(sink.last.height, 3);
    EXPECT_EQ(sink.last.bottomUp, 0);
    EXPECT_EQ(sink.last.data, frame.data() + 52);
    EXPECT_EQ(sink.last.dataSize, 24u); // the payload, not the leader
    EXPECT_EQ(sink.last.bufferSize, 24u);
    EXPECT_TRUE(sink.last.externalBuffer);
    sink.last.data = nullptr;

    deliver(makeStreamFrame(0x01080001, 4, 3, 24));
    EXPECT_EQ(sink.last.format, FMT_YUY2);
    sink.last.data = nullptr;
}

// Standard error redirected into a pipe that the test reads only when it wants.
class StderrPipe {
public:
    StderrPipe()
    {
        int fds[2];
        EXPECT_EQ(::pipe(fds), 0);
        read_ = fds[0];
        write_ = fds[1];
        ::fcntl(read_, F_SETFL, O_NONBLOCK);
        saved_ = ::dup(2);
        ::dup2(write_, 2);
    }
    ~StderrPipe()
    {
        ::dup2(saved_, 2);
        for (int fd : {saved_, read_, write_})
            ::close(fd);
    }
    // Fills the pipe to the brim, as a reader that never reads would leave it.
    void fill()
    {
        const int flags = ::fcntl(write_, F_GETFL);
        ::fcntl(write_, F_SETFL, flags | O_NONBLOCK);
        const std::string block(4096, '#');
        while (::write(write_, block.data(), block.size()) > 0) {
        }
        while (::write(write_, block.data(), 1) > 0) {
        }
        ::fcntl(write_, F_SETFL, flags);
    }
    std::string drain()
    {
        std::string text;
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(read_, buffer, sizeof buffer)) > 0)
            text.append(buffer, static_cast<size_t>(n));
        return text;
    }

private:
    int read_ = -1, write_ = -1, saved_ = -1;
};

size_t countOf(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

TEST_F(CameraISSRTest, TheFormatLineComesOnChangesOnlyAndNeverHoldsUpFrames)
{
    if (const char* log = std::getenv("PELLUMO_DEBUG_LOG"); log && *log)
        GTEST_SKIP() << "the debug output does not go to standard error here";
    auto camera = openCamera();
    const auto yuyv = makeStreamFrame(0x0210003B, 4, 3, 24);
    const auto yuy2 = makeStreamFrame(0x01080001, 4, 3, 24);
    StderrPipe err;

    // Standard error is a pipe nobody reads: frames and the stop go on.
    err.fill();
    std::atomic<bool> finished{false};
    std::thread delivery([&] {
        for (int i = 0; i < 400; ++i)
            deliver(i % 100 < 50 ? yuyv : yuy2);
        camera->stopPreview();
        finished = true;
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!finished && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const bool flowed = finished;
    err.drain(); // frees a writer stuck on the full pipe
    delivery.join();
    EXPECT_TRUE(flowed) << "the delivery thread waited for standard error";
    EXPECT_EQ(sink.frames, 400);

    // With room in the pipe: one line for the first frame, one per change.
    err.drain();
    ASSERT_EQ(camera->Init(&HostSink::callback, &sink, 0, 0), CM_OK);
    for (int i = 0; i < 100; ++i)
        deliver(i < 60 ? yuyv : yuy2);
    const std::string text = err.drain();
    EXPECT_EQ(countOf(text, "U3V_LEADER Format"), 2u) << text;
    EXPECT_EQ(countOf(text, "U3V_LEADER Format 0x210003b\n"), 1u) << text;
}

TEST_F(CameraISSRTest, FramesWhoseLeaderPromisesMoreThanThePayloadAreDropped)
{
    auto camera = openCamera();
    deliver(makeStreamFrame(0x0210003B, 64, 48, 100));
    deliver(makeStreamFrame(0x0210003B, 0, 48, 100));
    std::vector<uint8_t> stub(20, 0);
    deliver(stub);
    EXPECT_EQ(sink.frames, 0);
}

TEST_F(CameraISSRTest, FramesAfterReleaseNeverReachTheHost)
{
    auto camera = openCamera();
    camera->Release();
    deliver(makeStreamFrame(0x0210003B, 4, 3, 24));
    EXPECT_EQ(sink.frames, 0);
}

TEST_F(CameraISSRTest, SnapCopiesTheNextFramePayloadForTheCaller)
{
    auto camera = openCamera();
    const auto frame = makeStreamFrame(0x0210003B, 8, 2, 32);
    CWImage snap;
    std::atomic<int> result{1};
    std::thread snapper([&] { result = camera->Snap(&snap); });
    while (result == 1) {
        deliver(frame);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    snapper.join();
    ASSERT_EQ(result, 0);
    ASSERT_NE(snap.data, nullptr);
    EXPECT_NE(snap.data, frame.data() + 52);
    EXPECT_EQ(snap.width, 8);
    EXPECT_EQ(snap.height, 2);
    EXPECT_EQ(snap.format, FMT_YUYV);
    ASSERT_EQ(snap.dataSize, 32u);
    EXPECT_EQ(0, std::memcmp(snap.data, frame.data() + 52, 32));
    delete[] snap.data; // the caller frees the copy
    snap.data = nullptr;
}

} // namespace
