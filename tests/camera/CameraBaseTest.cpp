#include "TestCamera.h"

#include <gtest/gtest.h>

TEST(CameraBase, UnsupportedOperationsAnswerNotSupported)
{
    TestCamera camera;
    std::vector<_tag_CMSIZE> sizes;
    _tag_CMSIZE size{};
    bool flag = false;
    float t = 0;
    int a = 0, b = 0, c = 0, d = 0;
    unsigned u = 0;
    char text[16];
    tagCMTriggerMode mode{};
    EXPECT_EQ(camera.startRecording("x.mp4"), CM_E_NOTSUPPORTED);
    EXPECT_EQ(camera.pauseRecording(), CM_E_NOTSUPPORTED);
    EXPECT_EQ(camera.stopRecording(), CM_E_NOTSUPPORTED);
    EXPECT_EQ(camera.GetSupportedStillCaptureSizes(&sizes), CM_E_NOTSUPPORTED);
    EXPECT_EQ(camera.GetStillCaptureSize(size), CM_E_NOTSUPPORTED);
    EXPECT_EQ(camera.SetStillCaptureSize(size), CM_E_NOTSUPPORTED);
    EXPECT_EQ(camera.setExposure(true), CM_E_NOTSUPPORTED);
    EXPECT_EQ(camera.getExposure(flag), CM_E_NOTSUPPORTED);
    EXPECT_EQ(camera.setWhiteBalance(true), CM_E_NOTSUPPORTED);
    EXPECT_EQ(camera.getWhiteBalance(flag), CM_E_NOTSUPPORTED);
    EXPECT_EQ(camera.GetPropertyUnit(CM_PROP_GAIN, text, sizeof text), CM_E_NOTSUPPORTED);
    EXPECT_EQ(camera.GetPropertyAlias(CM_PROP_GAIN, 1, text, sizeof text), CM_E_NOTSUPPORTED);
    EXPECT_EQ(camera.SetROI(0, 0, 1, 1), CM_E_NOTSUPPORTED);
    EXPECT_EQ(camera.GetROI(&u, &u, &u, &u), CM_E_NOTSUPPORTED);
    EXPECT_EQ(camera.GetTemperature(&t), CM_E_NOTSUPPORTED);
    EXPECT_EQ(camera.GetTargetTemperature(&t), CM_E_NOTSUPPORTED);
    EXPECT_EQ(camera.SetTargetTemperature(t), CM_E_NOTSUPPORTED);
    EXPECT_EQ(camera.GetFanSpeedRange(&a, &b), CM_E_NOTSUPPORTED);
    EXPECT_EQ(camera.GetFanSpeed(&a), CM_E_NOTSUPPORTED);
    EXPECT_EQ(camera.SetFanSpeed(1), CM_E_NOTSUPPORTED);
    EXPECT_EQ(camera.GetTriggerMode(&mode), CM_E_NOTSUPPORTED);
    EXPECT_EQ(camera.SetTriggerMode(mode), CM_E_NOTSUPPORTED);
    EXPECT_EQ(camera.Trigger(1), CM_E_NOTSUPPORTED);
    EXPECT_EQ(camera.GetAEAuxRect(&a, &b, &c, &d), CM_E_NOTSUPPORTED);
    EXPECT_EQ(camera.SetAEAuxRect(a, b, c, d), CM_E_NOTSUPPORTED);
    EXPECT_EQ(camera.GetAWBAuxRect(&a, &b, &c, &d), CM_E_NOTSUPPORTED);
    EXPECT_EQ(camera.SetAWBAuxRect(a, b, c, d), CM_E_NOTSUPPORTED);
    EXPECT_FALSE(camera.hasBuiltInRecorder());
    EXPECT_FALSE(camera.HasPropertyPages());
    EXPECT_FALSE(camera.IsSupportROI());
    EXPECT_FALSE(camera.IsCoolingCamera());
    EXPECT_FALSE(camera.IsSupportTECOnOff());
    EXPECT_FALSE(camera.IsTECOn());
    EXPECT_FALSE(camera.IsSupportFan());
    EXPECT_FALSE(camera.IsSupportTriggerSoftware());
    EXPECT_FALSE(camera.IsSupportTriggerExternal());
    EXPECT_FALSE(camera.IsSupportTriggerSingle());
    EXPECT_FALSE(camera.IsSupportAEAuxRect());
    EXPECT_FALSE(camera.IsSupportAWBAuxRect());
    EXPECT_FALSE(camera.isSupportStillCapture());
    EXPECT_EQ(camera.getWhiteBalanceMode(), 1);
}

TEST(CameraBase, SoftwarePropertiesAreTheOffsetsAndColourMode)
{
    TestCamera camera;
    for (int p = CM_PROP_BRIGHTNESS; p <= CM_PROP_IRIS; ++p) {
        const auto prop = static_cast<tagCMProperty>(p);
        const bool software = p == 7 || p == 8 || p == 9 || p == 18;
        EXPECT_EQ(camera.IsPropertySupport(prop), software) << p;
        int value = -1;
        EXPECT_EQ(camera.GetProperty(prop, &value), software ? CM_OK : CM_E_NOTSUPPORTED) << p;
        EXPECT_EQ(camera.SetProperty(prop, 1), software ? CM_OK : CM_E_NOTSUPPORTED) << p;
    }
}

