// Downloads arbitrary firmware image files to an emulated camera: the image
// is a file the user picks, so its section lengths, addresses and size codes
// are untrusted. The first byte picks the target (RAM, I2C EEPROM, SPI flash).
#include <cstddef>
#include <cstdint>
#include <memory>

#include "usbsdk/emulator/EmulatedBus.h"
#include "usbsdk/transport/Firmware.h"
#include "usbsdk/transport/UsbDevice.h"

using namespace usbsdk;

namespace {
void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

struct Rig {
    std::shared_ptr<emulator::EmulatedBus> bus = std::make_shared<emulator::EmulatedBus>();
    std::shared_ptr<emulator::EmulatedCamera> camera = bus->addCamera();
    UsbDevice device{bus};
    Rig() { check(device.open(0)); }
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Rig rig;
    if (size < 1)
        return 0;
    const int target = 1 + data[0] % 3;
    const int result = rig.device.downloadFirmware(data + 1, size - 1, target);
    check(result >= kFwOk && result <= kFwBadEepromSize);
    return 0;
}
