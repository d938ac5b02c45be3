// The wireless box camera and its client library against the box simulator,
// including the simulator's faults.
#include "BoxSimulatorProcess.h"
#include "FrameSink.h"
#include "camera/boxclient/BoxProtocol.h"
#include "camera/boxclient/BoxSocket.h"
#include "camera/boxclient/CHD_WMP.h"
#include "camera/network/CMCameraWMPBox.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

namespace {
using Clock = std::chrono::steady_clock;

long msSince(Clock::time_point start)
{
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

bool isJpeg(const std::vector<uint8_t>& head) { return head.size() >= 2 && head[0] == 0xFF && head[1] == 0xD8; }

// Waits until the frame count has stopped moving for a while.
void waitUntilFramesStop(FrameSink& sink)
{
    for (int i = 0; i < 40 && !sink.staysQuiet(500); ++i) {
    }
}

// Waits until the camera's session has ended (its requests fail).
bool waitUntilSessionEnds(CMCameraWMPBox& camera)
{
    const auto start = Clock::now();
    int format = 0;
    while (camera.GetFormat(format) == CM_OK) {
        if (msSince(start) > 20000)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

class BoxCamera : public ::testing::Test {
protected:
    void open(std::vector<std::string> simulatorArgs = {})
    {
        simulator = std::make_unique<BoxSimulatorProcess>(std::move(simulatorArgs));
        ASSERT_TRUE(simulator->ready());
        camera = std::make_unique<CMCameraWMPBox>(simulator->session().c_str());
        ASSERT_EQ(camera->Init(&FrameSink::callback, &sink, 0, 0), CM_OK);
    }
    void TearDown() override
    {
        if (camera)
            camera->Release();
    }

    std::unique_ptr<BoxSimulatorProcess> simulator;
    std::unique_ptr<CMCameraWMPBox> camera;
    FrameSink sink;
};
} // namespace

TEST(BoxScan, FindsTheSimulatorWithValueNameAndAddress)
{
    BoxSimulatorProcess simulator({"--name", "Bench 7", "--value", "42"});
    ASSERT_TRUE(simulator.ready());
    ASSERT_EQ(CHD_WMP_SetScanHosts(simulator.discovery().c_str()), CHD_OK);
    ASSERT_EQ(CHD_WMP_ScanDevice_Init(1), CHD_OK);
    CHD_WMP_SCAN_RECORD records[CHD_WMP_MAX_SCAN_RECORDS];
    int count = 0;
    const auto start = Clock::now();
    while (msSince(start) < 20000) {
        ASSERT_EQ(CHD_WMP_Scan_GetDeviceInfo(records, &count), CHD_OK);
        if (count > 0)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    CHD_WMP_ScanDevice_UnInit();
    ASSERT_EQ(count, 1);
    EXPECT_EQ(records[0].value, 42);
    EXPECT_STREQ(records[0].name, "Bench 7");
    // The address is the one a camera connects to.
    EXPECT_EQ(std::string(records[0].address), simulator.session());
    EXPECT_NE(CHD_WMP_Scan_GetDeviceInfo(nullptr, &count), CHD_OK);
    EXPECT_NE(CHD_WMP_SetScanHosts("box.example"), CHD_OK); // numeric addresses only
    EXPECT_EQ(CHD_WMP_SetScanHosts("127.0.0.1"), CHD_OK);
}

TEST(BoxClient, ConnectFailuresAreReportedAtOnce)
{
    CHD_WMP_HANDLE box = nullptr;
    EXPECT_EQ(CHD_WMP_ConnectDevice(&box, "not an address", "vemra"), CHD_ERR_PARAM);
    EXPECT_EQ(CHD_WMP_ConnectDevice(&box, "127.0.0.1:99999", "vemra"), CHD_ERR_PARAM);
    // Port 1 on loopback: nothing listens, the connection is refused.
    EXPECT_EQ(CHD_WMP_ConnectDevice(&box, "127.0.0.1:1", "vemra"), CHD_ERR_NETWORK);
    EXPECT_EQ(box, nullptr);
}

TEST(BoxClient, AnOpenWaitingForASilentBoxGivesUpWhenAborted)
{
    // A listening socket nobody accepts from: the connection is made by the
    // kernel, and the greeting is never answered (3 s, twice: with and
    // without the access code).
    const int silent = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(silent, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(silent, 4), 0);
    ASSERT_EQ(::getsockname(silent, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const std::string target = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));

    FrameSink sink;
    CMCameraWMPBox camera(target.c_str());
    int result = CM_OK;
    const auto start = Clock::now();
    std::thread opening([&] { result = camera.Init(&FrameSink::callback, &sink, 0, 0); });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    camera.AbortOpen();
    opening.join();
    EXPECT_EQ(result, CM_E_OPEN);
    EXPECT_LT(msSince(start), 2500) << "given up before the greeting's own time-out";
    camera.Release();
    ::close(silent);
}

TEST(BoxClient, LentFramesMustComeBackOnceAndOnlyFromThisSession)
{
    BoxSimulatorProcess simulator;
    ASSERT_TRUE(simulator.ready());
    CHD_WMP_HANDLE box = nullptr;
    ASSERT_EQ(CHD_WMP_ConnectDevice(&box, simulator.session().c_str(), "vemra"), CHD_OK);
    ASSERT_EQ(CHD_WMP_Video_Begin(box), CHD_OK);
    int flags = 0;
    const auto start = Clock::now();
    while (!(flags & CHD_WMP_POLL_VIDEO) && msSince(start) < 20000)
        CHD_WMP_Poll(box, &flags, 2000);
    ASSERT_TRUE(flags & CHD_WMP_POLL_VIDEO);
    CHD_WMP_FRAME* frame = nullptr;
    ASSERT_EQ(CHD_WMP_Video_RequestVideoData(box, &frame), CHD_OK);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->format, CHD_WMP_FORMAT_MJPEG);
    EXPECT_EQ(frame->width, 320);
    EXPECT_EQ(frame->height, 240);
    EXPECT_EQ(CHD_WMP_FRAME_DATA(frame)[0], 0xFF);
    CHD_WMP_FRAME foreign{};
    EXPECT_EQ(CHD_WMP_Video_ReleaseVideoData(box, &foreign), CHD_ERR_NODATA);
    EXPECT_EQ(CHD_WMP_Video_ReleasePicData(box, frame), CHD_ERR_NODATA); // wrong kind
    EXPECT_EQ(CHD_WMP_Video_ReleaseVideoData(box, frame), CHD_OK);
    EXPECT_EQ(CHD_WMP_Video_ReleaseVideoData(box, frame), CHD_ERR_NODATA); // twice
    int ctrl[8];
    EXPECT_EQ(CHD_WMP_Video_GetVideoCtrl(box, 10, ctrl), CHD_ERR_REFUSED);
    EXPECT_EQ(CHD_WMP_Video_End(box), CHD_OK);
    EXPECT_EQ(CHD_WMP_Disconnect(box), CHD_OK);
}

TEST_F(BoxCamera, DescribesItselfAsTheWirelessBox)
{
    CMCameraWMPBox unnamed("");
    EXPECT_EQ(unnamed.Init(&FrameSink::callback, &sink, 0, 0), CM_E_OPEN);
    const _tag_VideoDeviceInfo info = unnamed.GetDeviceInfo();
    EXPECT_STREQ(info.name, "Wireless");
    EXPECT_TRUE(unnamed.IsNetworkCamera());
    // Longer than the 20-byte address field: kept terminated.
    CMCameraWMPBox longName("127.0.0.1:48621-and-some-more");
    EXPECT_EQ(std::strlen(longName.GetDeviceInfo().address), 19u);
}

TEST_F(BoxCamera, SizesAndFormats)
{
    open();
    std::vector<_tag_CMSIZE> sizes;
    ASSERT_EQ(camera->GetSupportedPreviewSizes(&sizes), CM_OK);
    ASSERT_EQ(sizes.size(), 2u);
    EXPECT_EQ(sizes[0].width, 320);
    EXPECT_EQ(sizes[1].height, 480);
    int w = 0, h = 0;
    ASSERT_EQ(camera->GetPreviewSize(w, h), CM_OK);
    EXPECT_EQ(w, 320);
    EXPECT_EQ(camera->SetPreviewSize(640, 480), CM_OK);
    ASSERT_EQ(camera->GetPreviewSize(w, h), CM_OK);
    EXPECT_EQ(h, 480);
    EXPECT_EQ(camera->SetPreviewSize(100, 100), CM_E_FAILED);

    std::vector<int> formats;
    ASSERT_EQ(camera->GetSupportedFormats(&formats), CM_OK);
    EXPECT_EQ(formats, std::vector<int>{FMT_MJPG}); // the box's YUYV is not offered
    EXPECT_EQ(camera->GetSupportedFormats(nullptr), CM_E_INVALIDARG);
    int format = 0;
    ASSERT_EQ(camera->GetFormat(format), CM_OK);
    EXPECT_EQ(format, FMT_MJPG);
    // The format in use: refused without asking the box (which would accept it).
    EXPECT_EQ(camera->SetFormat(FMT_MJPG), CM_E_FAILED);
    EXPECT_EQ(camera->SetFormat(FMT_YUYV), CM_OK);
    ASSERT_EQ(camera->GetFormat(format), CM_OK);
    EXPECT_EQ(format, FMT_YUYV);
    EXPECT_EQ(camera->SetFormat(FMT_H264), CM_E_FAILED); // the box has no H.264
    std::vector<_tag_CMSIZE> stills;
    ASSERT_EQ(camera->GetSupportedStillCaptureSizes(&stills), CM_OK);
    EXPECT_EQ(stills.size(), 2u);
}

TEST_F(BoxCamera, FramesFlowOnlyAfterStartPreviewInTheBoxFormat)
{
    open();
    EXPECT_TRUE(sink.staysQuiet(400));
    camera->startPreview();
    ASSERT_TRUE(sink.waitFor(3));
    FrameSink::Seen seen = sink.last();
    EXPECT_EQ(seen.format, FMT_MJPG);
    EXPECT_EQ(seen.width, 320);
    EXPECT_EQ(seen.height, 240);
    EXPECT_EQ(seen.bottomUp, 0);
    EXPECT_TRUE(isJpeg(seen.head));

    ASSERT_EQ(camera->SetFormat(FMT_YUYV), CM_OK);
    const auto start = Clock::now();
    while (sink.last().format != FMT_YUYV && msSince(start) < 20000)
        sink.waitFor(sink.total() + 1);
    seen = sink.last();
    EXPECT_EQ(seen.format, FMT_YUYV);
    EXPECT_EQ(seen.dataSize, 320u * 240u * 2u);

    camera->stopPreview();
    EXPECT_EQ(camera->GetFrameRate(), 0.0f);
    waitUntilFramesStop(sink); // a poll in flight may still deliver one
    EXPECT_TRUE(sink.staysQuiet(400));
}

TEST_F(BoxCamera, PropertiesMapToTheBoxControls)
{
    open({"--unsupported-controls", "8"});
    // Ranges identify the control behind each property.
    struct Expect {
        tagCMProperty property;
        int min, max, def;
    };
    const Expect expected[] = {
        {CM_PROP_BRIGHTNESS, -64, 64, 0}, {CM_PROP_CONTRAST, 0, 100, 50},   {CM_PROP_HUE, -180, 180, 0},
        {CM_PROP_SATURATION, 0, 100, 60}, {CM_PROP_GAMMA, 100, 300, 100},   {CM_PROP_SHARPNESS, 0, 15, 3},
        {CM_PROP_GAIN, 0, 100, 0},        {CM_PROP_EXPOSURE, 1, 5000, 156}, {CM_PROP_WB_TEMPERATURE, 2800, 6500, 4600},
    };
    for (const Expect& e : expected) {
        SCOPED_TRACE(e.property);
        EXPECT_TRUE(camera->IsPropertySupport(e.property));
        int min = 0, max = 0, def = 0, step = -7;
        ASSERT_EQ(camera->GetPropertyRange(e.property, &min, &max, &def, &step), CM_OK);
        EXPECT_EQ(min, e.min);
        EXPECT_EQ(max, e.max);
        EXPECT_EQ(def, e.def);
        EXPECT_EQ(step, -7);
        int value = 0;
        ASSERT_EQ(camera->GetProperty(e.property, &value), CM_OK);
        EXPECT_EQ(value, e.def);
    }
    EXPECT_FALSE(camera->IsPropertySupport(CM_PROP_CONTROL10)); // control 8 switched off
    EXPECT_TRUE(camera->IsPropertySupport(CM_PROP_OFFSET_1));   // software
    EXPECT_FALSE(camera->IsPropertySupport(CM_PROP_EXPOSURE_TARGET));

    ASSERT_EQ(camera->SetProperty(CM_PROP_HUE, -90), CM_OK);
    int value = 0;
    ASSERT_EQ(camera->GetProperty(CM_PROP_HUE, &value), CM_OK);
    EXPECT_EQ(value, -90);
    ASSERT_EQ(camera->GetProperty(CM_PROP_SATURATION, &value), CM_OK);
    EXPECT_EQ(value, 60); // hue and saturation are not swapped
    // Out of the box's range: refused by the box, and no software fallback.
    EXPECT_EQ(camera->SetProperty(CM_PROP_BRIGHTNESS, 1000), CM_E_NOTSUPPORTED);
    EXPECT_EQ(camera->GetProperty(CM_PROP_EXPOSURE_TARGET, &value), CM_E_NOTSUPPORTED);
    // Software properties keep the base behaviour.
    EXPECT_EQ(camera->SetProperty(CM_PROP_OFFSET_2, 300), CM_OK);
    ASSERT_EQ(camera->GetProperty(CM_PROP_OFFSET_2, &value), CM_OK);
    EXPECT_EQ(value, 44);
    int min = -1, max = -1;
    ASSERT_EQ(camera->GetPropertyRange(CM_PROP_OFFSET_0, &min, &max, nullptr, nullptr), CM_OK);
    EXPECT_EQ(max, 255);
}

TEST_F(BoxCamera, AutomaticExposureAndWhiteBalance)
{
    open();
    bool automatic = true;
    ASSERT_EQ(camera->getExposure(automatic), CM_OK);
    EXPECT_FALSE(automatic);
    ASSERT_EQ(camera->setExposure(true), CM_OK);
    ASSERT_EQ(camera->getExposure(automatic), CM_OK);
    EXPECT_TRUE(automatic);
    // In automatic mode the box moves the exposure itself, frame by frame.
    camera->startPreview();
    int exposure = 156;
    const auto start = Clock::now();
    while (exposure == 156 && msSince(start) < 20000) {
        sink.waitFor(sink.total() + 1);
        camera->GetProperty(CM_PROP_EXPOSURE, &exposure);
    }
    EXPECT_GT(exposure, 156);
    // Setting a value ends automatic mode.
    ASSERT_EQ(camera->SetProperty(CM_PROP_EXPOSURE, 100), CM_OK);
    ASSERT_EQ(camera->getExposure(automatic), CM_OK);
    EXPECT_FALSE(automatic);

    EXPECT_EQ(camera->getWhiteBalanceMode(), 1);
    ASSERT_EQ(camera->SetProperty(CM_PROP_WB_TEMPERATURE, 3000), CM_OK);
    ASSERT_EQ(camera->getWhiteBalance(automatic), CM_OK);
    EXPECT_FALSE(automatic);
    ASSERT_EQ(camera->setWhiteBalance(true), CM_OK);
    ASSERT_EQ(camera->getWhiteBalance(automatic), CM_OK);
    EXPECT_TRUE(automatic);
    ASSERT_EQ(camera->setWhiteBalance(false), CM_OK);
    ASSERT_EQ(camera->getWhiteBalance(automatic), CM_OK);
    EXPECT_FALSE(automatic);
}

TEST_F(BoxCamera, SnapshotAtTheStillSize)
{
    open();
    EXPECT_TRUE(camera->isSupportStillCapture());
    int w = 0, h = 0;
    ASSERT_EQ(camera->GetStillCaptureSize(w, h), CM_OK);
    EXPECT_EQ(w, 320); // the preview size until one is chosen
    camera->startPreview();
    ASSERT_EQ(camera->SetStillCaptureSize(640, 480), CM_OK);
    CWImage still;
    ASSERT_EQ(camera->Snap(&still), CM_OK);
    EXPECT_EQ(still.format, FMT_MJPG);
    EXPECT_EQ(still.width, 640);
    EXPECT_EQ(still.height, 480);
    ASSERT_NE(still.data, nullptr);
    EXPECT_EQ(still.data[0], 0xFF);
    EXPECT_EQ(still.data[1], 0xD8);
    EXPECT_EQ(still.dataSize, still.bufferSize);
    delete[] still.data;

    ASSERT_EQ(camera->SetFormat(FMT_YUYV), CM_OK);
    CWImage yuyv;
    ASSERT_EQ(camera->Snap(&yuyv), CM_OK);
    EXPECT_EQ(yuyv.format, FMT_YUYV);
    EXPECT_EQ(yuyv.dataSize, 640u * 480u * 2u);
    delete[] yuyv.data;
    // A still size the box does not have is refused.
    ASSERT_EQ(camera->SetStillCaptureSize(100, 100), CM_OK);
    CWImage refused;
    EXPECT_EQ(camera->Snap(&refused), CM_E_FAILED);
    EXPECT_EQ(refused.data, nullptr);
}

TEST_F(BoxCamera, SnapshotWithoutPictureFailsAndLeavesNoTarget)
{
    // The picture comes, but only after the camera has stopped waiting.
    open({"--picture-delay", "700"});
    camera->setSnapshotWaitMs(200);
    camera->startPreview();
    {
        CWImage late;
        EXPECT_EQ(camera->Snap(&late), CM_E_FAILED);
        EXPECT_EQ(late.data, nullptr);
    } // the image is gone: a picture written into it now would be a use after free
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    ASSERT_TRUE(sink.waitFor(sink.total() + 2)); // the camera is still alive and polling
    // The next snapshot gets its own picture, not a stale signal.
    camera->setSnapshotWaitMs(10000);
    CWImage next;
    ASSERT_EQ(camera->Snap(&next), CM_OK);
    EXPECT_NE(next.data, nullptr);
    delete[] next.data;
}

TEST_F(BoxCamera, WrongAccessCodeFailsToOpen)
{
    BoxSimulatorProcess locked({"--access-code", "other"});
    ASSERT_TRUE(locked.ready());
    CMCameraWMPBox box(locked.session().c_str());
    EXPECT_EQ(box.Init(&FrameSink::callback, &sink, 0, 0), CM_E_OPEN);
    // A box without a code refuses "vemra": the camera then connects without one.
    BoxSimulatorProcess codeless({"--access-code", ""});
    ASSERT_TRUE(codeless.ready());
    CMCameraWMPBox codelessBox(codeless.session().c_str());
    EXPECT_EQ(codelessBox.Init(&FrameSink::callback, &sink, 0, 0), CM_OK);
    codelessBox.Release();
    CHD_WMP_HANDLE direct = nullptr;
    EXPECT_EQ(CHD_WMP_ConnectDevice(&direct, codeless.session().c_str(), "vemra"), CHD_ERR_ACCESS);
    EXPECT_EQ(direct, nullptr);
    // An open box takes the code as well as none.
    BoxSimulatorProcess open({"--open"});
    ASSERT_TRUE(open.ready());
    CMCameraWMPBox openBox(open.session().c_str());
    EXPECT_EQ(openBox.Init(&FrameSink::callback, &sink, 0, 0), CM_OK);
    openBox.Release();
}

TEST_F(BoxCamera, DroppedConnectionStopsFramesAndReleaseReturns)
{
    open({"--fault", "drop:8"});
    testing::internal::CaptureStdout();
    camera->startPreview();
    // Calls after the connection is gone fail cleanly.
    ASSERT_TRUE(waitUntilSessionEnds(*camera));
    int w = 0, h = 0;
    EXPECT_EQ(camera->GetPreviewSize(w, h), CM_E_FAILED);
    EXPECT_TRUE(sink.staysQuiet(300));
    EXPECT_LE(sink.total(), 8u);
    const auto start = Clock::now();
    camera->Release();
    EXPECT_LT(msSince(start), 5000);
    const std::string console = testing::internal::GetCapturedStdout();
    // Said once, not on every poll of the closed connection.
    size_t said = 0;
    for (size_t at = console.find("disconnected\n"); at != std::string::npos;
         at = console.find("disconnected\n", at + 1))
        ++said;
    EXPECT_EQ(said, 1u) << console;
}

TEST(BoxClient, ALateAnswerFailsItsCallOnlyAndAShortOneIsAProtocolError)
{
    BoxSimulatorProcess late({"--fault", "late-answer:0"});
    ASSERT_TRUE(late.ready());
    CHD_WMP_HANDLE box = nullptr;
    ASSERT_EQ(CHD_WMP_ConnectDevice(&box, late.session().c_str(), "vemra"), CHD_OK);
    int ctrl[8];
    EXPECT_EQ(CHD_WMP_Video_GetVideoCtrl(box, 1, ctrl), CHD_ERR_TIMEOUT);
    // The session goes on; the late answer, when it comes, is no answer to this.
    EXPECT_EQ(CHD_WMP_Video_GetVideoCtrl(box, 1, ctrl), CHD_OK);
    EXPECT_EQ(CHD_WMP_Video_Begin(box), CHD_OK);
    EXPECT_EQ(CHD_WMP_Disconnect(box), CHD_OK);

    BoxSimulatorProcess shortAnswer({"--fault", "short-answer:0"});
    ASSERT_TRUE(shortAnswer.ready());
    ASSERT_EQ(CHD_WMP_ConnectDevice(&box, shortAnswer.session().c_str(), "vemra"), CHD_OK);
    EXPECT_EQ(CHD_WMP_Video_GetVideoCtrl(box, 1, ctrl), CHD_ERR_PROTOCOL);
    EXPECT_EQ(CHD_WMP_Video_GetVideoCtrl(box, 1, ctrl), CHD_OK);
    EXPECT_EQ(CHD_WMP_Disconnect(box), CHD_OK);
}

TEST_F(BoxCamera, StalledBoxStopsFramesAndReleaseReturns)
{
    open({"--fault", "stall:5"});
    camera->startPreview();
    ASSERT_TRUE(sink.waitFor(1));
    waitUntilFramesStop(sink);
    EXPECT_LE(sink.total(), 5u);
    const auto start = Clock::now();
    camera->Release(); // one poll time-out and one request time-out at most
    EXPECT_LT(msSince(start), 15000);
}

TEST_F(BoxCamera, GarbageOrOversizedMessagesEndTheSession)
{
    for (const char* fault : {"garbage:4", "oversized:4"}) {
        SCOPED_TRACE(fault);
        FrameSink local;
        BoxSimulatorProcess box({"--fault", fault});
        ASSERT_TRUE(box.ready());
        CMCameraWMPBox cam(box.session().c_str());
        ASSERT_EQ(cam.Init(&FrameSink::callback, &local, 0, 0), CM_OK);
        cam.startPreview();
        EXPECT_TRUE(waitUntilSessionEnds(cam)); // the client gave up on the stream
        EXPECT_TRUE(local.staysQuiet(300));
        EXPECT_LE(local.total(), 4u);
        cam.Release();
    }
}

TEST_F(BoxCamera, MalformedFrameIsDroppedAndVideoGoesOn)
{
    open({"--fault", "malformed:3"});
    camera->startPreview();
    ASSERT_TRUE(sink.waitFor(8));
    std::lock_guard<std::mutex> lock(sink.mutex);
    for (const auto& seen : sink.frames)
        EXPECT_TRUE(isJpeg(seen.head)); // the 64-byte filler never reached the host
}

TEST_F(BoxCamera, PreviewSwitchesAndReleaseRaceThePoll)
{
    open({"--fps", "60"});
    std::atomic<bool> done{false};
    std::thread host([&] {
        for (int i = 0; i < 50 && !done; ++i) {
            camera->startPreview();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            camera->stopPreview();
        }
        camera->startPreview();
    });
    std::thread reader([&] {
        int value = 0;
        for (int i = 0; i < 20; ++i)
            camera->GetProperty(CM_PROP_BRIGHTNESS, &value);
    });
    host.join();
    reader.join();
    ASSERT_TRUE(sink.waitFor(sink.total() + 2));
    camera->Release();
    const size_t after = sink.total();
    EXPECT_TRUE(sink.staysQuiet(200));
    EXPECT_EQ(sink.total(), after); // nothing after Release
    done = true;
}

namespace {
std::vector<CHD_WMP_SCAN_RECORD> scanUntil(size_t wanted, int timeoutMs)
{
    CHD_WMP_SCAN_RECORD records[CHD_WMP_MAX_SCAN_RECORDS];
    int count = 0;
    const auto start = Clock::now();
    for (;;) {
        if (CHD_WMP_Scan_GetDeviceInfo(records, &count) != CHD_OK)
            count = 0;
        if (static_cast<size_t>(count) == wanted || msSince(start) >= timeoutMs)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return std::vector<CHD_WMP_SCAN_RECORD>(records, records + count);
}
} // namespace

TEST(BoxScan, ProbesEveryListedHostAndForgetsBoxesThatGo)
{
    BoxSimulatorProcess first({"--name", "First"});
    auto second = std::make_unique<BoxSimulatorProcess>(std::vector<std::string>{"--name", "Second"});
    ASSERT_TRUE(first.ready());
    ASSERT_TRUE(second->ready());
    ASSERT_EQ(CHD_WMP_SetScanHosts((first.discovery() + ", " + second->discovery()).c_str()), CHD_OK);
    ASSERT_EQ(CHD_WMP_ScanDevice_Init(1), CHD_OK);
    auto found = scanUntil(2, 20000);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_NE(std::string(found[0].name), std::string(found[1].name));
    second.reset(); // the second box goes away
    found = scanUntil(1, 30000);
    CHD_WMP_ScanDevice_UnInit();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_STREQ(found[0].name, "First");
    CHD_WMP_SetScanHosts("127.0.0.1");
}

TEST(BoxScan, IgnoresRepliesThatDoNotAnswerItsProbe)
{
    // A responder of our own on loopback that answers each probe three
    // times: with a wrong nonce, without a session port, and properly.
    boxnet::Fd udp(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof local;
    ASSERT_EQ(::bind(udp.get(), reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
    ASSERT_EQ(::getsockname(udp.get(), reinterpret_cast<sockaddr*>(&local), &length), 0);
    const std::string host = "127.0.0.1:" + std::to_string(ntohs(local.sin_port));
    ASSERT_EQ(CHD_WMP_SetScanHosts(host.c_str()), CHD_OK);
    ASSERT_EQ(CHD_WMP_ScanDevice_Init(0), CHD_OK);

    uint8_t probe[64];
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    pollfd pfd{udp.get(), POLLIN, 0};
    ASSERT_EQ(::poll(&pfd, 1, 20000), 1);
    const ssize_t size = ::recvfrom(udp.get(), probe, sizeof probe, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
    const auto nonce = boxproto::parseDiscoverRequest(std::span<const uint8_t>(probe, static_cast<size_t>(size)));
    ASSERT_TRUE(nonce);
    auto send = [&](const boxproto::DiscoverReply& reply) {
        const auto bytes = boxproto::buildDiscoverReply(reply);
        ::sendto(udp.get(), bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&from), sizeof from);
    };
    send({*nonce + 1, 1, 5001, "Wrong nonce"});
    send({*nonce, 2, 0, "No port"});
    send({*nonce, 3, 5000, "Proper"});
    const auto found = scanUntil(1, 20000);
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // nothing else trickles in
    const auto after = scanUntil(1, 0);
    CHD_WMP_ScanDevice_UnInit();
    CHD_WMP_SetScanHosts("127.0.0.1");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(after.size(), 1u);
    EXPECT_EQ(found[0].value, 3);
    EXPECT_STREQ(found[0].name, "Proper");
    EXPECT_STREQ(found[0].address, "127.0.0.1:5000");
}
