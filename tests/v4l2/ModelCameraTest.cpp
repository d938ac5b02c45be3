// The model cameras against emulated models (register tunnel, hidden sizes,
// stills, one-shot white balance), the factory's video-device group and
// model choice, and the property-page hook.
#include "VideoTestSupport.h"
#include "camera/PropertyPageHook.h"
#include "camera/factory/CMFactory.h"
#include "camera/factory/DeviceGroups.h"
#include "camera/models/CMCameraLarkA.h"
#include "camera/models/CMCameraLarkC.h"
#include "camera/models/CMCameraLarkD.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

using namespace videotest;

namespace {

class TestLarkA : public CMCameraLarkA {
public:
    using CMCameraLarkA::CMCameraLarkA;
    using CMCameraLarkA::GetStillImage;
};

v4l2::EmulatedCameraSpec fast(v4l2::EmulatedCameraSpec spec)
{
    spec.framesPerSecond = 100;
    return spec;
}

TEST(LarkACamera, PropertiesTravelThroughTheRegisterTunnel)
{
    const int index = installCameras({fast(*v4l2::modelCameraSpec(0xEBA1, 0x7585))});
    FrameLog log;
    CMCameraLarkA camera(index);
    ASSERT_EQ(camera.Init(&FrameLog::callback, &log, 1600, 1200), CM_OK);
    v4l2::EmulatedCamera& device = *emulated(0);

    int value = -1;
    ASSERT_EQ(camera.GetProperty(CM_PROP_CONTRAST, &value), CM_OK);
    EXPECT_EQ(value, 8);
    ASSERT_EQ(camera.SetProperty(CM_PROP_CONTRAST, 12), CM_OK);
    EXPECT_EQ(device.registerValue(67), 12);
    ASSERT_EQ(camera.GetProperty(CM_PROP_CONTRAST, &value), CM_OK);
    EXPECT_EQ(value, 12);
    // Values are 16 bits wide and read back signed.
    ASSERT_EQ(camera.SetProperty(CM_PROP_EXPOSURE, 0x1FFFF), CM_OK);
    EXPECT_EQ(device.registerValue(12), 0xFFFF);
    ASSERT_EQ(camera.GetProperty(CM_PROP_EXPOSURE, &value), CM_OK);
    EXPECT_EQ(value, -1);

    // Mains frequency 3 is register value 2, and back.
    ASSERT_EQ(camera.SetProperty(CM_PROP_POWERLINE, 3), CM_OK);
    EXPECT_EQ(device.registerValue(6), 2);
    ASSERT_EQ(camera.GetProperty(CM_PROP_POWERLINE, &value), CM_OK);
    EXPECT_EQ(value, 3);
    ASSERT_EQ(camera.SetProperty(CM_PROP_COLOR_MODE, 7), CM_OK);
    EXPECT_EQ(device.registerValue(1), 0);

    // Red gain works but is not listed; colour temperature only below 64.
    EXPECT_FALSE(camera.IsPropertySupport(CM_PROP_RED_GAIN));
    ASSERT_EQ(camera.SetProperty(CM_PROP_RED_GAIN, 30), CM_OK);
    EXPECT_EQ(device.registerValue(69), 30);
    EXPECT_TRUE(camera.IsPropertySupport(CM_PROP_WB_TEMPERATURE));
    ASSERT_EQ(camera.SetProperty(CM_PROP_WB_TEMPERATURE, 64), CM_OK);
    EXPECT_FALSE(camera.IsPropertySupport(CM_PROP_WB_TEMPERATURE));
    EXPECT_FALSE(camera.IsPropertySupport(CM_PROP_BRIGHTNESS));

    // Exposure and one-shot white balance are registers 7 and 8.
    ASSERT_EQ(camera.setExposure(false), CM_OK);
    EXPECT_EQ(device.registerValue(7), 0);
    bool automatic = true;
    ASSERT_EQ(camera.getExposure(automatic), CM_OK);
    EXPECT_FALSE(automatic);
    EXPECT_EQ(camera.getWhiteBalanceMode(), 2);
    ASSERT_EQ(camera.setWhiteBalance(false), CM_OK);
    EXPECT_EQ(device.registerValue(8), 2);
    EXPECT_EQ(camera.getWhiteBalance(automatic), CM_E_NOTSUPPORTED);

    // Hidden sizes are not offered.
    std::vector<_tag_CMSIZE> sizes;
    ASSERT_EQ(camera.GetSupportedPreviewSizes(&sizes), CM_OK);
    ASSERT_EQ(sizes.size(), 2u);
    EXPECT_EQ(sizes[0].width, 1600);
    EXPECT_EQ(sizes[1].width, 1920);
    camera.Release();
    // Not set up: the tunnel is skipped, reads give 0.
    ASSERT_EQ(camera.GetProperty(CM_PROP_CONTRAST, &value), CM_OK);
    EXPECT_EQ(value, 0);
}

TEST(LarkACamera, OnTheStockDriverTheStandardControlsReplaceTheRegisters)
{
    // What the kernel's stock UVC driver shows: focus, but no roll control.
    v4l2::EmulatedCameraSpec spec = fast(v4l2::genericCameraSpec(0, 0));
    spec.vid = 0xEBA1;
    spec.pid = 0x7585;
    spec.formats = {{V4L2_PIX_FMT_MJPEG, {{640, 480}, {1280, 720}}}};
    const int index = installCameras({spec});
    FrameLog log;
    CMCameraLarkA camera(index);
    ASSERT_EQ(camera.Init(&FrameLog::callback, &log, 640, 480), CM_OK);
    // Register-only settings are not there, and writing them fails.
    const size_t mark = emulated(0)->controlWrites().size();
    for (tagCMProperty p : {CM_PROP_EXPOSURE_TARGET, CM_PROP_DENOISE, CM_PROP_RED_GAIN}) {
        EXPECT_FALSE(camera.IsPropertySupport(p));
        EXPECT_NE(camera.SetProperty(p, 3), CM_OK);
    }
    EXPECT_TRUE(writesSince(*emulated(0), mark).empty());
    // The device's standard controls are offered instead, brightness too,
    // with their own ranges.
    EXPECT_TRUE(camera.IsPropertySupport(CM_PROP_BRIGHTNESS));
    int min = 0, max = 0, def = 0;
    ASSERT_EQ(camera.GetPropertyRange(CM_PROP_EXPOSURE, &min, &max, &def, nullptr), CM_OK);
    EXPECT_EQ(min, 3);
    EXPECT_EQ(max, 2047);
    ASSERT_EQ(camera.SetProperty(CM_PROP_CONTRAST, 20), CM_OK);
    int value = -1;
    ASSERT_EQ(camera.GetProperty(CM_PROP_CONTRAST, &value), CM_OK);
    EXPECT_EQ(value, 20);
    EXPECT_EQ(camera.getWhiteBalanceMode(), 1);
    char text[16];
    ASSERT_EQ(camera.GetPropertyAlias(CM_PROP_EXPOSURE, 250, text, sizeof text), CM_OK);
    EXPECT_STREQ(text, "25.0 ms");
    // Every size of this device is hidden.
    std::vector<_tag_CMSIZE> sizes;
    EXPECT_EQ(camera.GetSupportedPreviewSizes(&sizes), CM_E_NOTSUPPORTED);
    EXPECT_FALSE(camera.isSupportStillCapture());
    camera.Release();
}

TEST(LarkACamera, StillsComeFromTheStillMethodAndLiveFramesResume)
{
    const int index =
        installCameras({fast(*v4l2::modelCameraSpec(0xEBA1, 0x7585)), fast(*v4l2::modelCameraSpec(0xEBA1, 0x7584))});
    FrameLog log;
    TestLarkA larkA(index);
    ASSERT_EQ(larkA.Init(&FrameLog::callback, &log, 1600, 1200), CM_OK);
    ASSERT_TRUE(larkA.isSupportStillCapture());
    CWImage still;
    ASSERT_EQ(larkA.Snap(&still), CM_OK);
    EXPECT_EQ(still.format, FMT_YUY2);
    EXPECT_EQ(still.width, 1600);
    EXPECT_EQ(still.height, 1200);
    EXPECT_EQ(still.bottomUp, 0);
    EXPECT_EQ(still.dataSize, 1600u * 1200 * 2);
    delete[] still.data;
    still.data = nullptr;
    EXPECT_FALSE(larkA.IsPaused());

    // A hidden still size is refused; a listed one reopens the device.
    EXPECT_EQ(larkA.SetStillCaptureSize(2736, 1824), CM_E_NOTSUPPORTED);
    ASSERT_EQ(larkA.SetStillCaptureSize(1920, 1080), CM_OK);
    int w = 0, h = 0;
    larkA.GetStillCaptureSize(w, h);
    EXPECT_EQ(w, 1920);
    ASSERT_TRUE(log.waitFor(1));

    // The trigger refused: -99; no picture in time: -8. Live frames resume.
    v4l2::EmulatedFaults faults;
    faults.stillRefused = true;
    emulated(0)->setFaults(faults);
    EXPECT_EQ(larkA.GetStillImage(&still), CM_E_FAILED);
    EXPECT_FALSE(larkA.IsPaused());
    faults = {};
    faults.stillLost = true;
    emulated(0)->setFaults(faults);
    EXPECT_EQ(larkA.GetStillImage(&still), CM_E_TIMEOUT);
    EXPECT_FALSE(larkA.IsPaused());
    EXPECT_TRUE(log.waitFor(1));
    EXPECT_EQ(still.data, nullptr);
    larkA.Release();

    // The LarkB asks for MJPG stills.
    CMCameraLarkB larkB(index + 1);
    ASSERT_EQ(larkB.Init(&FrameLog::callback, &log, 1600, 1200), CM_OK);
    ASSERT_EQ(larkB.Snap(&still), CM_OK);
    EXPECT_EQ(still.format, FMT_MJPG);
    ASSERT_GE(still.dataSize, 2u);
    EXPECT_EQ(still.data[0], 0xFF);
    EXPECT_EQ(still.data[1], 0xD8);
    delete[] still.data;
    still.data = nullptr;
    larkB.Release();
}

TEST(PulseModels, OneShotWhiteBalanceAndExposureOnFocus)
{
    const int index =
        installCameras({fast(*v4l2::modelCameraSpec(0x04F2, 0xA14B)), fast(*v4l2::modelCameraSpec(0x2B16, 0x6689))});
    FrameLog log;
    const std::vector<std::pair<uint32_t, int>> pulse{
        {V4L2_CID_AUTO_WHITE_BALANCE, 1}, {V4L2_CID_BACKLIGHT_COMPENSATION, 1}, {V4L2_CID_BACKLIGHT_COMPENSATION, 0}};

    CMCameraLarkC larkC(index);
    ASSERT_EQ(larkC.Init(&FrameLog::callback, &log, 640, 480), CM_OK);
    EXPECT_EQ(larkC.getWhiteBalanceMode(), 2);
    size_t mark = emulated(0)->controlWrites().size();
    ASSERT_EQ(larkC.setWhiteBalance(false), CM_OK);
    EXPECT_EQ(writesSince(*emulated(0), mark), pulse);
    int min = -1, max = -1, def = -1, value = -1;
    ASSERT_EQ(larkC.GetPropertyRange(CM_PROP_EXPOSURE, &min, &max, &def, nullptr), CM_OK);
    EXPECT_EQ(max, 240);
    EXPECT_EQ(def, 2);
    ASSERT_EQ(larkC.SetProperty(CM_PROP_EXPOSURE, 100), CM_OK);
    ASSERT_EQ(larkC.GetProperty(CM_PROP_EXPOSURE, &value), CM_OK);
    EXPECT_EQ(value, 100);
    larkC.Release();

    CMCameraLarkD larkD(index + 1);
    ASSERT_EQ(larkD.Init(&FrameLog::callback, &log, 640, 480), CM_OK);
    mark = emulated(1)->controlWrites().size();
    ASSERT_EQ(larkD.setWhiteBalance(false), CM_OK);
    EXPECT_EQ(writesSince(*emulated(1), mark), pulse);
    larkD.Release();
}

TEST(ModelTables, FramingOffsetsAndAliases)
{
    CMCameraLarkA camera(0);
    int dx = 5, dy = 5;
    float scale = 9.0f;
    ASSERT_TRUE(camera.getResoOffset(1920, 1080, 4608, 3456, dx, dy, scale));
    EXPECT_EQ(dx, -29);
    EXPECT_EQ(dy, -418);
    EXPECT_FLOAT_EQ(scale, 2.4f);
    dx = dy = 5;
    EXPECT_FALSE(camera.getResoOffset(800, 600, 800, 600, dx, dy, scale));
    EXPECT_EQ(dx, 5);
    char text[16];
    ASSERT_EQ(camera.GetPropertyAlias(CM_PROP_WB_TEMPERATURE, 63, text, sizeof text), CM_OK);
    EXPECT_STREQ(text, "9864K");
    EXPECT_EQ(camera.GetPropertyAlias(CM_PROP_WB_TEMPERATURE, 64, text, sizeof text), CM_E_NOTSUPPORTED);
    ASSERT_EQ(camera.GetPropertyAlias(CM_PROP_GAIN, 63, text, sizeof text), CM_OK);
    EXPECT_STREQ(text, "36.12 dB");
    ASSERT_EQ(camera.GetPropertyUnit(CM_PROP_EXPOSURE, text, 2), CM_OK);
    EXPECT_STREQ(text, "m"); // bounded copy
    EXPECT_EQ(camera.GetPropertyUnit(CM_PROP_GAIN, nullptr, 4), CM_E_NOTSUPPORTED);
}

TEST(VideoDeviceGroup, RecordsAndModelChoice)
{
    _tag_VideoDeviceInfo d;
    fillVideoDeviceRecord("Scope", "USB#VID_04F2&PID_A14B#/dev/video0", d);
    EXPECT_EQ(d.vid, 0x04F2);
    EXPECT_EQ(d.pid, 0xA14B);
    std::unique_ptr<CMCameraBase> camera(createVideoCaptureCamera(0, d));
    EXPECT_NE(dynamic_cast<CMCameraLarkC*>(camera.get()), nullptr);

    fillVideoDeviceRecord("Scope", "usb#vid_04f2#/dev/video0", d);
    EXPECT_EQ(d.vid, 0);
    EXPECT_EQ(d.pid, 0);
    camera.reset(createVideoCaptureCamera(0, d));
    EXPECT_EQ(typeid(*camera), typeid(CMCameraDirectShow));

    d.vid = 0xEBA1;
    d.pid = 0x7586;
    camera.reset(createVideoCaptureCamera(0, d));
    EXPECT_NE(dynamic_cast<CMCameraLarkB*>(camera.get()), nullptr);

    fillVideoDeviceRecord(std::string(63, 'n'), "/dev/video0", d);
    EXPECT_EQ(std::strlen(d.name), 63u);
    fillVideoDeviceRecord(std::string(64, 'n'), "/dev/video0", d);
    EXPECT_EQ(d.name[0], '\0');

    // The factory lists the emulated cameras in the first group, with their ids.
    const int first = installCameras({v4l2::genericCameraSpec(0, 0), *v4l2::modelCameraSpec(0x2B16, 0x6689)});
    std::vector<_tag_VideoDeviceList> groups;
    CMFactory::GetVideoDeviceList(&groups);
    ASSERT_FALSE(groups.empty());
    EXPECT_EQ(groups[0].type, 0);
    EXPECT_STREQ(groups[0].name, "DirectShow");
    ASSERT_EQ(groups[0].devices.size(), static_cast<size_t>(first + 2));
    EXPECT_EQ(groups[0].devices[first + 1].vid, 0x2B16);
    EXPECT_STREQ(groups[0].devices[first].name, "Emulated USB Camera 0");
    int vid = 0, pid = 0;
    camera.reset(CMFactory::GetCamera(0, first + 1, nullptr, 0, &vid, &pid, false));
    EXPECT_NE(dynamic_cast<CMCameraLarkD*>(camera.get()), nullptr);
    EXPECT_EQ(camera->GetDeviceInfo().pid, 0x6689);
}

struct HookCall {
    std::string title;
    std::vector<CMControlDescription> controls;
    int setResult = 1, readBack = 0;
};
HookCall g_hookCall;

void recordingHook(void*, const char* title, CMControlPanel* panel)
{
    g_hookCall.title = title;
    g_hookCall.controls = panel->controls();
    g_hookCall.setResult = panel->setControl(V4L2_CID_GAIN, 42);
    panel->getControl(V4L2_CID_GAIN, &g_hookCall.readBack);
}

TEST(PropertyPage, TheHostHookShowsTheDriversControls)
{
    const int index = installCameras({fast(v4l2::genericCameraSpec(0, 0))});
    FrameLog log;
    CMCameraDirectShow camera(index);
    ASSERT_EQ(camera.Init(&FrameLog::callback, &log, 640, 480), CM_OK);
    EXPECT_TRUE(camera.HasPropertyPages());
    camera.ShowPropertyPages(nullptr, nullptr); // no hook: nothing happens
    CMSetPropertyPageHook(&recordingHook);
    camera.ShowPropertyPages(nullptr, nullptr);
    CMSetPropertyPageHook(nullptr);
    EXPECT_EQ(g_hookCall.title, "Emulated USB Camera 0");
    EXPECT_EQ(g_hookCall.setResult, CM_OK);
    EXPECT_EQ(g_hookCall.readBack, 42);
    auto find = [](unsigned id) {
        for (const CMControlDescription& c : g_hookCall.controls)
            if (c.id == id)
                return c;
        return CMControlDescription{};
    };
    const CMControlDescription exposure = find(V4L2_CID_EXPOSURE_AUTO);
    EXPECT_EQ(exposure.kind, CMControlDescription::Menu);
    ASSERT_EQ(exposure.menu.size(), 2u); // the gaps of the menu are left out
    EXPECT_EQ(exposure.menu[1].first, 3);
    EXPECT_EQ(exposure.menu[1].second, "Aperture Priority Mode");
    EXPECT_EQ(find(V4L2_CID_AUTO_WHITE_BALANCE).kind, CMControlDescription::Boolean);
    const CMControlDescription brightness = find(V4L2_CID_BRIGHTNESS);
    EXPECT_EQ(brightness.kind, CMControlDescription::Integer);
    EXPECT_EQ(brightness.defaultValue, 255); // kept inside the range
    EXPECT_TRUE(find(V4L2_CID_EXPOSURE_ABSOLUTE).inactive);
    camera.Release();
}

// The page stays open while the device-change message or the watchdog
// releases and deletes the camera; the page's next change must not reach it.
CMCameraDirectShow* g_doomed = nullptr;
struct AfterLoss {
    int setResult = 0, getResult = 0;
    size_t controls = 1;
} g_afterLoss;

void losingHook(void*, const char*, CMControlPanel* panel)
{
    ASSERT_EQ(panel->setControl(V4L2_CID_BRIGHTNESS, 40), CM_OK);
    delete g_doomed;
    g_doomed = nullptr;
    int value = 0;
    g_afterLoss = {panel->setControl(V4L2_CID_BRIGHTNESS, 41), panel->getControl(V4L2_CID_BRIGHTNESS, &value),
                   panel->controls().size()};
}

TEST(PropertyPage, AChangeAfterTheCameraWasLostFailsQuietly)
{
    const int index = installCameras({fast(v4l2::genericCameraSpec(0, 0))});
    FrameLog log;
    g_doomed = new CMCameraDirectShow(index);
    ASSERT_EQ(g_doomed->Init(&FrameLog::callback, &log, 640, 480), CM_OK);
    CMSetPropertyPageHook(&losingHook);
    g_doomed->ShowPropertyPages(nullptr, nullptr);
    CMSetPropertyPageHook(nullptr);
    EXPECT_EQ(g_doomed, nullptr);
    EXPECT_EQ(g_afterLoss.setResult, CM_E_FAILED);
    EXPECT_EQ(g_afterLoss.getResult, CM_E_FAILED);
    EXPECT_EQ(g_afterLoss.controls, 0u);
    EXPECT_EQ(writesSince(*emulated(0), 0), (std::vector<std::pair<uint32_t, int>>{{V4L2_CID_BRIGHTNESS, 40}}));
}

} // namespace
