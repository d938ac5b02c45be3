// Firmware downloads to the three targets of the emulated camera.
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "SdkTestSupport.h"
#include "usbsdk/sdk/Protocol.h"
#include "usbsdk/transport/Firmware.h"

namespace usbsdk::testing {
namespace {

class FirmwareTest : public SdkOverEmulator {
protected:
    std::shared_ptr<emulator::EmulatedCamera> camera;
    std::string path;

    void SetUp() override
    {
        camera = bus->addCamera();
        makeSdk();
        ASSERT_EQ(sdk->init(), VEXEL_OK);
        char name[] = "/tmp/pellumo-fw-XXXXXX";
        const int fd = mkstemp(name);
        ASSERT_GE(fd, 0);
        close(fd);
        path = name;
    }
    void TearDown() override
    {
        std::remove(path.c_str());
        SdkOverEmulator::TearDown();
    }
    void writeImage(const std::vector<uint8_t>& image)
    {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    }
    int32_t download(const std::vector<uint8_t>& image, int target)
    {
        writeImage(image);
        return sdk->fwUpdate(0, path.c_str(), target);
    }
};

std::vector<uint8_t> pattern(size_t n, uint8_t seed)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(i * 31 + seed);
    return v;
}

void append32(std::vector<uint8_t>& v, uint32_t x)
{
    for (int i = 0; i < 4; ++i)
        v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}

// "CY" image: sections of [words][address][data], a zero, the entry, a checksum.
std::vector<uint8_t> ramImage(const std::vector<std::pair<uint32_t, std::vector<uint8_t>>>& sections, uint32_t entry)
{
    std::vector<uint8_t> img = {'C', 'Y', 0x1C, 0xB0};
    for (const auto& [address, data] : sections) {
        append32(img, static_cast<uint32_t>(data.size() / 4));
        append32(img, address);
        img.insert(img.end(), data.begin(), data.end());
    }
    append32(img, 0);
    append32(img, entry);
    append32(img, 0);
    return img;
}

TEST_F(FirmwareTest, RamImageIsLoadedVerifiedAndStarted)
{
    const auto code = pattern(5000, 1); // three chunks
    const auto table = pattern(64, 9);
    EXPECT_EQ(download(ramImage({{0x40003000, code}, {0x40010000, table}}, 0x40003000), 1), VEXEL_OK);
    EXPECT_EQ(camera->ram(0x40003000, code.size()), code);
    EXPECT_EQ(camera->ram(0x40010000, table.size()), table);
    EXPECT_EQ(camera->startedEntry(), 0x40003000u);
    EXPECT_EQ(camera->ramWrites(), 4);
}

TEST_F(FirmwareTest, RamReadBackMismatchIsRetriedThenFails)
{
    const auto code = pattern(1024, 2);
    camera->corruptNextReadBacks(2); // two bad checks, the third attempt passes
    EXPECT_EQ(download(ramImage({{0x1000, code}}, 0x1000), 1), VEXEL_OK);
    EXPECT_EQ(camera->ramWrites(), 3);
    camera->corruptNextReadBacks(3);
    EXPECT_EQ(download(ramImage({{0x1000, code}}, 0x1000), 1), VEXEL_E_FIRMWARE);
    EXPECT_EQ(sdk->lastFirmwareResult(), kFwTransferFailed);
}

TEST_F(FirmwareTest, RamImageErrors)
{
    auto img = ramImage({{0x1000, pattern(64, 3)}}, 0x1000);
    img[1] = 'X';
    EXPECT_EQ(download(img, 1), VEXEL_E_FIRMWARE);
    EXPECT_EQ(sdk->lastFirmwareResult(), kFwNoSignature);
    EXPECT_FALSE(camera->startedEntry());

    auto shortData = ramImage({{0x1000, pattern(64, 3)}}, 0x1000);
    shortData.resize(4 + 8 + 32); // section announces 64 bytes, 32 present
    EXPECT_EQ(download(shortData, 1), VEXEL_E_FIRMWARE);
    EXPECT_EQ(sdk->lastFirmwareResult(), kFwChunkPastEnd);

    auto noEnd = ramImage({{0x1000, pattern(64, 3)}}, 0x1000);
    noEnd.resize(4 + 8 + 64 + 2); // the terminating section header is cut
    EXPECT_EQ(download(noEnd, 1), VEXEL_E_FIRMWARE);
    EXPECT_EQ(sdk->lastFirmwareResult(), kFwSectionPastEnd);

    camera->failNextControlRequests(0xA0, 3);
    EXPECT_EQ(download(ramImage({{0x1000, pattern(64, 3)}}, 0x1000), 1), VEXEL_E_FIRMWARE);
    EXPECT_EQ(sdk->lastFirmwareResult(), kFwTransferFailed);
}

TEST_F(FirmwareTest, MissingOrEmptyFilesAndUnknownTargets)
{
    EXPECT_EQ(sdk->fwUpdate(0, "/nonexistent/image.img", 1), VEXEL_E_FIRMWARE);
    EXPECT_EQ(sdk->lastFirmwareResult(), kFwNoImage);
    EXPECT_EQ(download({}, 2), VEXEL_E_FIRMWARE);
    EXPECT_EQ(sdk->lastFirmwareResult(), kFwNoImage);
    EXPECT_EQ(download(pattern(16, 0), 4), VEXEL_E_FIRMWARE);
    EXPECT_EQ(sdk->lastFirmwareResult(), kFwBadTarget);
    EXPECT_EQ(sdk->fwUpdate(3, path.c_str(), 1), VEXEL_E_NO_SESSION); // no such camera
}

TEST_F(FirmwareTest, EepromImageIsWrittenInChunksAndPadded)
{
    auto img = pattern(5000, 4);
    img[2] = 6 << 1; // 64 KiB part
    EXPECT_EQ(download(img, 2), VEXEL_OK);
    EXPECT_EQ(camera->eeprom(0, 0, img.size()), img);
    // The last partial chunk is padded with zeros to the packet size (512).
    EXPECT_EQ(camera->eeprom(0, 5000, 120), std::vector<uint8_t>(120, 0));
    EXPECT_EQ(camera->eeprom(0, 5120, 4), std::vector<uint8_t>(4, 0xFF));
}

TEST_F(FirmwareTest, EepromImagesSpanSeveralPartsBySize)
{
    auto img = pattern(10000, 5);
    img[2] = 2 << 1; // 4 KiB parts: device selects 0, 1, 2
    EXPECT_EQ(download(img, 2), VEXEL_OK);
    EXPECT_EQ(camera->eeprom(0, 0, 4096), std::vector<uint8_t>(img.begin(), img.begin() + 4096));
    EXPECT_EQ(camera->eeprom(1, 0, 4096), std::vector<uint8_t>(img.begin() + 4096, img.begin() + 8192));
    EXPECT_EQ(camera->eeprom(2, 0, 10000 - 8192), std::vector<uint8_t>(img.begin() + 8192, img.end()));
}

TEST_F(FirmwareTest, EepromOfSizeCode7FillsBothHalvesOfEachPartInTurn)
{
    // 64 KiB blocks: select 0, then 4 (the upper half, below 128 KiB), then
    // 1 and 5 for the next part.
    constexpr size_t kBlock = 64 * 1024;
    auto img = pattern(3 * kBlock + 5000, 7);
    for (size_t i = 0; i < img.size(); ++i)
        img[i] = static_cast<uint8_t>(img[i] + i / kBlock * 101 + i / 256); // no two blocks alike
    img[2] = 7 << 1;
    EXPECT_EQ(download(img, 2), VEXEL_OK);
    const std::pair<int, size_t> blocks[] = {{0, 0}, {4, 1}, {1, 2}};
    for (const auto& [select, block] : blocks)
        EXPECT_EQ(camera->eeprom(select, 0, kBlock),
                  std::vector<uint8_t>(img.begin() + block * kBlock, img.begin() + (block + 1) * kBlock))
            << "select " << select;
    EXPECT_EQ(camera->eeprom(5, 0, 5000), std::vector<uint8_t>(img.begin() + 3 * kBlock, img.end()));
    EXPECT_EQ(camera->eeprom(5, 5000, 120), std::vector<uint8_t>(120, 0)); // padding
}

TEST_F(FirmwareTest, EepromErrors)
{
    auto img = pattern(100, 6);
    img[2] = 1 << 1;
    EXPECT_EQ(download(img, 2), VEXEL_E_FIRMWARE);
    EXPECT_EQ(sdk->lastFirmwareResult(), kFwBadEepromSize);
    img[2] = 3 << 1;
    camera->failNextControlRequests(0xBA, 1);
    EXPECT_EQ(download(img, 2), VEXEL_E_FIRMWARE);
    EXPECT_EQ(sdk->lastFirmwareResult(), kFwTransferFailed);
}

TEST_F(FirmwareTest, SpiFlashIsErasedAndProgrammedPageWise)
{
    const auto img = pattern(70000, 7); // two sectors, last page partial
    camera->setEraseBusyPolls(5);
    EXPECT_EQ(download(img, 3), VEXEL_OK);
    EXPECT_EQ(camera->spiFlash(0, img.size()), img);
    EXPECT_EQ(camera->spiFlash(img.size(), 16), std::vector<uint8_t>(16, 0xFF));
    // A second, different image only comes out right because sectors are erased first.
    const auto other = pattern(300, 99);
    EXPECT_EQ(download(other, 3), VEXEL_OK);
    EXPECT_EQ(camera->spiFlash(0, other.size()), other);
}

TEST_F(FirmwareTest, SpiFlashErrors)
{
    camera->failNextControlRequests(0xC4, 1);
    EXPECT_EQ(download(pattern(1000, 8), 3), VEXEL_E_FIRMWARE);
    EXPECT_EQ(sdk->lastFirmwareResult(), kFwEraseFailed);
    camera->setEraseBusyPolls(1000000); // never finishes erasing
    EXPECT_EQ(download(pattern(1000, 8), 3), VEXEL_E_FIRMWARE);
    EXPECT_EQ(sdk->lastFirmwareResult(), kFwEraseFailed);
    camera->setEraseBusyPolls(0);
    camera->failNextFlashWrites(1);
    EXPECT_EQ(download(pattern(1000, 8), 3), VEXEL_E_FIRMWARE);
    EXPECT_EQ(sdk->lastFirmwareResult(), kFwTransferFailed);
}

} // namespace
} // namespace usbsdk::testing
