// Descriptor parsing on recorded bytes, and the device object opening
// emulated cameras of both USB generations.
#include <gtest/gtest.h>

#include <chrono>

#include "usbsdk/emulator/EmulatedBus.h"
#include "usbsdk/transport/Descriptors.h"
#include "usbsdk/transport/UsbDevice.h"

namespace usbsdk {
namespace {

// A USB 3.0 camera: device descriptor as read from the wire.
const std::vector<uint8_t> kDevice = {0x12, 0x01, 0x00, 0x03, 0xEF, 0x02, 0x01, 0x09, 0x09,
                                      0x12, 0xC5, 0x5E, 0x00, 0x01, 0x01, 0x02, 0x03, 0x01};

// Configuration of a high-speed device with a high-bandwidth bulk endpoint
// (wMaxPacketSize 0x1400: 1024 bytes, 3 transactions), an interrupt endpoint,
// a class-specific descriptor between them, and a second interface.
const std::vector<uint8_t> kHighSpeedConfig = {
    0x09, 0x02, 0x35, 0x00, 0x02, 0x01, 0x00, 0x80, 0x32, // configuration, total 53
    0x09, 0x04, 0x00, 0x00, 0x02, 0xFF, 0x00, 0x00, 0x00, // interface 0, 2 endpoints
    0x07, 0x05, 0x83, 0x02, 0x00, 0x14, 0x00,             // 0x83 bulk, 0x1400
    0x05, 0x24, 0x01, 0x02, 0x03,                         // class-specific, skipped
    0x07, 0x05, 0x82, 0x03, 0x40, 0x00, 0x04,             // 0x82 interrupt, 64
    0x09, 0x04, 0x01, 0x00, 0x01, 0xFF, 0x00, 0x00, 0x00, // interface 1, 1 endpoint
    0x07, 0x05, 0x01, 0x02, 0x00, 0x02, 0x00,             // 0x01 bulk, 512
};

// SuperSpeed configuration: each endpoint followed by its companion.
const std::vector<uint8_t> kSuperSpeedConfig = {
    0x09, 0x02, 0x2C, 0x00, 0x01, 0x01, 0x00, 0x80, 0x70, 0x09, 0x04, 0x00, 0x00, 0x02, 0xEF, 0x05,
    0x00, 0x00, 0x07, 0x05, 0x83, 0x02, 0x00, 0x04, 0x00, 0x06, 0x30, 0x0F, 0x00, 0x00, 0x00, // burst 15
    0x07, 0x05, 0x84, 0x01, 0x00, 0x04, 0x01, 0x06, 0x30, 0x01, 0x02, 0x00, 0x0C,             // isoc, burst 1, mult 2
};

const std::vector<uint8_t> kBos = {0x05, 0x0F, 0x16, 0x00, 0x02,                                // BOS, total 22
                                   0x07, 0x10, 0x02, 0x02, 0x00, 0x00, 0x00,                    // USB 2.0 extension
                                   0x0A, 0x10, 0x03, 0x00, 0x0E, 0x00, 0x01, 0x0A, 0xFF, 0x07}; // SuperSpeed

TEST(DescriptorParsing, DeviceDescriptorFields)
{
    auto d = parseDeviceDescriptor(kDevice);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->bcdUSB, 0x0300);
    EXPECT_TRUE(d->isUsb3());
    EXPECT_EQ(d->vendorId, 0x1209);
    EXPECT_EQ(d->productId, 0x5EC5);
    EXPECT_EQ(d->maxPacketSize0, 9);
    EXPECT_EQ(d->serialIndex, 3);
    EXPECT_EQ(d->numConfigurations, 1);
    EXPECT_FALSE(parseDeviceDescriptor(std::span(kDevice).first(17)));
    auto wrongType = kDevice;
    wrongType[1] = 2;
    EXPECT_FALSE(parseDeviceDescriptor(wrongType));
}

TEST(DescriptorParsing, HighBandwidthEndpointsMultiplyTheirPacketSize)
{
    auto c = parseConfiguration(kHighSpeedConfig, false);
    ASSERT_TRUE(c);
    ASSERT_EQ(c->interfaces.size(), 2u);
    const auto& eps = c->interfaces[0].endpoints;
    ASSERT_EQ(eps.size(), 2u);
    EXPECT_EQ(eps[0].address, 0x83);
    EXPECT_EQ(eps[0].maxPacketSize(), 3072);
    EXPECT_EQ(eps[1].address, 0x82);
    EXPECT_EQ(eps[1].transferType(), 3);
    EXPECT_EQ(eps[1].interval, 4);
    EXPECT_EQ(c->interfaces[1].endpoints.at(0).maxPacketSize(), 512);
}

TEST(DescriptorParsing, SuperSpeedCompanionsScaleThePacketSize)
{
    auto c = parseConfiguration(kSuperSpeedConfig, true);
    ASSERT_TRUE(c);
    const auto& eps = c->interfaces.at(0).endpoints;
    ASSERT_EQ(eps.size(), 2u);
    ASSERT_TRUE(eps[0].companion);
    EXPECT_EQ(eps[0].companion->maxBurst, 15);
    EXPECT_EQ(eps[0].maxPacketSize(), 1024 * 16);
    EXPECT_EQ(eps[1].maxPacketSize(), 1024 * 2 * 3); // isochronous: burst and mult
    EXPECT_EQ(eps[1].companion->bytesPerInterval, 0x0C00);
    // Read as a USB 2 configuration, the companions are just skipped.
    auto asUsb2 = parseConfiguration(kSuperSpeedConfig, false);
    ASSERT_TRUE(asUsb2);
    EXPECT_FALSE(asUsb2->interfaces.at(0).endpoints.at(0).companion);
}

TEST(DescriptorParsing, MalformedConfigurationsStopInsteadOfOverrunning)
{
    auto truncated = kHighSpeedConfig;
    truncated.resize(30); // cut inside the endpoint list
    auto c = parseConfiguration(truncated, false);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->interfaces.at(0).endpoints.size(), 1u);

