#include "usbsdk/transport/Descriptors.h"

#include <algorithm>

namespace usbsdk {
namespace {

uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }

void appendUtf8(std::string& out, uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

} // namespace

int EndpointDescriptor::maxPacketSize() const
{
    int size = (wMaxPacketSize & 0x7FF) * (((wMaxPacketSize >> 11) & 3) + 1);
    if (companion) {
        size *= companion->maxBurst + 1;
        if (transferType() == 1)
            size *= (companion->attributes & 3) + 1;
    }
    return size;
}

std::optional<DeviceDescriptor> parseDeviceDescriptor(std::span<const uint8_t> b)
{
    if (b.size() < 18 || b[0] < 18 || b[1] != kDescDevice)
        return std::nullopt;
    DeviceDescriptor d;
    d.bcdUSB = le16(&b[2]);
    d.deviceClass = b[4];
    d.deviceSubClass = b[5];
    d.deviceProtocol = b[6];
    d.maxPacketSize0 = b[7];
    d.vendorId = le16(&b[8]);
    d.productId = le16(&b[10]);
    d.bcdDevice = le16(&b[12]);
    d.manufacturerIndex = b[14];
    d.productIndex = b[15];
    d.serialIndex = b[16];
    d.numConfigurations = b[17];
    return d;
}

std::optional<ConfigurationDescriptor> parseConfiguration(std::span<const uint8_t> b, bool superSpeed)
{
    if (b.size() < 9 || b[0] < 9 || b[1] != kDescConfiguration)
        return std::nullopt;
    ConfigurationDescriptor c;
    c.totalLength = le16(&b[2]);
    c.numInterfaces = b[4];
    c.value = b[5];
    c.attributes = b[7];
    c.maxPower = b[8];
    const size_t end = std::min<size_t>(b.size(), c.totalLength);
    size_t pos = b[0];
    // Each descriptor is [bLength][bDescriptorType]...; a length below 2 or
    // past the end stops the walk instead of looping or overrunning.
    auto next = [&](size_t at) -> std::optional<std::span<const uint8_t>> {
        if (at + 2 > end || b[at] < 2 || at + b[at] > end)
            return std::nullopt;
        return b.subspan(at, b[at]);
    };
    while (auto d = next(pos)) {
        pos += d->size();
        if ((*d)[1] != kDescInterface || d->size() < 9)
            continue;
        if (c.interfaces.size() >= ConfigurationDescriptor::kMaxInterfaces)
            break;
        InterfaceDescriptor itf;
        itf.number = (*d)[2];
        itf.alternateSetting = (*d)[3];
        itf.numEndpoints = (*d)[4];
        itf.interfaceClass = (*d)[5];
        itf.interfaceSubClass = (*d)[6];
        itf.interfaceProtocol = (*d)[7];
        while (itf.endpoints.size() < itf.numEndpoints) {
            auto e = next(pos);
            if (!e)
                break;
            if ((*e)[1] == kDescInterface)
                break; // fewer endpoints than announced
            pos += e->size();
            if ((*e)[1] != kDescEndpoint || e->size() < 7)
                continue;
            EndpointDescriptor ep;
            ep.length = (*e)[0];
            ep.type = (*e)[1];
            ep.address = (*e)[2];
            ep.attributes = (*e)[3];
            ep.wMaxPacketSize = le16(&(*e)[4]);
            ep.interval = (*e)[6];
            if (superSpeed) {
                if (auto comp = next(pos); comp && (*comp)[1] == kDescSuperSpeedCompanion && comp->size() >= 6) {
                    pos += comp->size();
                    ep.companion = SuperSpeedCompanion{(*comp)[2], (*comp)[3], le16(&(*comp)[4])};
                }
            }
            itf.endpoints.push_back(ep);
        }
        c.interfaces.push_back(std::move(itf));
    }
    return c;
}

std::optional<BosDescriptor> parseBos(std::span<const uint8_t> b)
{
    if (b.size() < 5 || b[0] < 5 || b[1] != kDescBos)
        return std::nullopt;
    BosDescriptor bos;
    const size_t end = std::min<size_t>(b.size(), le16(&b[2]));
    size_t pos = b[0];
    while (pos + 3 <= end && b[pos] >= 3 && pos + b[pos] <= end) {
        const uint8_t* d = &b[pos];
        const uint8_t len = d[0];
        if (d[1] == kDescDeviceCapability) {
            switch (d[2]) {
            case 2:
                if (len >= 7) {
                    bos.hasUsb2Extension = true;
                    bos.usb2Attributes = le32(&d[3]);
                }
                break;
            case 3:
                if (len >= 10) {
                    bos.hasSuperSpeed = true;
                    bos.superSpeedSpeeds = le16(&d[4]);
                }
                break;
            case 4:
                if (len >= 20) {
                    bos.hasContainerId = true;
                    std::copy(d + 4, d + 20, bos.containerId);
                }
                break;
            default: break;
            }
        }
        pos += len;
    }
    return bos;
}

std::vector<uint16_t> parseLanguages(std::span<const uint8_t> b)
{
    std::vector<uint16_t> langs;
    if (b.size() < 2 || b[1] != kDescString)
        return langs;
    const size_t end = std::min<size_t>(b.size(), b[0]);
    for (size_t i = 2; i + 1 < end; i += 2)
        langs.push_back(le16(&b[i]));
    return langs;
}

uint16_t chooseLanguage(const std::vector<uint16_t>& languages)
{
    if (languages.empty())
        return 0;
    if (std::find(languages.begin(), languages.end(), 0x0409) != languages.end())
        return 0x0409;
    return languages.front();
}

std::optional<std::string> parseString(std::span<const uint8_t> b)
{
    if (b.size() < 3 || b[0] <= 2 || b[1] != kDescString)
        return std::nullopt;
    const size_t end = std::min<size_t>(b.size(), b[0]);
    std::string out;
    for (size_t i = 2; i + 1 < end; i += 2) {
        uint32_t cp = le16(&b[i]);
        if (cp >= 0xD800 && cp < 0xDC00 && i + 3 < end) {
            const uint32_t lo = le16(&b[i + 2]);
            if (lo >= 0xDC00 && lo < 0xE000) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                i += 2;
            }
        }
        if (cp == 0)
            break;
        appendUtf8(out, cp);
    }
    return out;
}

} // namespace usbsdk
