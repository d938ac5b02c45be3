// The libusb bus on whatever machine runs the tests: no camera is assumed, so
// only what holds everywhere is checked (and, under the address sanitizer,
// that enumeration and the event thread leave nothing behind).
#include <gtest/gtest.h>
#include <stdlib.h>

#include "usbsdk/transport/LibusbBus.h"

namespace usbsdk {
namespace {

TEST(LibusbBus, OpensNothingBeyondTheDevicesItCounts)
{
    unsetenv("SENSORLINK_USB_IDS");
    auto bus = makeLibusbBus();
    if (!bus)
        GTEST_SKIP() << "no USB access on this machine";
    const int n = bus->deviceCount();
    EXPECT_GE(n, 0);
    EXPECT_LE(n, 255);
    // Listing reads descriptors only, and lists exactly the devices counted.
    EXPECT_EQ(bus->listDevices().size(), static_cast<size_t>(n));
    EXPECT_EQ(bus->open(n), nullptr);
    EXPECT_EQ(bus->open(-1), nullptr);
}

} // namespace
} // namespace usbsdk