    auto zeroLength = kHighSpeedConfig;
    zeroLength[18] = 0; // a descriptor claiming length 0 would loop forever
    c = parseConfiguration(zeroLength, false);
    ASSERT_TRUE(c);
    EXPECT_TRUE(c->interfaces.at(0).endpoints.empty());

    auto longLength = kHighSpeedConfig;
    longLength[18] = 0xF0;
    EXPECT_TRUE(parseConfiguration(longLength, false));
}

TEST(DescriptorParsing, AtMostEightInterfacesAreKept)
{
    std::vector<uint8_t> config = {0x09, 0x02, 0, 0, 10, 1, 0, 0x80, 0x32};
    for (uint8_t i = 0; i < 10; ++i) {
        const uint8_t itf[] = {0x09, 0x04, i, 0, 0, 0xFF, 0, 0, 0};
        config.insert(config.end(), std::begin(itf), std::end(itf));
    }
    config[2] = static_cast<uint8_t>(config.size());
    auto c = parseConfiguration(config, false);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->interfaces.size(), 8u);
}

TEST(DescriptorParsing, BosCapabilities)
{
    auto bos = parseBos(kBos);
    ASSERT_TRUE(bos);
    EXPECT_TRUE(bos->hasUsb2Extension);
    EXPECT_EQ(bos->usb2Attributes, 2u);
    EXPECT_TRUE(bos->hasSuperSpeed);
    EXPECT_EQ(bos->superSpeedSpeeds, 0x000E);
    EXPECT_FALSE(bos->hasContainerId);
}

TEST(DescriptorParsing, LanguageChoice)
{
    EXPECT_EQ(chooseLanguage(parseLanguages(std::vector<uint8_t>{6, 3, 0x07, 0x04, 0x09, 0x04})), 0x0409);
    EXPECT_EQ(chooseLanguage(parseLanguages(std::vector<uint8_t>{6, 3, 0x07, 0x04, 0x0C, 0x04})), 0x0407);
    EXPECT_EQ(chooseLanguage(parseLanguages(std::vector<uint8_t>{2, 3})), 0);
}

TEST(DescriptorParsing, Strings)
{
    EXPECT_EQ(parseString(std::vector<uint8_t>{8, 3, 'C', 0, 'a', 0, 'm', 0}), "Cam");
    EXPECT_EQ(parseString(std::vector<uint8_t>{6, 3, 0xB5, 0x00, 0xAC, 0x20}), "\xC2\xB5\xE2\x82\xAC");
    EXPECT_FALSE(parseString(std::vector<uint8_t>{2, 3}));                         // empty: not kept
    EXPECT_FALSE(parseString(std::vector<uint8_t>{8, 2, 'C', 0, 'a', 0, 'm', 0})); // not a string
}

// ---- the device object over emulated cameras

class DeviceOpen : public ::testing::Test {
protected:
    std::shared_ptr<emulator::EmulatedBus> bus = std::make_shared<emulator::EmulatedBus>();
    UsbDevice device{bus};
};

