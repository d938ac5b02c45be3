#pragma once
// A bus of emulated cameras. Unplugged cameras are not counted, as on a real bus.
// Camera i sits at port "emulated:<i>" whatever the others do, so two cameras
// with the same ids are told apart as on two USB ports.
#include <memory>
#include <mutex>
#include <set>
#include <string>
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
    UsbOpenError lastOpenError() const override;

    // Another process drives the cameras through this file, read at every
    // count, listing and open: a line "unplugged <i>" pulls camera i's plug
    // (it comes back once the line is gone), "held <i>" has another program
    // hold camera i (its opens fail as busy). Empty: no file.
    void setControlFile(std::string path);
    // Camera i is held by another program (as the control file's "held").
    void setHeld(size_t i, bool held);

private:
    // Caller holds mutex_.
    void followControlFile();

    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<EmulatedCamera>> cameras_;
    std::string controlFile_;
    std::set<size_t> unpluggedByFile_;
    std::set<size_t> heldByFile_;
    std::set<size_t> held_;
    UsbOpenError lastOpenError_ = UsbOpenError::None;
};

} // namespace usbsdk::emulator
