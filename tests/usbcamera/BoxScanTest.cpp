// The factory's wireless-box scan against the box simulator on loopback.
#include "BoxSimulatorProcess.h"
#include "camera/boxclient/CHD_WMP.h"
#include "camera/factory/CMFactory.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

namespace {

TEST(FactoryBoxScan, FoundBoxesBecomeDeviceRecordsAppendedToTheList)
{
    BoxSimulatorProcess simulator({"--name", "Bench 7", "--value", "42"});
    ASSERT_TRUE(simulator.ready());
    ASSERT_EQ(CHD_WMP_SetScanHosts(simulator.discovery().c_str()), 0);
    ASSERT_TRUE(CMFactory::StartDeviceScan(1));

    std::vector<_tag_VideoDeviceInfo> boxes;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (boxes.empty() && std::chrono::steady_clock::now() < giveUp) {
        CMFactory::GetDevicesList(&boxes);
        if (boxes.empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_EQ(boxes.size(), 1u);
    // The list is appended to; the caller clears it between polls.
    CMFactory::GetDevicesList(&boxes);
    CMFactory::StopDeviceScan();
    ASSERT_EQ(boxes.size(), 2u);

    const _tag_VideoDeviceInfo& box = boxes[0];
    EXPECT_STREQ(box.name, "Bench 7");
    EXPECT_EQ(std::string(box.address), simulator.session());
    EXPECT_EQ(box.boxValue, 42);
    EXPECT_EQ(box.vid, 0xFFFF);
    EXPECT_EQ(box.pid, 0xFFFF);

    std::unique_ptr<CMCameraBase> camera(CMFactory::GetCamera(CMFactory::kWirelessBox, box.address));
    ASSERT_NE(camera, nullptr);
    EXPECT_TRUE(camera->IsNetworkCamera());
    EXPECT_EQ(std::string(camera->GetDeviceInfo().address), simulator.session());
    EXPECT_EQ(CHD_WMP_SetScanHosts("127.0.0.1"), 0);
}

} // namespace
