// Feeds arbitrary bytes to every USB descriptor parser and to the camera
// selection rule: what a device answers (or a device posing as a camera) and
// the SENSORLINK_USB_IDS text are untrusted.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "usbsdk/transport/Descriptors.h"
#include "usbsdk/transport/DeviceSelection.h"

using namespace usbsdk;

namespace {
void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
    parseDeviceDescriptor(bytes);
    for (bool superSpeed : {false, true}) {
        if (auto config = parseConfiguration(bytes, superSpeed)) {
            check(config->interfaces.size() <= ConfigurationDescriptor::kMaxInterfaces);
            const UsbIdList none;
            countsAsCamera(&*config, 0x1209, 0x5ec5, none);
            if (auto number = cameraInterfaceNumber(*config))
                check(*number >= 0 && *number <= 255);
        }
    }
    parseBos(bytes);
    chooseLanguage(parseLanguages(bytes));
    if (auto text = parseString(bytes))
        check(text->size() <= 3 * size); // UTF-8 of at most size / 2 UTF-16 units
    const UsbIdList ids = parseUsbIdList(std::string(reinterpret_cast<const char*>(data), size));
    idAllowed(ids, 0x1209, 0x5ec5);
    return 0;
}
