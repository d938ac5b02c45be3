// Both emulated cameras with and without the optics settings: unchanged
// pictures without them, the ground-truth field with them, the video
// cameras' focus control moving the focus.
#include "../usbsdk/SdkTestSupport.h"
#include "camera/v4l2/EmulatedScene.h"
#include "camera/v4l2/EmulatedVideoDevice.h"
#include "optics/Microscope.h"
#include "optics/Slide.h"
#include "tests/optics/Sharpness.h"
#include "usbsdk/emulator/EmulatorEnvironment.h"
#include "usbsdk/emulator/SyntheticScene.h"

#include <gtest/gtest.h>
#include <linux/videodev2.h>
#include <opencv2/imgproc.hpp>

#include <cstdlib>

namespace {

uint64_t fingerprint(const std::vector<uint8_t>& bytes)
{
    uint64_t h = 1469598103934665603ull;
    for (uint8_t b : bytes)
        h = (h ^ b) * 1099511628211ull;
    return h;
}

TEST(EmulatorOpticsTest, WithoutTheSettingsBothEmulatorsShowTheirPicturesOfBefore)
{
    for (const char* suffix : {"FOCUS", "STAGE", "SHAKE", "NOISE", "SHADING"}) {
        ::unsetenv((std::string("SENSORLINK_EMULATE_") + suffix).c_str());
        ::unsetenv((std::string("LENSBRIDGE_EMULATE_VIDEO_") + suffix).c_str());
    }
    usbsdk::emulator::EmulatorConfig config;
    std::string error;
    ASSERT_TRUE(usbsdk::emulator::configFromEnvironment(config, error)) << error;
    EXPECT_FALSE(config.optics.on);
    EXPECT_FALSE(v4l2::videoOpticsFromEnvironment().on);

    // Fingerprints of the pictures as they were before the optics existed.
    usbsdk::emulator::SceneSettings s;
    s.roiX = (1940 - 1280) / 2;
    s.roiY = (1460 - 960) / 2;
    s.width = 1280;
    s.height = 960;
    std::vector<uint8_t> usb;
    usbsdk::emulator::renderScene(s, usb);
    EXPECT_EQ(fingerprint(usb), 0x708884faa14a33ull);
    usbsdk::emulator::renderScene(s, usb, 0);
    EXPECT_EQ(fingerprint(usb), 0x4008d4df79bf9925ull);
    s.gain = 60;
    s.contrast = 90;
    s.wbRed = 70;
    s.saturation = 80;
    usbsdk::emulator::renderScene(s, usb);
    EXPECT_EQ(fingerprint(usb), 0x2126332096e34e4eull);
    EXPECT_EQ(fingerprint(v4l2::renderScene(V4L2_PIX_FMT_YUYV, 640, 480, 3)), 0x1b8069730d8c8ebfull);
    EXPECT_EQ(fingerprint(v4l2::renderScene(V4L2_PIX_FMT_BGR24, 1920, 1080, -1)), 0xa33fee6c31012183ull);
    EXPECT_EQ(fingerprint(v4l2::renderScene(V4L2_PIX_FMT_MJPEG, 1280, 720, 5)), 0x74a0f5792964365ull);
}

class UsbCameraOpticsTest : public usbsdk::testing::SdkOverEmulator {};

TEST_F(UsbCameraOpticsTest, EachFrameShowsTheFieldItsBlockIdStandsFor)
{
    auto config = usbsdk::testing::smallCamera(320, 240);
    config.stamp = false;
    config.optics.on = true;
    config.optics.stage = {3, 3, 40};
    usbsdk::testing::FrameCollector collector;
    auto camera = loginCamera(config);
    ASSERT_EQ(sdk->setCaptureCallback(0, &usbsdk::testing::FrameCollector::callback, &collector, 0), VEXEL_OK);
    ASSERT_EQ(sdk->startCapture(0), VEXEL_OK);
    camera->emitFrames(3);
    ASSERT_TRUE(collector.waitFor(3));
    const optics::Microscope truth(config.optics, config.fps);
    const cv::Size size(320, 240);
    for (const auto& f : collector.frames()) {
        ASSERT_EQ(f.size(), usbsdk::stream::frameSize(320, 240));
        uint64_t block = 0;
        std::memcpy(&block, f.data() + usbsdk::stream::kBlockIdOffset, sizeof block);
        cv::Mat expected, seen;
        truth.renderField(truth.fieldAt(block, size, optics::focusOfLevel(optics::kRestLevel)), size, expected);
        // The camera's own layout exchanges red and blue, so decoding to BGR gives RGB.
        const cv::Mat yuyv(240, 320, CV_8UC2, const_cast<uint8_t*>(f.data()) + usbsdk::stream::kLeaderSize);
        cv::cvtColor(yuyv, seen, cv::COLOR_YUV2BGR_YUY2);
        cv::Mat difference;
        cv::absdiff(seen, expected, difference);
        EXPECT_LT(cv::mean(difference)[1], 3.0) << "block " << block;
    }
}

// A generic emulated video camera through the V4L2 calls the capture code makes.
class VideoCameraOptics {
public:
    VideoCameraOptics()
    {
        auto& bus = v4l2::EmulatedVideoBus::instance();
        bus.reset({v4l2::genericCameraSpec(0, 0)});
        optics::OpticsSettings settings;
        settings.on = true; // the stage stands still
        bus.camera(0)->setOptics(settings);
        int error = 0;
        m_io = bus.open(bus.cameras().at(0).first, error);
    }
    ~VideoCameraOptics() { v4l2::EmulatedVideoBus::instance().reset({}); }

