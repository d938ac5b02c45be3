#pragma once
// The device object: opens one camera of the bus, reads its descriptors and
// builds the endpoint objects of its active interface.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "usbsdk/transport/Descriptors.h"
#include "usbsdk/transport/UsbBus.h"
#include "usbsdk/transport/UsbEndpoints.h"

namespace usbsdk {

class UsbDevice {
public:
    explicit UsbDevice(std::shared_ptr<UsbBus> bus);
    ~UsbDevice();
    UsbDevice(const UsbDevice&) = delete;
    UsbDevice& operator=(const UsbDevice&) = delete;

    // Number of cameras on the bus (kept in a byte, so at most 255).
    int deviceCount();
    // Closes the current device, opens device `index`, reads its descriptors and
    // builds its endpoint list. False on failure (the previous device stays closed).
    bool open(int index);
    void close();
    bool isOpen() const { return connection_ != nullptr; }

    int deviceNumber() const { return deviceNumber_; }
    uint16_t vendorId() const { return deviceDescriptor_.vendorId; }
    uint16_t productId() const { return deviceDescriptor_.productId; }
    uint16_t bcdUSB() const { return deviceDescriptor_.bcdUSB; }
    const DeviceDescriptor& deviceDescriptor() const { return deviceDescriptor_; }
    uint16_t languageId() const { return languageId_; }
    const std::string& manufacturer() const { return manufacturer_; }
    const std::string& product() const { return product_; }
    const std::string& serialNumber() const { return serialNumber_; }
    bool hasBos() const { return bosRead_; }
    const BosDescriptor& bos() const { return bos_; }
    const std::vector<ConfigurationDescriptor>& configurations() const { return configurations_; }
    int alternateSetting() const { return altSetting_; }
    std::string path() const { return connection_ ? connection_->path() : std::string(); }

    // [control endpoint, then the current interface's endpoints in descriptor order]
    int endpointCount() const { return static_cast<int>(endpoints_.size()); }
    CCyUSBEndPoint* endpoint(int i) const { return endpoints_.at(static_cast<size_t>(i)).get(); }
    CCyControlEndPoint* controlEndpoint() const { return control_; }
    // The endpoint with this address on the current interface, or null.
    CCyUSBEndPoint* endpointByAddress(uint8_t address) const;

    // Writes a firmware image to target 1 (RAM), 2 (I2C EEPROM) or 3 (SPI flash).
    // Returns 0 or a FirmwareResult code.
    int downloadFirmware(const uint8_t* image, size_t length, int target);

private:
    bool readDescriptor(uint16_t value, uint16_t language, std::vector<uint8_t>& out, uint16_t length);
    bool readFullDescriptor(uint16_t value, uint16_t language, uint16_t headerLength, size_t totalOffset,
                            std::vector<uint8_t>& out);
    std::string readString(uint8_t index);

    std::shared_ptr<UsbBus> bus_;
    std::unique_ptr<UsbConnection> connection_;
    int deviceNumber_ = -1;
    int deviceCount_ = 0;
    DeviceDescriptor deviceDescriptor_;
    uint16_t languageId_ = 0;
    std::string manufacturer_, product_, serialNumber_;
    bool bosRead_ = false;
    BosDescriptor bos_;
    int altSetting_ = 0;
    std::vector<ConfigurationDescriptor> configurations_;
    std::vector<std::unique_ptr<CCyUSBEndPoint>> endpoints_;
    CCyControlEndPoint* control_ = nullptr;
};

} // namespace usbsdk
