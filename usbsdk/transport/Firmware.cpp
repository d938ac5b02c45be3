// Firmware download into the camera's USB controller over vendor requests on
// endpoint 0: RAM (0xA0), I2C EEPROM (0xBA/0xBB) and SPI flash (0xC2/0xC4/0xD1/0xD2).
#include "usbsdk/transport/Firmware.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/DebugOutput.h"
#include "usbsdk/transport/UsbDevice.h"

namespace usbsdk {
namespace {

constexpr size_t kChunk = 2048;
constexpr int kRamAttempts = 3;
constexpr int kEraseBusyPolls = 10000;

uint32_t le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }

// One vendor request on the control endpoint; true when the whole data stage moved.
bool vendorRequest(CCyControlEndPoint& ep, bool in, uint8_t request, uint16_t value, uint16_t index, uint8_t* data,
                   int length)
{
    ep.target = CCyControlEndPoint::TgtDevice;
    ep.reqType = CCyControlEndPoint::ReqVendor;
    ep.direction = in ? CCyControlEndPoint::DirFromDevice : CCyControlEndPoint::DirToDevice;
    ep.reqCode = request;
    ep.value = value;
    ep.index = index;
    int len = length;
    return ep.transfer(data, len) && len == length;
}

int downloadRam(CCyControlEndPoint& ep, const uint8_t* image, size_t length)
{
    if (length < 2 || image[0] != 'C' || image[1] != 'Y')
        return kFwNoSignature;
    size_t pos = 4;
    uint32_t checksum = 0; // accumulated as the image format defines it; the controller checks it
    std::vector<uint8_t> readBack(kChunk);
    for (;;) {
        if (pos + 4 > length)
            return kFwSectionPastEnd;
        const uint32_t words = le32(image + pos);
        pos += 4;
        if (words == 0)
            break;
        if (pos + 4 > length)
            return kFwSectionPastEnd;
        uint32_t address = le32(image + pos);
        pos += 4;
        size_t remaining = static_cast<size_t>(words) * 4;
        if (remaining > length - pos)
            return kFwChunkPastEnd;
        for (size_t i = 0; i < remaining; i += 4)
            checksum += le32(image + pos + i);
        while (remaining > 0) {
            const size_t n = std::min(remaining, kChunk);
            uint8_t* chunk = const_cast<uint8_t*>(image + pos); // OUT stage only reads it
            bool good = false;
            for (int attempt = 0; attempt < kRamAttempts && !good; ++attempt) {
                std::fill(readBack.begin(), readBack.end(), 0);
                good = vendorRequest(ep, false, 0xA0, address & 0xFFFF, address >> 16, chunk, static_cast<int>(n)) &&
                       vendorRequest(ep, true, 0xA0, address & 0xFFFF, address >> 16, readBack.data(),
                                     static_cast<int>(n)) &&
                       std::memcmp(readBack.data(), chunk, n) == 0;
            }
            if (!good) {
                platform::DebugPrintf("firmware: RAM chunk at 0x%08X failed\n", address);
                return kFwTransferFailed;
            }
            pos += n;
            address += static_cast<uint32_t>(n);
            remaining -= n;
        }
    }
    if (pos + 4 > length)
        return kFwSectionPastEnd;
    const uint32_t entry = le32(image + pos);
    (void)checksum;
    if (!vendorRequest(ep, false, 0xA0, entry & 0xFFFF, entry >> 16, nullptr, 0))
        return kFwTransferFailed;
    return kFwOk;
}

int downloadEeprom(CCyControlEndPoint& ep, const uint8_t* image, size_t length)
{
    if (length < 3)
        return kFwBadEepromSize;
    const int sizeCode = (image[2] >> 1) & 7;
    size_t deviceSize = 0;
    switch (sizeCode) {
    case 2: deviceSize = 4 * 1024; break;
    case 3: deviceSize = 8 * 1024; break;
    case 4: deviceSize = 16 * 1024; break;
    case 5: deviceSize = 32 * 1024; break;
    case 6:
    case 7: deviceSize = 64 * 1024; break;
    default: return kFwBadEepromSize;
    }
    // Size code 7 is a 128 KiB part seen as two 64 KiB halves: the upper half
    // is its select + 4 (the block bit). So 64 KiB blocks go to selects 0, 4
    // (still below 128 KiB), then 1, 5, 2, 6, 3, 7; other sizes count up.
    auto selectOf = [sizeCode](size_t block) {
        if (sizeCode == 7)
            return static_cast<uint16_t>(((block / 2) & 3) | ((block & 1) << 2));
        return static_cast<uint16_t>(block & 7);
    };
    const int packet = std::max(1, ep.maxPacketSize());
    std::vector<uint8_t> chunk;
    for (size_t pos = 0; pos < length;) {
        const uint16_t select = selectOf(pos / deviceSize);
        const size_t inDevice = pos % deviceSize;
        size_t n = std::min({kChunk, length - pos, deviceSize - inDevice});
        chunk.assign(image + pos, image + pos + n);
        const bool last = pos + n >= length;
        if (last && n % static_cast<size_t>(packet) != 0)
            chunk.resize((n / packet + 1) * packet, 0);
        if (!vendorRequest(ep, false, 0xBA, select, static_cast<uint16_t>(inDevice), chunk.data(),
                           static_cast<int>(chunk.size()))) {
            platform::DebugPrintf("firmware: EEPROM chunk at %zu failed\n", pos);
            return kFwTransferFailed;
        }
        pos += n;
    }
    uint8_t status = 0;
    if (!vendorRequest(ep, true, 0xBB, 0, 0, &status, 1))
        return kFwTransferFailed;
    return kFwOk;
}

int downloadSpi(CCyControlEndPoint& ep, const uint8_t* image, size_t length)
{
    constexpr size_t kPage = 256, kSector = 64 * 1024;
    const size_t padded = (length + kPage - 1) / kPage * kPage;
    std::vector<uint8_t> data(image, image + length);
    data.resize(padded, 0xFF);
    if (!vendorRequest(ep, false, 0xD2, 0, 0, nullptr, 0))
        return kFwTransferFailed;
    for (size_t sector = 0; sector * kSector < padded; ++sector) {
        if (!vendorRequest(ep, false, 0xC4, 1, static_cast<uint16_t>(sector), nullptr, 0))
            return kFwEraseFailed;
        int polls = 0;
        for (;;) {
            uint8_t busy = 1;
            if (!vendorRequest(ep, true, 0xC4, 0, static_cast<uint16_t>(sector), &busy, 1))
                return kFwEraseFailed;
            if (busy == 0)
                break;
            if (++polls >= kEraseBusyPolls)
                return kFwEraseFailed;
        }
    }
    for (size_t pos = 0; pos < padded; pos += kChunk) {
        const size_t n = std::min(kChunk, padded - pos);
        uint8_t status[4] = {0xFF, 0xFF, 0xFF, 0xFF};
        if (!vendorRequest(ep, false, 0xC2, 0, static_cast<uint16_t>(pos / kPage), data.data() + pos,
                           static_cast<int>(n)) ||
            !vendorRequest(ep, true, 0xD1, 0, 0, status, 4) || le32(status) != 0) {
            platform::DebugPrintf("firmware: SPI flash page %zu failed\n", pos / kPage);
            return kFwTransferFailed;
        }
    }
    return kFwOk;
}

} // namespace

const char* firmwareResultName(int result)
{
    switch (result) {
    case kFwOk: return "success";
    case kFwTransferFailed: return "transfer or verification failed";
    case kFwBadTarget: return "unknown target";
    case kFwNoSignature: return "image lacks the \"CY\" signature";
    case kFwSectionPastEnd: return "section header past the end of the image";
    case kFwNoImage: return "image file missing or empty";
    case kFwEraseFailed: return "flash erase failed";
    case kFwChunkPastEnd: return "section data past the end of the image";
    case kFwBadEepromSize: return "unknown EEPROM size code";
    default: return "unknown result";
    }
}

int UsbDevice::downloadFirmware(const uint8_t* image, size_t length, int target)
{
    if (!image || length == 0)
        return kFwNoImage;
    if (!control_)
        return kFwTransferFailed;
    const uint32_t savedTimeout = control_->timeOut;
    int result = kFwBadTarget;
    switch (target) {
    case 1: result = downloadRam(*control_, image, length); break;
    case 2: result = downloadEeprom(*control_, image, length); break;
    case 3: result = downloadSpi(*control_, image, length); break;
    default: break;
    }
    control_->timeOut = savedTimeout;
    return result;
}

} // namespace usbsdk