    bool setControl(uint32_t id, int value)
    {
        v4l2_control control{id, value};
        return m_io && m_io->ioctl(VIDIOC_S_CTRL, &control) == 0;
    }
    // One 640 × 480 frame, RGB.
    cv::Mat frame()
    {
        v4l2_format format{};
        format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        format.fmt.pix.pixelformat = V4L2_PIX_FMT_YUYV;
        format.fmt.pix.width = 640;
        format.fmt.pix.height = 480;
        v4l2_requestbuffers request{};
        request.count = 1;
        request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        request.memory = V4L2_MEMORY_MMAP;
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (!m_io || m_io->ioctl(VIDIOC_S_FMT, &format) || m_io->ioctl(VIDIOC_REQBUFS, &request) ||
            m_io->ioctl(VIDIOC_QUERYBUF, &buffer))
            return {};
        void* memory = m_io->map(buffer.length, buffer.m.offset);
        cv::Mat rgb;
        if (memory && m_io->ioctl(VIDIOC_QBUF, &buffer) == 0 && m_io->ioctl(VIDIOC_STREAMON, &type) == 0 &&
            m_io->poll(2000) == 1 && m_io->ioctl(VIDIOC_DQBUF, &buffer) == 0)
            cv::cvtColor(cv::Mat(480, 640, CV_8UC2, memory), rgb, cv::COLOR_YUV2RGB_YUY2);
        m_io->ioctl(VIDIOC_STREAMOFF, &type);
        if (memory)
            m_io->unmap(memory, buffer.length);
        request.count = 0;
        m_io->ioctl(VIDIOC_REQBUFS, &request);
        return rgb;
    }

private:
    std::unique_ptr<v4l2::VideoDeviceIo> m_io;
};

TEST(VideoCameraOpticsTest, TheFocusControlMovesTheFocus)
{
    VideoCameraOptics camera;
    // The micrometer at the slide's centre lies at the middle height: sharp
    // with the focus there (control 125 of 0 … 250), blurred at either end.
    ASSERT_TRUE(camera.setControl(V4L2_CID_FOCUS_AUTO, 0));
    auto sharpnessAt = [&](int focus) {
        EXPECT_TRUE(camera.setControl(V4L2_CID_FOCUS_ABSOLUTE, focus));
        const cv::Mat rgb = camera.frame();
        return rgb.empty() ? -1.0 : opticstest::sharpness(rgb);
    };
    const double low = sharpnessAt(0), middle = sharpnessAt(125), high = sharpnessAt(250);
    EXPECT_GT(middle, 2 * low);
    EXPECT_GT(middle, 2 * high);
}

} // namespace
