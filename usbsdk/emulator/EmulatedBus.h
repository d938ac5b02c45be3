#pragma once
// A bus of emulated cameras. Unplugged cameras are not counted, as on a real bus.
#include <memory>
#include <mutex>
#include <vector>

#include "usbsdk/emulator/EmulatedCamera.h"
#include "usbsdk/transport/UsbBus.h"

namespace usbsdk::emulator {

class EmulatedBus final : public UsbBus {
public:
    std::shared_ptr<EmulatedCamera> addCamera(EmulatorConfig config = {});
    std::shared_ptr<EmulatedCamera> camera(size_t i) const;

    int deviceCount() override;
    // From the cameras' descriptors without opening them, as a real bus
    // lists from its cached descriptors.
    std::vector<UsbDeviceIds> listDevices() override;
    std::unique_ptr<UsbConnection> open(int index) override;

private:
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<EmulatedCamera>> cameras_;
};

} // namespace usbsdk::emulator
