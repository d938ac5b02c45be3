#include "usbsdk/transport/UsbDevice.h"

#include "platform/DebugOutput.h"

namespace usbsdk {
namespace {
constexpr uint32_t kDescriptorTimeoutMs = 5000;
constexpr uint8_t kGetDescriptor = 6;
constexpr uint8_t kGetInterface = 10;

std::unique_ptr<CCyUSBEndPoint> makeEndpoint(UsbConnection* c, const EndpointDescriptor& d)
{
    switch (d.transferType()) {
    case 1: return std::make_unique<CCyIsocEndPoint>(c, d);
    case 2: return std::make_unique<CCyBulkEndPoint>(c, d);
    case 3: return std::make_unique<CCyInterruptEndPoint>(c, d);
    default: {
        auto ep = std::make_unique<CCyControlEndPoint>(c, d.wMaxPacketSize);
        return ep;
    }
    }
}
} // namespace

UsbDevice::UsbDevice(std::shared_ptr<UsbBus> bus) : bus_(std::move(bus)) {}

UsbDevice::~UsbDevice() { close(); }

int UsbDevice::deviceCount()
{
    const int n = bus_ ? bus_->deviceCount() : 0;
    deviceCount_ = n < 0 ? 0 : (n > 255 ? 255 : n);
    return deviceCount_;
}

void UsbDevice::close()
{
    endpoints_.clear();
    control_ = nullptr;
    configurations_.clear();
    manufacturer_.clear();
    product_.clear();
    serialNumber_.clear();
    bosRead_ = false;
    bos_ = {};
    deviceDescriptor_ = {};
    connection_.reset();
    deviceNumber_ = -1;
}

bool UsbDevice::readDescriptor(uint16_t value, uint16_t language, std::vector<uint8_t>& out, uint16_t length)
{
    out.assign(length, 0);
    const ControlResult r =
        connection_->control(0x80, kGetDescriptor, value, language, out.data(), length, kDescriptorTimeoutMs);
    if (!r.ok())
        return false;
    out.resize(static_cast<size_t>(r.length));
    return true;
}

// Reads the first `headerLength` bytes to learn the total length (a byte at
// offset 0 when totalOffset is 0, else a 16-bit field at totalOffset), then all.
bool UsbDevice::readFullDescriptor(uint16_t value, uint16_t language, uint16_t headerLength, size_t totalOffset,
                                   std::vector<uint8_t>& out)
{
    if (!readDescriptor(value, language, out, headerLength) || out.size() < headerLength)
        return false;
    const uint16_t total =
        totalOffset == 0 ? out[0] : static_cast<uint16_t>(out[totalOffset] | (out[totalOffset + 1] << 8));
    if (total < headerLength)
        return false;
    return readDescriptor(value, language, out, total) && out.size() >= headerLength;
}

std::string UsbDevice::readString(uint8_t index)
{
    if (index == 0)
        return {};
    std::vector<uint8_t> bytes;
    if (!readDescriptor(static_cast<uint16_t>(0x0300 | index), languageId_, bytes, 255))
        return {};
    return parseString(bytes).value_or(std::string());
}

bool UsbDevice::open(int index)
{
    close();
    if (deviceCount() == 0 || index < 0 || index >= deviceCount_)
        return false;
    connection_ = bus_->open(index);
    if (!connection_) {
        platform::DebugPrintf("UsbDevice: cannot open device %d\n", index);
        return false;
    }
    platform::DebugPrintf("%s\n", connection_->path().c_str());
    deviceNumber_ = index;

    std::vector<uint8_t> bytes;
    auto device = readDescriptor(0x0100, 0, bytes, 18) ? parseDeviceDescriptor(bytes) : std::nullopt;
    if (!device) {
        close();
        return false;
    }
    deviceDescriptor_ = *device;

    if (readFullDescriptor(0x0300, 0, 2, 0, bytes)) {
        languageId_ = chooseLanguage(parseLanguages(bytes));
        manufacturer_ = readString(deviceDescriptor_.manufacturerIndex);
        product_ = readString(deviceDescriptor_.productIndex);
        serialNumber_ = readString(deviceDescriptor_.serialIndex);
    }

    if (deviceDescriptor_.isUsb3() && readFullDescriptor(0x0F00, 0, 5, 2, bytes)) {
        if (auto bos = parseBos(bytes)) {
            bos_ = *bos;
            bosRead_ = true;
        }
    }

    for (uint8_t i = 0; i < deviceDescriptor_.numConfigurations; ++i) {
        if (!readFullDescriptor(static_cast<uint16_t>(0x0200 | i), 0, 9, 2, bytes))
            continue;
        if (auto config = parseConfiguration(bytes, deviceDescriptor_.isUsb3()))
            configurations_.push_back(std::move(*config));
    }

    // SuperSpeed devices give the default pipe's packet size as a power of two.
    const uint8_t mps0 = deviceDescriptor_.maxPacketSize0;
    const int packet0 = deviceDescriptor_.isUsb3() ? (mps0 < 16 ? 1 << mps0 : 512) : mps0;
    auto control = std::make_unique<CCyControlEndPoint>(connection_.get(), packet0);
    control_ = control.get();
    endpoints_.push_back(std::move(control));
    if (configurations_.empty() || configurations_.front().interfaces.empty()) {
        close();
        return false;
    }

    // The active alternate setting of the camera's interface (255 when the
    // device does not answer, in which case the first setting is used).
    const int itfNumber = connection_->interfaceNumber();
    uint8_t alt = 0xFF;
    const ControlResult r =
        connection_->control(0x81, kGetInterface, 0, static_cast<uint16_t>(itfNumber), &alt, 1, kDescriptorTimeoutMs);
    altSetting_ = (r.ok() && r.length == 1) ? alt : 255;

    const InterfaceDescriptor* chosen = nullptr;
    for (const auto& itf : configurations_.front().interfaces) {
        if (itf.number == itfNumber && itf.alternateSetting == altSetting_)
            chosen = &itf;
    }
    if (!chosen) {
        for (const auto& itf : configurations_.front().interfaces)
            if (itf.number == itfNumber && !chosen)
                chosen = &itf;
    }
    if (!chosen)
        chosen = &configurations_.front().interfaces.front();
    for (const auto& d : chosen->endpoints) {
        auto ep = makeEndpoint(connection_.get(), d);
        ep->direct = true;
        endpoints_.push_back(std::move(ep));
    }
    return true;
}

CCyUSBEndPoint* UsbDevice::endpointByAddress(uint8_t address) const
{
    for (size_t i = 1; i < endpoints_.size(); ++i)
        if (endpoints_[i]->address() == address)
            return endpoints_[i].get();
    return nullptr;
}

} // namespace usbsdk
