// The video camera (CMCameraDirectShow) against the emulated video device:
// format choice, frames, size and format changes, stills, properties and
// the device faults real cameras show.
#include "VideoTestSupport.h"
#include "camera/usb/UsbOpenFailure.h"
#include "camera/v4l2/CMCameraDirectShow.h"
#include "camera/v4l2/EmulatedPictures.h"

#include <gtest/gtest.h>

#include <turbojpeg.h>

#include <algorithm>

using namespace videotest;

namespace {

// Exposes the protected still path the host reaches through Snap.
class TestCamera : public CMCameraDirectShow {
public:
    using CMCameraDirectShow::CMCameraDirectShow;
    using CMCameraDirectShow::GetStillImage;
};

bool sameSize(const _tag_CMSIZE& s, int w, int h) { return s.width == w && s.height == h; }

TEST(VideoCameraFormats, AVgaOnlyCameraAskedForFullHdMjpgStreamsItsOnlyFormat)
{
    const int index = installCameras({v4l2::genericCameraSpec(1, 0)});
    FrameLog log;
    CMCameraDirectShow camera(index);
    ASSERT_EQ(camera.Init(&FrameLog::callback, &log, 1920, 1080), CM_OK);
    ASSERT_TRUE(log.waitFor(2));
    const Frame f = log.last();
    EXPECT_EQ(f.format, FMT_YUY2);
    EXPECT_EQ(f.width, 640);
    EXPECT_EQ(f.height, 480);
    EXPECT_EQ(f.bytes.size(), 640u * 480 * 2);
    int format = 0;
    camera.GetFormat(format);
    EXPECT_EQ(format, FMT_YUY2);
    camera.Release();
}

TEST(VideoCameraFormats, TheClosestSizeIsNeverH264)
{
    // H.264 offers exactly the size asked for; MJPG only smaller ones.
    const int index = installCameras({v4l2::genericCameraSpec(2, 0)});
    FrameLog log;
    CMCameraDirectShow camera(index);
    ASSERT_EQ(camera.Init(&FrameLog::callback, &log, 1920, 1080), CM_OK);
    ASSERT_TRUE(log.waitFor(1));
    const Frame f = log.last();
    EXPECT_EQ(f.format, FMT_MJPG);
    EXPECT_EQ(f.width, 1280);
    EXPECT_EQ(f.height, 720);
    // The picture is cut to the JPEG itself: it starts with SOI and ends with EOI.
    ASSERT_GE(f.bytes.size(), 4u);
    EXPECT_EQ(f.bytes[0], 0xFF);
    EXPECT_EQ(f.bytes[1], 0xD8);
    EXPECT_EQ(f.bytes[f.bytes.size() - 2], 0xFF);
    EXPECT_EQ(f.bytes.back(), 0xD9);
    std::vector<int> formats;
    camera.GetSupportedFormats(&formats);
    EXPECT_EQ(formats, (std::vector<int>{FMT_H264, FMT_MJPG}));
    camera.Release();
}

TEST(VideoCameraFormats, Bgr24FramesAreTopDownAndRgb24IsListedButNeverChosen)
{
    // The requested MJPG is missing; the first table subtype offered at the
    // size is RGB24 (V4L2's BGR24). V4L2's RGB24 has no subtype of its own.
    const int index = installCameras({smallCamera(
        {{V4L2_PIX_FMT_RGB24, {{64, 48}}}, {V4L2_PIX_FMT_YUYV, {{64, 48}}}, {V4L2_PIX_FMT_BGR24, {{64, 48}}}})});
    FrameLog log;
    CMCameraDirectShow camera(index);
    ASSERT_EQ(camera.Init(&FrameLog::callback, &log, 64, 48), CM_OK);
    ASSERT_TRUE(log.waitFor(1));
    const Frame f = log.last();
    EXPECT_EQ(f.format, FMT_BGR24);
    EXPECT_EQ(f.bottomUp, 0);
    ASSERT_EQ(f.bytes.size(), 64u * 48 * 3);
    // The red patch sits in the top half of the picture, at its left.
    const v4l2::SceneColour red = v4l2::sceneColourAt(10, 14, 64, 48);
    ASSERT_EQ(red.r, 255);
    const uint8_t* px = &f.bytes[(14 * 64 + 10) * 3];
    EXPECT_EQ(px[0], 0);   // B
    EXPECT_EQ(px[1], 0);   // G
    EXPECT_EQ(px[2], 255); // R
    // V4L2's RGB24, which the program has no format for, is not offered.
    std::vector<int> formats;
    camera.GetSupportedFormats(&formats);
    EXPECT_EQ(formats, (std::vector<int>{FMT_YUY2, FMT_BGR24}));
    camera.Release();

    // Asked for a size nobody offers, the closest search skips RGB24 too.
    installCameras({smallCamera({{V4L2_PIX_FMT_RGB24, {{64, 48}}}, {V4L2_PIX_FMT_YUYV, {{32, 24}}}})});
    CMCameraDirectShow second(index);
    ASSERT_EQ(second.Init(&FrameLog::callback, &log, 64, 48), CM_OK);
    ASSERT_TRUE(log.waitFor(1));
    EXPECT_EQ(log.last().format, FMT_YUY2);
    EXPECT_EQ(log.last().width, 32);
    second.Release();
}

TEST(VideoCameraFormats, OpensAtTheFullRateOnSizesAndRatesTheDriverLists)
{
    // YUYV is listed first, at 10 frames/s; MJPEG gives the same size at 30.
    const int index = installCameras({*v4l2::namedCameraSpec("webcam", 0), *v4l2::namedCameraSpec("formats", 1)});
    FrameLog log;
    CMCameraDirectShow camera(index);
    ASSERT_EQ(camera.Init(&FrameLog::callback, &log, 1280, 720), CM_OK);
    ASSERT_TRUE(log.waitFor(1));
    EXPECT_EQ(log.last().format, FMT_MJPG);
    v4l2::EmulatedCamera::Stream stream = emulated(0)->stream();
    EXPECT_EQ(stream.width, 1280);
    EXPECT_EQ(stream.framesPerSecond, 30);
    camera.Release();

    // A stepwise range: the nearest point of its grid, as the driver lists it.
    CMCameraDirectShow stepwise(index + 1);
    ASSERT_EQ(stepwise.Init(&FrameLog::callback, &log, 1000, 700), CM_OK);
    ASSERT_TRUE(log.waitFor(1));
    EXPECT_EQ(log.last().format, FMT_MJPG);
    EXPECT_EQ(log.last().width, 992);
    EXPECT_EQ(log.last().height, 696);
    stepwise.Release();
}

TEST(VideoCameraFormats, EveryListedFormatDeliversAPicture)
{
    const int index = installCameras({*v4l2::namedCameraSpec("formats", 0)});
    FrameLog log;
    CMCameraDirectShow camera(index);
    ASSERT_EQ(camera.Init(&FrameLog::callback, &log, 640, 480), CM_OK);
    std::vector<int> formats;
    camera.GetSupportedFormats(&formats);
    EXPECT_EQ(formats, (std::vector<int>{FMT_NV12, FMT_I420, FMT_GREY, FMT_H264, FMT_MJPG}));
    // The red patch's luma: BT.601 studio range in the YUV formats, full range in GREY.
    size_t redAt = 0;
    for (int y = 0; y < 480 && !redAt; y += 4)
        for (int x = 0; x < 640 && !redAt; x += 4) {
            const v4l2::SceneColour c = v4l2::sceneColourAt(x, y, 640, 480);
            if (c.r == 255 && c.g == 0 && c.b == 0)
                redAt = size_t(y + 4) * 640 + size_t(x + 4);
        }
    ASSERT_NE(redAt, 0u);
    const std::pair<int, int> expected[] = {{FMT_NV12, 81}, {FMT_I420, 81}, {FMT_GREY, 76}};
    for (const auto& [format, luma] : expected) {
        ASSERT_EQ(camera.SetFormat(format), CM_OK);
        ASSERT_TRUE(log.waitFor(2));
        const Frame f = log.last();
        EXPECT_EQ(f.format, format);
        EXPECT_EQ(f.bytes.size(), format == FMT_GREY ? 640u * 480 : 640u * 480 * 3 / 2);
        ASSERT_GT(f.bytes.size(), redAt);
        EXPECT_NEAR(f.bytes[redAt], luma, 2) << format;
    }

    // H.264 arrives decoded. The view skips frames while paused, the decoder
    // may not: after a pause longer than a few frames each picture is still
    // one of the scene's pictures, not one built on a missing reference.
    ASSERT_EQ(camera.SetFormat(FMT_H264), CM_OK);
    int format = 0;
    camera.GetFormat(format);
    EXPECT_EQ(format, FMT_H264);
    ASSERT_TRUE(log.waitFor(3));
    camera.stopPreview();
    std::this_thread::sleep_for(80ms);
    camera.startPreview();
    ASSERT_TRUE(log.waitFor(3));
    camera.Release();
    const Frame f = log.last();
    EXPECT_EQ(f.format, FMT_I420);
    ASSERT_EQ(f.bytes.size(), 640u * 480 * 3 / 2);
    double nearest = 1e9;
    for (int phase = 0; phase < v4l2::kScenePhases; ++phase) {
        const std::vector<uint8_t> scene = v4l2::renderPlanarScene(V4L2_PIX_FMT_YUV420, 640, 480, phase);
        double difference = 0;
        for (size_t i = 0; i < 640u * 480; ++i)
            difference += std::abs(int(scene[i]) - int(f.bytes[i]));
        nearest = std::min(nearest, difference / (640.0 * 480));
    }
    EXPECT_LT(nearest, 2.0);
}

TEST(VideoCameraFormats, TheBigCamerasStreamAStampedSpecimen)
{
    const int index = installCameras({*v4l2::namedCameraSpec("5mp", 0), *v4l2::namedCameraSpec("4k", 1)});
    FrameLog log;
    CMCameraDirectShow big(index + 1);
    ASSERT_EQ(big.Init(&FrameLog::callback, &log, 0, 0), CM_OK);
    std::vector<_tag_CMSIZE> sizes;
    ASSERT_EQ(big.GetSupportedPreviewSizes(&sizes), CM_OK);
    EXPECT_TRUE(sameSize(sizes.back(), 3840, 2160));
    big.Release();
    // Small frames here; the full sizes run in the benchmark.
    CMCameraDirectShow camera(index);
    ASSERT_EQ(camera.Init(&FrameLog::callback, &log, 640, 480), CM_OK);
    EXPECT_EQ(emulated(0)->stream().framesPerSecond, 30);
    int previous = -1;
    for (int frame = 0; frame < 3; ++frame) {
        ASSERT_TRUE(log.waitFor(1));
        const Frame f = log.last();
        ASSERT_EQ(f.format, FMT_MJPG);
        // Textured like a specimen, not flat: well over a bit per pixel.
        EXPECT_GT(f.bytes.size(), 640u * 480 / 6);
        std::vector<uint8_t> rgba(640u * 480 * 4);
        tjhandle decoder = tjInitDecompress();
        ASSERT_EQ(tjDecompress2(decoder, f.bytes.data(), f.bytes.size(), rgba.data(), 640, 640 * 4, 480, TJPF_RGBA, 0),
                  0);
        tjDestroy(decoder);
        const int stamp = v4l2::readSpecimenStamp(rgba.data(), 640, 480);
        ASSERT_GE(stamp, 0);
        EXPECT_NE(stamp, previous);
        previous = stamp;
    }
    camera.Release();
}

TEST(VideoCameraStream, AFormatTheDeviceCannotStreamFallsBackToThePreviousOne)
{
    // Enough USB bandwidth for YUYV at 640 × 480, 10 frames/s, not at 1280 × 720.
    const int index = installCameras({*v4l2::namedCameraSpec("webcam", 0)});
    v4l2::EmulatedFaults faults;
    faults.bandwidthLimit = 10'000'000;
    emulated(0)->setFaults(faults);
    FrameLog log;
    CMCameraDirectShow camera(index);
    ASSERT_EQ(camera.Init(&FrameLog::callback, &log, 640, 480), CM_OK);
    ASSERT_EQ(camera.SetFormat(FMT_YUY2), CM_OK);
    ASSERT_TRUE(log.waitFor(1));
    EXPECT_EQ(camera.SetPreviewSize(1280, 720), CM_E_FAILED);
    ASSERT_TRUE(log.waitFor(2));
    EXPECT_EQ(log.last().format, FMT_YUY2);
    EXPECT_EQ(log.last().width, 640);
    _tag_CMSIZE size{0, 0};
    camera.GetPreviewSize(size);
    EXPECT_TRUE(sameSize(size, 640, 480));
    camera.Release();
}

TEST(VideoCameraStream, SizeAndFormatChangesAndNoFrameAfterRelease)
{
    const int index = installCameras({smallCamera(
        {{V4L2_PIX_FMT_MJPEG, {{64, 48}, {128, 96}}}, {V4L2_PIX_FMT_YUYV, {{64, 48}, {128, 96}, {160, 120}}}})});
    FrameLog log;
    CMCameraDirectShow camera(index);
    ASSERT_EQ(camera.Init(&FrameLog::callback, &log, 64, 48), CM_OK);
    // A camera object drives one device once.
    EXPECT_EQ(camera.Init(&FrameLog::callback, &log, 64, 48), CM_E_OPEN);
    ASSERT_TRUE(log.waitFor(1));
    EXPECT_EQ(log.last().format, FMT_MJPG);

    std::vector<_tag_CMSIZE> sizes;
    ASSERT_EQ(camera.GetSupportedPreviewSizes(&sizes), CM_OK);
    ASSERT_EQ(sizes.size(), 2u);
    EXPECT_TRUE(sameSize(sizes[1], 128, 96));

    ASSERT_EQ(camera.SetPreviewSize(128, 96), CM_OK);
    ASSERT_TRUE(log.waitFor(2));
    EXPECT_EQ(log.last().width, 128);
    // MJPG has no 160 × 120: refused, and the stream goes on at 128 × 96.
    EXPECT_EQ(camera.SetPreviewSize(160, 120), CM_E_FAILED);
    ASSERT_TRUE(log.waitFor(2));
    EXPECT_EQ(log.last().width, 128);
    EXPECT_EQ(log.last().format, FMT_MJPG);
    EXPECT_FALSE(camera.IsPaused());

    ASSERT_EQ(camera.SetFormat(FMT_YUY2), CM_OK);
    ASSERT_TRUE(log.waitFor(2));
    EXPECT_EQ(log.last().format, FMT_YUY2);
    EXPECT_EQ(log.last().bytes.size(), 128u * 96 * 2);
    // A format the device does not offer changes nothing.
    EXPECT_EQ(camera.SetFormat(FMT_BGR24), CM_OK);
    int format = 0;
    camera.GetFormat(format);
    EXPECT_EQ(format, FMT_YUY2);

    // Paused, frames stop reaching the host; resumed, they come again.
    camera.stopPreview();
    std::this_thread::sleep_for(20ms); // a frame already on its way may still land
    const int paused = log.count();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(log.count(), paused);
    camera.startPreview();
    ASSERT_TRUE(log.waitFor(1));

    camera.Release();
    log.markReleased();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(log.late(), 0);
    _tag_CMSIZE size{1, 1};
    camera.GetPreviewSize(size);
    EXPECT_TRUE(sameSize(size, 0, 0));
}

TEST(VideoCameraFaults, UnplugMidStreamStopsFramesWithoutHangingRelease)
{
    const int index = installCameras({smallCamera({{V4L2_PIX_FMT_YUYV, {{64, 48}}}})});
    FrameLog log;
    CMCameraDirectShow camera(index);
    ASSERT_EQ(camera.Init(&FrameLog::callback, &log, 64, 48), CM_OK);
    ASSERT_TRUE(log.waitFor(2));
    emulated(0)->unplug();
    std::this_thread::sleep_for(100ms);
    const int atUnplug = log.count();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(log.count(), atUnplug);
    // Property calls on a vanished device fail instead of hanging.
    int value = 0;
    EXPECT_NE(camera.GetProperty(CM_PROP_BRIGHTNESS, &value), CM_OK);
    camera.Release();
    log.markReleased();
    EXPECT_TRUE(v4l2::EmulatedVideoBus::instance().cameras().empty());
    // Opening again finds no device.
    EXPECT_EQ(camera.Init(&FrameLog::callback, &log, 64, 48), CM_E_OPEN);
    EXPECT_EQ(log.late(), 0);
}

TEST(VideoCameraFaults, ACameraUnpluggedAfterSomeFramesComesBackAsANewDevice)
{
    v4l2::EmulatedFaults faults;
    std::string error;
    ASSERT_TRUE(v4l2::parseEmulatedFaults("unplug_after=3,replug_after_ms=300", faults, error));
    EXPECT_FALSE(v4l2::parseEmulatedFaults("unplug_after=x", faults, error));
    EXPECT_FALSE(error.empty());
    const int index = installCameras({smallCamera({{V4L2_PIX_FMT_YUYV, {{64, 48}}}})});
    emulated(0)->setFaults(faults);
    FrameLog log;
    CMCameraDirectShow camera(index);
    ASSERT_EQ(camera.Init(&FrameLog::callback, &log, 64, 48), CM_OK);
    // The device goes after its third frame, which may come before this wait begins.
    ASSERT_TRUE(log.waitForTotal(3));
    auto listedWithin = [](bool listed, std::chrono::milliseconds limit) {
        for (auto waited = 0ms; waited < limit; waited += 5ms) {
            if (v4l2::EmulatedVideoBus::instance().cameras().empty() != listed)
                return true;
            std::this_thread::sleep_for(5ms);
        }
        return false;
    };
    ASSERT_TRUE(listedWithin(false, 2000ms));
    EXPECT_EQ(log.count(), 3);
    // Listed again; the camera still holding the old device gets nothing.
    ASSERT_TRUE(listedWithin(true, 2000ms));
    EXPECT_FALSE(log.waitFor(1, 50ms));
    camera.Release();
    ASSERT_EQ(camera.Init(&FrameLog::callback, &log, 64, 48), CM_OK);
    EXPECT_TRUE(log.waitFor(2));
    camera.Release();
}

TEST(VideoCameraFaults, AnUnplugEndsTheStreamWhetherTheDequeueSaysEnodevOrEio)
{
    for (const bool eio : {false, true}) {
        installCameras({smallCamera({{V4L2_PIX_FMT_YUYV, {{64, 48}}}})});
        v4l2::EmulatedFaults faults;
        faults.unplugAfterFrames = 2;
        faults.unplugEio = eio;
        emulated(0)->setFaults(faults);
        v4l2::CMCaptureManager manager;
        manager.listDevices();
        const int index = static_cast<int>(manager.nodes().size()) - 1;
        ASSERT_EQ(manager.setupDevice(index), CM_OK);
        bool lost = false;
        for (auto waited = 0ms; waited < 3000ms && !lost; waited += 5ms) {
            std::this_thread::sleep_for(5ms);
            lost = manager.device(index).lost;
        }
        EXPECT_TRUE(lost) << (eio ? "EIO" : "ENODEV");
        manager.teardown(index);
    }
}

TEST(VideoCameraFaults, ANodeTheUserMayNotOpenIsListedAndSaysWhy)
{
    const int index = installCameras({smallCamera({{V4L2_PIX_FMT_YUYV, {{64, 48}}}})});
    v4l2::EmulatedFaults faults;
    faults.accessDenied = true;
    emulated(0)->setFaults(faults);
    const std::vector<v4l2::VideoNode> nodes = v4l2::listVideoNodes();
    ASSERT_EQ(nodes.size(), static_cast<size_t>(index) + 1);
    EXPECT_TRUE(nodes.back().accessDenied);
    FrameLog log;
    CMCameraDirectShow camera(index);
    EXPECT_EQ(camera.Init(&FrameLog::callback, &log, 64, 48), CM_E_OPEN);
    EXPECT_EQ(CMGetLastOpenFailure(), CM_OPEN_FAILURE_VIDEO_GROUP);
    EXPECT_STREQ(CMOpenFailureTextId(CM_OPEN_FAILURE_VIDEO_GROUP), "STR_VIDEO_GROUP_ACCESS");
    emulated(0)->setFaults({});
    ASSERT_EQ(camera.Init(&FrameLog::callback, &log, 64, 48), CM_OK);
    EXPECT_EQ(CMGetLastOpenFailure(), CM_OPEN_FAILURE_NONE);
    camera.Release();
}

TEST(VideoCameraFaults, ABusyDeviceFailsToOpenAtEachStep)
{
    const int index = installCameras({smallCamera({{V4L2_PIX_FMT_YUYV, {{64, 48}}}})});
    FrameLog log;
    for (int step = 0; step < 3; ++step) {
        v4l2::EmulatedFaults faults;
        faults.busyAtFormat = step == 0;
        faults.busyAtBuffers = step == 1;
        faults.busyAtStream = step == 2;
        emulated(0)->setFaults(faults);
        CMCameraDirectShow camera(index);
        EXPECT_EQ(camera.Init(&FrameLog::callback, &log, 64, 48), CM_E_OPEN) << "step " << step;
    }
    emulated(0)->setFaults({});
    // Busy in another program: here a second camera object on the same device.
    CMCameraDirectShow first(index), second(index);
    ASSERT_EQ(first.Init(&FrameLog::callback, &log, 64, 48), CM_OK);
    EXPECT_EQ(second.Init(&FrameLog::callback, &log, 64, 48), CM_E_OPEN);
    first.Release();
    ASSERT_EQ(second.Init(&FrameLog::callback, &log, 64, 48), CM_OK);
    EXPECT_TRUE(log.waitFor(1));
    second.Release();
    EXPECT_EQ(log.count() > 0, true);
}

TEST(VideoCameraFaults, DamagedBuffersAreDroppedPicturesWithoutEndMarkerKeptAndStallsEndCleanly)
{
    // Big enough that half a picture still holds its headers.
    const int index = installCameras({smallCamera({{V4L2_PIX_FMT_MJPEG, {{320, 240}}}})});
    v4l2::EmulatedFaults faults;
    faults.errorEvery = 2;
    faults.shortMjpegEvery = 3;
    emulated(0)->setFaults(faults);
    FrameLog log;
    CMCameraDirectShow camera(index);
    ASSERT_EQ(camera.Init(&FrameLog::callback, &log, 320, 240), CM_OK);
    ASSERT_TRUE(log.waitFor(6));
    camera.Release();
    // Of every six buffers the 2nd, 4th and 6th are flagged; the 3rd lacks
    // its end marker (cut short), and the decoder takes it like the others.
    const uint64_t produced = emulated(0)->framesDelivered();
    EXPECT_LE(static_cast<uint64_t>(log.count()), produced / 2 + 1);
    EXPECT_GE(static_cast<uint64_t>(log.count()), produced / 2 - 1);

    // A device that stops delivering leaves the camera waiting, and Release
    // still returns.
    faults = {};
    faults.stall = true;
    emulated(0)->setFaults(faults);
    FrameLog quiet;
    CMCameraDirectShow stalled(index);
    ASSERT_EQ(stalled.Init(&FrameLog::callback, &quiet, 64, 48), CM_OK);
    EXPECT_FALSE(quiet.waitFor(1, 150ms));
    stalled.Release();
    EXPECT_EQ(quiet.count(), 0);
}

TEST(VideoCameraStills, WithoutAStillMethodTheStillFailsAtOnceAndLiveFramesGoOn)
{
    const int index = installCameras({smallCamera({{V4L2_PIX_FMT_YUYV, {{64, 48}}}})});
    FrameLog log;
    TestCamera camera(index);
    ASSERT_EQ(camera.Init(&FrameLog::callback, &log, 64, 48), CM_OK);
    EXPECT_FALSE(camera.isSupportStillCapture());
    CWImage image;
    EXPECT_EQ(camera.GetStillImage(&image), CM_E_FAILED);
    EXPECT_FALSE(camera.IsPaused());
    EXPECT_EQ(camera.GetSupportedStillCaptureSizes(nullptr), CM_E_INVALIDARG);
    std::vector<_tag_CMSIZE> sizes;
    EXPECT_EQ(camera.GetSupportedStillCaptureSizes(&sizes), CM_E_NOTSUPPORTED);
    // Snap takes a live frame instead.
    ASSERT_EQ(camera.Snap(&image), CM_OK);
    EXPECT_EQ(image.format, FMT_YUY2);
    EXPECT_EQ(image.dataSize, 64u * 48 * 2);
    delete[] image.data;
    image.data = nullptr;
    camera.Release();
}

TEST(VideoCameraProperties, PropertiesMapOntoTheDeviceControls)
{
    const int index =
        installCameras({v4l2::genericCameraSpec(0, 0), v4l2::genericCameraSpec(1, 1), v4l2::genericCameraSpec(2, 2)});
    FrameLog log;
    CMCameraDirectShow camera(index);
    ASSERT_EQ(camera.Init(&FrameLog::callback, &log, 640, 480), CM_OK);
    v4l2::EmulatedCamera& device = *emulated(0);

    // A default outside its range becomes the middle of the range.
    int min = -1, max = -1, def = -1, step = 77;
    ASSERT_EQ(camera.GetPropertyRange(CM_PROP_BRIGHTNESS, &min, &max, &def, &step), CM_OK);
    EXPECT_EQ(min, 0);
    EXPECT_EQ(max, 255);
    EXPECT_EQ(def, 127);
    EXPECT_EQ(step, 77);

    // Mains frequency: 3 goes to the device as 1; the list is mapped.
    size_t mark = device.controlWrites().size();
    ASSERT_EQ(camera.SetProperty(CM_PROP_POWERLINE, 3), CM_OK);
    EXPECT_EQ(writesSince(device, mark), (std::vector<std::pair<uint32_t, int>>{{V4L2_CID_POWER_LINE_FREQUENCY, 1}}));
    std::vector<int> values;
    ASSERT_EQ(camera.GetPropertyRangeEnumInt(CM_PROP_POWERLINE, values), CM_OK);
    EXPECT_EQ(values, (std::vector<int>{0, 1, 2}));

    // A manual exposure value takes the device out of its automatic mode
    // first; automatic exposure is the aperture-priority mode it offers.
    bool automatic = false;
    ASSERT_EQ(camera.getExposure(automatic), CM_OK);
    EXPECT_TRUE(automatic);
    mark = device.controlWrites().size();
    ASSERT_EQ(camera.SetProperty(CM_PROP_EXPOSURE, 500), CM_OK);
    EXPECT_EQ(writesSince(device, mark),
              (std::vector<std::pair<uint32_t, int>>{{V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_MANUAL},
                                                     {V4L2_CID_EXPOSURE_ABSOLUTE, 500}}));
    ASSERT_EQ(camera.getExposure(automatic), CM_OK);
    EXPECT_FALSE(automatic);
    ASSERT_EQ(camera.setExposure(true), CM_OK);
    ASSERT_EQ(camera.getExposure(automatic), CM_OK);
    EXPECT_TRUE(automatic);
    int value = 0;
    // The same for white balance.
    EXPECT_EQ(camera.getWhiteBalanceMode(), 1);
    ASSERT_EQ(camera.SetProperty(CM_PROP_WB_TEMPERATURE, 5000), CM_OK);
    ASSERT_EQ(camera.GetProperty(CM_PROP_WB_TEMPERATURE, &value), CM_OK);
    EXPECT_EQ(value, 5000);
    ASSERT_EQ(camera.getWhiteBalance(automatic), CM_OK);
    EXPECT_FALSE(automatic);
    ASSERT_EQ(camera.setWhiteBalance(true), CM_OK);
    ASSERT_EQ(camera.getWhiteBalance(automatic), CM_OK);
    EXPECT_TRUE(automatic);
    // Iris is not there; software properties still are.
    EXPECT_FALSE(camera.IsPropertySupport(CM_PROP_IRIS));
    EXPECT_TRUE(camera.IsPropertySupport(CM_PROP_OFFSET_0));
    EXPECT_EQ(camera.SetProperty(CM_PROP_DENOISE, 1), CM_E_NOTSUPPORTED);
    camera.Release();
    // Without a device nothing is supported in hardware.
    EXPECT_FALSE(camera.IsPropertySupport(CM_PROP_BRIGHTNESS));

    // A camera with a fully automatic mode and "Auto" mains frequency.
    CMCameraDirectShow vga(index + 1);
    ASSERT_EQ(vga.Init(&FrameLog::callback, &log, 640, 480), CM_OK);
    // Its menu runs 0 … 3 (off, 50 Hz, 60 Hz, automatic): each value once,
    // the automatic mode as the library's 0.
    ASSERT_EQ(vga.GetProperty(CM_PROP_POWERLINE, &value), CM_OK);
    EXPECT_EQ(value, 0);
    values.clear();
    ASSERT_EQ(vga.GetPropertyRangeEnumInt(CM_PROP_POWERLINE, values), CM_OK);
    EXPECT_EQ(values, (std::vector<int>{0, 1, 2}));
    mark = emulated(1)->controlWrites().size();
    ASSERT_EQ(vga.SetProperty(CM_PROP_POWERLINE, 0), CM_OK);
    EXPECT_EQ(writesSince(*emulated(1), mark),
              (std::vector<std::pair<uint32_t, int>>{{V4L2_CID_POWER_LINE_FREQUENCY, 3}}));
    ASSERT_EQ(vga.setExposure(false), CM_OK);
    mark = emulated(1)->controlWrites().size();
    ASSERT_EQ(vga.setExposure(true), CM_OK);
    EXPECT_EQ(writesSince(*emulated(1), mark),
              (std::vector<std::pair<uint32_t, int>>{{V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_AUTO}}));
    EXPECT_EQ(vga.getWhiteBalanceMode(), 0);
    EXPECT_EQ(vga.setWhiteBalance(true), CM_E_NOTSUPPORTED);
    vga.Release();

    // Iris where the device has it.
    CMCameraDirectShow h264(index + 2);
    ASSERT_EQ(h264.Init(&FrameLog::callback, &log, 640, 480), CM_OK);
    EXPECT_TRUE(h264.IsPropertySupport(CM_PROP_IRIS));
    ASSERT_EQ(h264.SetProperty(CM_PROP_IRIS, 7), CM_OK);
    ASSERT_EQ(h264.GetProperty(CM_PROP_IRIS, &value), CM_OK);
    EXPECT_EQ(value, 7);
    EXPECT_EQ(h264.setExposure(true), CM_E_NOTSUPPORTED);
    h264.Release();
}

} // namespace
