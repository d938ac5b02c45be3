// The factory's USB group listing against a scripted SDK, and the parts of
// the factory that need no device.
#include "ScriptedSdk.h"
#include "camera/factory/CMFactory.h"
#include "camera/factory/DeviceGroups.h"
#include "camera/usb/SensorlinkUse.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

class SensorlinkListingTest : public ::testing::Test {
protected:
    void SetUp() override { ScriptedSdk::reset(); }
    ScriptedSdk& sdk() { return ScriptedSdk::instance(); }
    _tag_VideoDeviceList group{};
};

TEST_F(SensorlinkListingTest, UnnamedCamerasAreNumberedByTheirPosition)
{
    sdk().addCamera("Left scope");
    sdk().addCamera("Right scope");
    sdk().addCamera("");
    listSensorlinkDevices(ScriptedSdk::api(), group);
    ASSERT_EQ(group.devices.size(), 3u);
    EXPECT_STREQ(group.devices[0].name, "Left scope");
    EXPECT_STREQ(group.devices[2].name, "USB 3.0 Camera #2");
    EXPECT_EQ(group.devices[2].vid, 0x1209);
    EXPECT_EQ(group.devices[2].pid, 0x5ec5);
    EXPECT_EQ(group.devices[2].boxValue, 0);
    EXPECT_EQ(group.devices[2].address[0], '\0');
    EXPECT_EQ(sdk().ops(), (std::vector<std::string>{"init", "search", "uninit"}));
}

TEST_F(SensorlinkListingTest, LongNamesAreCutTo63Characters)
{
    sdk().addCamera(std::string(200, 'x').c_str());
    listSensorlinkDevices(ScriptedSdk::api(), group);
    ASSERT_EQ(group.devices.size(), 1u);
    EXPECT_EQ(std::string(group.devices[0].name), std::string(63, 'x'));
}

TEST_F(SensorlinkListingTest, AFailedOrEmptySearchListsNothing)
{
    sdk().addCamera();
    sdk().searchResult = VEXEL_E_SEARCH_OPEN;
    listSensorlinkDevices(ScriptedSdk::api(), group);
    EXPECT_TRUE(group.devices.empty());
    sdk().searchResult = 0;
    listSensorlinkDevices(ScriptedSdk::api(), group);
    EXPECT_TRUE(group.devices.empty());
    EXPECT_EQ(sdk().initialised, 0);
}

TEST_F(SensorlinkListingTest, ListingWhileACameraHoldsTheSdkLeavesItInitialised)
{
    sdk().addCamera();
    auto holder = std::make_unique<SensorlinkUse>(ScriptedSdk::api());
    listSensorlinkDevices(ScriptedSdk::api(), group);
    EXPECT_EQ(group.devices.size(), 1u);
    EXPECT_TRUE(sdk().callsOf("uninit").empty());
    EXPECT_EQ(sdk().initialised, 1);
    holder.reset();
    EXPECT_EQ(sdk().initialised, 0);
}

TEST_F(SensorlinkListingTest, AnSdkInitialisedBySomeoneElseIsLeftInitialised)
{
    sdk().addCamera();
    sdk().initialised = 1;
    listSensorlinkDevices(ScriptedSdk::api(), group);
    EXPECT_EQ(group.devices.size(), 1u);
    EXPECT_EQ(sdk().initialised, 1);
    EXPECT_TRUE(sdk().callsOf("uninit").empty());
}

TEST(FactoryTest, FormatNames)
{
    EXPECT_STREQ(CMFactory::GetImageFormatDesc(0), "RGB24");
    EXPECT_STREQ(CMFactory::GetImageFormatDesc(1), "RGB24");
    EXPECT_STREQ(CMFactory::GetImageFormatDesc(3), "Unknown");
    EXPECT_STREQ(CMFactory::GetImageFormatDesc(6), "YUY2");
    EXPECT_STREQ(CMFactory::GetImageFormatDesc(8), "YUYV");
    EXPECT_STREQ(CMFactory::GetImageFormatDesc(20), "MJPG");
    EXPECT_STREQ(CMFactory::GetImageFormatDesc(21), "H.264");
    EXPECT_STREQ(CMFactory::GetImageFormatDesc(22), "Unknown");
    EXPECT_STREQ(CMFactory::GetImageFormatDesc(-1), "Unknown");
}

TEST(FactoryTest, NetworkCamerasByKind)
{
    EXPECT_EQ(CMFactory::GetCamera(3, "127.0.0.1"), nullptr);
    EXPECT_EQ(CMFactory::GetCamera(2, "127.0.0.1"), nullptr);

    std::unique_ptr<CMCameraBase> box(CMFactory::GetCamera(7, ""));
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->IsNetworkCamera());
    EXPECT_STREQ(box->GetDeviceInfo().name, "Wireless");
    EXPECT_NE(box->Init(nullptr, nullptr, 0, 0), 0); // no address, no box
    box->Release();

    std::unique_ptr<CMCameraBase> rtsp(CMFactory::GetCamera(8, "rtsp://127.0.0.1:1/none"));
    ASSERT_NE(rtsp, nullptr);
    EXPECT_FALSE(rtsp->IsNetworkCamera());
    EXPECT_EQ(rtsp->GetDeviceInfo().pid, 0xFFFE);
    EXPECT_STREQ(rtsp->GetDeviceInfo().address, "rtsp://127.0.0.1:1/none");

    // A missing URL is an empty one, not a crash.
    std::unique_ptr<CMCameraBase> empty(CMFactory::GetCamera(8, nullptr));
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->GetDeviceInfo().address[0], '\0');
}

TEST(FactoryTest, NullOutputsAreIgnored)
{
    EXPECT_EQ(CMFactory::GetVideoDeviceList(nullptr), 0);
    CMFactory::GetDevicesList(nullptr);
}

} // namespace
