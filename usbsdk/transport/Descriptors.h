#pragma once
// Parsing of standard USB descriptors from the bytes a device returns.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace usbsdk {

enum DescriptorType : uint8_t {
    kDescDevice = 1,
    kDescConfiguration = 2,
    kDescString = 3,
    kDescInterface = 4,
    kDescEndpoint = 5,
    kDescBos = 15,
    kDescDeviceCapability = 16,
    kDescSuperSpeedCompanion = 48,
};

struct DeviceDescriptor {
    uint16_t bcdUSB = 0;
    uint8_t deviceClass = 0, deviceSubClass = 0, deviceProtocol = 0;
    uint8_t maxPacketSize0 = 0;
    uint16_t vendorId = 0, productId = 0, bcdDevice = 0;
    uint8_t manufacturerIndex = 0, productIndex = 0, serialIndex = 0;
    uint8_t numConfigurations = 0;
    bool isUsb3() const { return (bcdUSB >> 8) == 3; }
};

struct SuperSpeedCompanion {
    uint8_t maxBurst = 0;
    uint8_t attributes = 0;
    uint16_t bytesPerInterval = 0;
};

struct EndpointDescriptor {
    uint8_t length = 0, type = 0, address = 0, attributes = 0;
    uint16_t wMaxPacketSize = 0;
    uint8_t interval = 0;
    std::optional<SuperSpeedCompanion> companion;
    uint8_t transferType() const { return attributes & 3; }
    // Bytes per service interval: base size times the high-bandwidth
    // transactions, and with a SuperSpeed companion times the burst (and for
    // isochronous endpoints the mult field).
    int maxPacketSize() const;
};

struct InterfaceDescriptor {
    uint8_t number = 0, alternateSetting = 0, numEndpoints = 0;
    uint8_t interfaceClass = 0, interfaceSubClass = 0, interfaceProtocol = 0;
    std::vector<EndpointDescriptor> endpoints;
};

struct ConfigurationDescriptor {
    uint16_t totalLength = 0;
    uint8_t numInterfaces = 0, value = 0, attributes = 0, maxPower = 0;
    std::vector<InterfaceDescriptor> interfaces; // at most kMaxInterfaces
    static constexpr size_t kMaxInterfaces = 8;
};

struct BosDescriptor {
    bool hasUsb2Extension = false;
    uint32_t usb2Attributes = 0;
    bool hasSuperSpeed = false;
    uint16_t superSpeedSpeeds = 0;
    bool hasContainerId = false;
    uint8_t containerId[16] = {};
};

std::optional<DeviceDescriptor> parseDeviceDescriptor(std::span<const uint8_t> bytes);
// `superSpeed`: each endpoint descriptor is followed by a SuperSpeed companion.
std::optional<ConfigurationDescriptor> parseConfiguration(std::span<const uint8_t> bytes, bool superSpeed);
std::optional<BosDescriptor> parseBos(std::span<const uint8_t> bytes);
// Language ids of string descriptor 0.
std::vector<uint16_t> parseLanguages(std::span<const uint8_t> bytes);
// 0x0409 when listed, else the first entry (0 for none).
uint16_t chooseLanguage(const std::vector<uint16_t>& languages);
// A string descriptor as UTF-8; nullopt unless it is longer than 2 bytes and of type 3.
std::optional<std::string> parseString(std::span<const uint8_t> bytes);

} // namespace usbsdk