TEST(CameraBase, OffsetRangeLeavesStepUntouchedAndColourModeEnumerates)
{
    TestCamera camera;
    int min = -1, max = -1, def = -1, step = 1234;
    EXPECT_EQ(camera.GetPropertyRange(CM_PROP_OFFSET_2, &min, &max, &def, &step), CM_OK);
    EXPECT_EQ(min, 0);
    EXPECT_EQ(max, 255);
    EXPECT_EQ(def, 0);
    EXPECT_EQ(step, 1234);
    EXPECT_EQ(camera.GetPropertyRange(CM_PROP_COLOR_MODE, &min, &max, &def, &step), CM_E_NOTSUPPORTED);

    std::vector<int> values = {9, 9, 9, 9};
    EXPECT_EQ(camera.GetPropertyRangeEnumInt(CM_PROP_COLOR_MODE, values), CM_OK);
    EXPECT_EQ(values, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(camera.GetPropertyRangeEnumInt(CM_PROP_OFFSET_0, values), CM_E_NOTSUPPORTED);
}

TEST(CameraBase, OffsetsStoreTheLowByteColourModeTheWholeValue)
{
    TestCamera camera;
    int value = 0;
    EXPECT_EQ(camera.SetProperty(CM_PROP_OFFSET_1, 300), CM_OK);
    camera.GetProperty(CM_PROP_OFFSET_1, &value);
    EXPECT_EQ(value, 44);
    camera.SetProperty(CM_PROP_OFFSET_0, -1);
    camera.GetProperty(CM_PROP_OFFSET_0, &value);
    EXPECT_EQ(value, 255);
    camera.SetProperty(CM_PROP_COLOR_MODE, 7);
    camera.GetProperty(CM_PROP_COLOR_MODE, &value);
    EXPECT_EQ(value, 7);
    EXPECT_EQ(camera.GetProperty(CM_PROP_OFFSET_2, nullptr), CM_E_INVALIDARG);
}

TEST(CameraBase, NetworkCameraMeansBothIdsExactlyFFFF)
{
    TestCamera camera;
    _tag_VideoDeviceInfo info{};
    info.vid = 0xFFFF;
    info.pid = 0xFFFF;
    camera.SetDeviceInfo(info);
    EXPECT_TRUE(camera.IsNetworkCamera());
    info.pid = 0xFFFE; // RTSP stream
    camera.SetDeviceInfo(info);
    EXPECT_FALSE(camera.IsNetworkCamera());
    info.vid = 0x04B4;
    info.pid = 0x00F1; // a USB device
    camera.SetDeviceInfo(info);
    EXPECT_FALSE(camera.IsNetworkCamera());
    EXPECT_EQ(camera.GetDeviceInfo().pid, 0x00F1);
}

TEST(CameraBase, DeviceRecordStartsZeroFilled)
{
    TestCamera camera;
    const _tag_VideoDeviceInfo info = camera.GetDeviceInfo();
    const auto* bytes = reinterpret_cast<const unsigned char*>(&info);
    for (size_t i = 0; i < sizeof info; ++i)
        ASSERT_EQ(bytes[i], 0) << "byte " << i;
}

TEST(CameraBase, ResoOffsetOnlyForEqualSizes)
{
    TestCamera camera;
    int dx = 5, dy = 6;
    float scale = 2.5f;
    EXPECT_FALSE(camera.getResoOffset(640, 480, 1280, 960, dx, dy, scale));
    EXPECT_EQ(dx, 5);
    EXPECT_EQ(dy, 6);
    EXPECT_EQ(scale, 2.5f);
    EXPECT_TRUE(camera.getResoOffset(640, 480, 640, 480, dx, dy, scale));
    EXPECT_EQ(dx, 0);
    EXPECT_EQ(dy, 0);
    EXPECT_EQ(scale, 1.0f);
}

TEST(CameraBase, SizeWrappersCopyOutOnlyOnSuccess)
{
    TestCamera camera(64, 48);
    int w = -1, h = -1;
    EXPECT_EQ(camera.GetPreviewSize(w, h), CM_OK);
    EXPECT_EQ(w, 64);
    EXPECT_EQ(h, 48);
    EXPECT_EQ(camera.GetSnapImageSize(), 3L * 64 * 48);

    camera.failSizeQuery = true;
    w = h = -1;
    EXPECT_EQ(camera.GetPreviewSize(w, h), CM_E_NOTSUPPORTED);
    EXPECT_EQ(w, -1);
    EXPECT_EQ(camera.GetSnapImageSize(), 0) << "a failed size query gives 0";
    EXPECT_EQ(camera.GetStillCaptureSize(w, h), CM_E_NOTSUPPORTED);
    EXPECT_EQ(camera.SetPreviewSize(1, 1), CM_E_NOTSUPPORTED);
}

TEST(CameraBase, FlipAndMirrorSucceedWithTheProcessor)
{
    TestCamera camera;
    EXPECT_EQ(camera.flip(true), CM_OK);
    EXPECT_EQ(camera.mirror(true), CM_OK);
}

TEST(CameraBase, FrameRateIsZeroBeforeAFullSecondAndAfterStop)
{
    TestCamera camera;
    for (int i = 0; i < 50; ++i)
        camera.frameCount();
    EXPECT_EQ(camera.GetFrameRate(), 0.0f);
    EXPECT_EQ(camera.startPreview(), CM_OK);
    EXPECT_FALSE(camera.IsPaused());
    EXPECT_EQ(camera.stopPreview(), CM_OK);
    EXPECT_TRUE(camera.IsPaused());
    EXPECT_EQ(camera.GetFrameRate(), 0.0f);
}
