// The rule that decides which USB devices are cameras, on recorded descriptors.
#include <gtest/gtest.h>

#include "usbsdk/transport/DeviceSelection.h"

namespace usbsdk {
namespace {

// Interface 0: a vendor interface with an interrupt endpoint only.
// Interface 1: the camera's 0x01 OUT, 0x81 IN, 0x83 IN bulk endpoints.
const std::vector<uint8_t> kCamera = {
    0x09, 0x02, 0x37, 0x00, 0x02, 0x01, 0x00, 0x80, 0x32, 0x09, 0x04, 0x00, 0x00, 0x01, 0xFF, 0x00, 0x00, 0x00, 0x07,
    0x05, 0x82, 0x03, 0x40, 0x00, 0x08, 0x09, 0x04, 0x01, 0x00, 0x03, 0xEF, 0x05, 0x00, 0x00, 0x07, 0x05, 0x01, 0x02,
    0x00, 0x02, 0x00, 0x07, 0x05, 0x81, 0x02, 0x00, 0x02, 0x00, 0x07, 0x05, 0x83, 0x02, 0x00, 0x02, 0x00,
};

TEST(DeviceSelection, InterfaceWithTheThreeBulkEndpointsIsACamera)
{
    auto config = parseConfiguration(kCamera, false);
    ASSERT_TRUE(config);
    EXPECT_FALSE(hasCameraEndpoints(config->interfaces[0]));
    EXPECT_TRUE(hasCameraEndpoints(config->interfaces[1]));
    EXPECT_EQ(cameraInterfaceNumber(*config), 1);
}

TEST(DeviceSelection, MissingOrWrongEndpointsAreNoCamera)
{
    auto noStream = kCamera;
    noStream[50] = 0x84; // 0x83 becomes 0x84
    EXPECT_FALSE(cameraInterfaceNumber(*parseConfiguration(noStream, false)));
    auto interruptStream = kCamera;
    interruptStream[51] = 0x03; // 0x83 as an interrupt endpoint
    EXPECT_FALSE(cameraInterfaceNumber(*parseConfiguration(interruptStream, false)));
    auto commandIn = kCamera;
    commandIn[36] = 0x02; // 0x01 becomes 0x02
    EXPECT_FALSE(cameraInterfaceNumber(*parseConfiguration(commandIn, false)));
}

TEST(DeviceSelection, IdListNarrowsTheSearch)
{
    const UsbIdList ids = parseUsbIdList("1209:5ec5, ABCD:0123,bogus,12345:1,1:2:3");
    ASSERT_EQ(ids.size(), 2u);
    EXPECT_EQ(ids[0], std::make_pair(uint16_t(0x1209), uint16_t(0x5EC5)));
    EXPECT_EQ(ids[1], std::make_pair(uint16_t(0xABCD), uint16_t(0x0123)));
    EXPECT_TRUE(idAllowed(ids, 0xABCD, 0x0123));
    EXPECT_FALSE(idAllowed(ids, 0xABCD, 0x0124));
    EXPECT_TRUE(idAllowed({}, 0x0001, 0x0002));
}

TEST(DeviceSelection, AListedDeviceCountsEvenWithoutTheEndpoints)
{
    auto camera = parseConfiguration(kCamera, false);
    auto other = kCamera;
    other[50] = 0x84;
    auto noCamera = parseConfiguration(other, false);
    // Without a list: the endpoints decide.
    EXPECT_TRUE(countsAsCamera(&*camera, 0x1234, 0x0001, {}));
    EXPECT_FALSE(countsAsCamera(&*noCamera, 0x1234, 0x0001, {}));
    EXPECT_FALSE(countsAsCamera(nullptr, 0x1234, 0x0001, {}));
    // With a list: exactly the listed devices, e.g. a controller in boot mode.
    const UsbIdList ids = {{0x1234, 0x0001}};
    EXPECT_TRUE(countsAsCamera(&*noCamera, 0x1234, 0x0001, ids));
    EXPECT_TRUE(countsAsCamera(nullptr, 0x1234, 0x0001, ids));
    EXPECT_FALSE(countsAsCamera(&*camera, 0x1234, 0x0002, ids));
}

} // namespace
} // namespace usbsdk