TEST_F(DeviceOpen, SuperSpeedCameraReadsBosAndBuildsItsEndpoints)
{
    bus->addCamera();
    ASSERT_TRUE(device.open(0));
    EXPECT_EQ(device.bcdUSB(), 0x0300);
    EXPECT_TRUE(device.hasBos());
    EXPECT_TRUE(device.bos().hasSuperSpeed);
    EXPECT_TRUE(device.bos().hasContainerId);
    EXPECT_EQ(device.languageId(), 0x0409);
    EXPECT_EQ(device.manufacturer(), "Pellumo");
    EXPECT_EQ(device.serialNumber(), "EMU0001");
    EXPECT_EQ(device.controlEndpoint()->maxPacketSize(), 512);
    ASSERT_EQ(device.endpointCount(), 5); // control + 4
    EXPECT_EQ(device.endpoint(0), device.controlEndpoint());
    EXPECT_EQ(device.endpoint(1)->address(), 0x01);
    EXPECT_EQ(device.endpoint(4)->address(), 0x83);
    EXPECT_NE(dynamic_cast<CCyBulkEndPoint*>(device.endpoint(4)), nullptr);
    EXPECT_NE(dynamic_cast<CCyInterruptEndPoint*>(device.endpoint(3)), nullptr);
    EXPECT_EQ(device.endpointByAddress(0x83)->maxPacketSize(), 1024 * 16);
    EXPECT_TRUE(device.endpoint(4)->direct);
    EXPECT_EQ(device.endpoint(4)->timeOut, 10000u);
}

TEST_F(DeviceOpen, Usb2CameraHasNoBosAndNoCompanions)
{
    emulator::EmulatorConfig c;
    c.bcdUSB = 0x0210;
    bus->addCamera(c);
    ASSERT_TRUE(device.open(0));
    EXPECT_FALSE(device.hasBos());
    EXPECT_EQ(device.controlEndpoint()->maxPacketSize(), 64);
    EXPECT_EQ(device.endpointByAddress(0x83)->maxPacketSize(), 512);
}

TEST_F(DeviceOpen, LanguageWithout0409UsesTheFirstListed)
{
    emulator::EmulatorConfig c;
    c.languages = {0x0407, 0x040C};
    bus->addCamera(c);
    ASSERT_TRUE(device.open(0));
    EXPECT_EQ(device.languageId(), 0x0407);
    EXPECT_EQ(device.product(), c.product); // the camera answers only listed languages
}

TEST_F(DeviceOpen, MissingDevicesFail)
{
    EXPECT_FALSE(device.open(0));
    bus->addCamera()->unplug();
    EXPECT_EQ(device.deviceCount(), 0);
    EXPECT_FALSE(device.open(0));
    bus->addCamera();
    EXPECT_TRUE(device.open(0));
    EXPECT_FALSE(device.open(1));
    EXPECT_FALSE(device.isOpen()); // the previous device was closed
}

TEST(EndpointTransferSize, IsRoundedUpToThePacketSize)
{
    EndpointDescriptor oneTransaction;
    oneTransaction.address = 0x83;
    oneTransaction.attributes = 2;
    oneTransaction.wMaxPacketSize = 1024;
    CCyBulkEndPoint plain(nullptr, oneTransaction);
    EXPECT_EQ(plain.setTransferSize(0x40000), 0x40000);
    EXPECT_EQ(plain.setTransferSize(1000), 1024);
    EndpointDescriptor threeTransactions;
    threeTransactions.address = 0x83;
    threeTransactions.attributes = 2;
    threeTransactions.wMaxPacketSize = 0x1400;
    CCyBulkEndPoint highBandwidth(nullptr, threeTransactions);
    EXPECT_EQ(highBandwidth.maxPacketSize(), 3072);
    EXPECT_EQ(highBandwidth.setTransferSize(0x40000), 0x40800);
}

TEST_F(DeviceOpen, ATransferThatTimesOutAbortsThePipe)
{
    auto camera = bus->addCamera();
    ASSERT_TRUE(device.open(0));
    CCyUSBEndPoint* ack = device.endpointByAddress(0x81);
    ack->timeOut = 100;
    uint8_t buffer[16];
    int length = sizeof buffer;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(ack->transfer(buffer, length)); // no command, so no acknowledgement
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
    EXPECT_EQ(ack->usbStatus, UsbStatus::Cancelled);
    EXPECT_EQ(length, 0);
}

TEST_F(DeviceOpen, IsochronousTransfersAreRefused)
{
    EndpointDescriptor d;
    d.address = 0x84;
    d.attributes = 1;
    d.wMaxPacketSize = 1024;
    CCyIsocEndPoint iso(nullptr, d);
    uint8_t buffer[8];
    int length = 8;
    EXPECT_FALSE(iso.transfer(buffer, length));
}

TEST_F(DeviceOpen, ControlRequestByteFollowsTheFields)
{
    bus->addCamera();
    ASSERT_TRUE(device.open(0));
    CCyControlEndPoint* ep = device.controlEndpoint();
    ep->direction = CCyControlEndPoint::DirFromDevice;
    ep->reqType = CCyControlEndPoint::ReqVendor;
    ep->target = CCyControlEndPoint::TgtDevice;
    EXPECT_EQ(ep->requestTypeByte(), 0xC0);
    ep->direction = CCyControlEndPoint::DirToDevice;
    ep->reqType = CCyControlEndPoint::ReqClass;
    ep->target = CCyControlEndPoint::TgtInterface;
    EXPECT_EQ(ep->requestTypeByte(), 0x21);
}

} // namespace
} // namespace usbsdk
