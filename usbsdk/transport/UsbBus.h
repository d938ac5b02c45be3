#pragma once
// The seam between the SDK and a USB implementation: libusb for hardware, the
// emulator for tests and the demo mode. Everything above this interface (the
// descriptor reading, endpoints, firmware download, sessions) is shared.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace usbsdk {

enum class UsbStatus {
    Ok,
    Timeout,
    Cancelled,
    Stall,
    NoDevice,
    Overflow,
    IoError,
};

const char* usbStatusName(UsbStatus status);

// One submitted bulk transfer. Destroying a transfer that is still pending
// cancels it and returns only once the buffer is no longer in use.
class UsbTransfer {
public:
    virtual ~UsbTransfer() = default;
    // Waits up to `timeoutMs` for completion; true once completed.
    virtual bool wait(uint32_t timeoutMs) = 0;
    // Outcome; meaningful once wait() returned true.
    virtual UsbStatus status() const = 0;
    virtual int actualLength() const = 0;
};

struct ControlResult {
    UsbStatus status = UsbStatus::IoError;
    int length = 0; // bytes moved in the data stage
    bool ok() const { return status == UsbStatus::Ok; }
};

// An opened device.
class UsbConnection {
public:
    virtual ~UsbConnection() = default;
    // Control transfer; the direction comes from bit 7 of `requestType`.
    virtual ControlResult control(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index, uint8_t* data,
                                  uint16_t length, uint32_t timeoutMs) = 0;
    // Starts a bulk transfer on `endpoint` (bit 7 set: IN). The buffer must stay
    // valid until the transfer completed or was destroyed. Never null: a failed
    // submission yields a transfer that is already complete with an error.
    virtual std::unique_ptr<UsbTransfer> submitBulk(uint8_t endpoint, uint8_t* data, int length) = 0;
    // Cancels every outstanding transfer of `endpoint`; returns once they ended.
    virtual void abortPipe(uint8_t endpoint) = 0;
    // The interface number the SDK claimed for the camera's endpoints.
    virtual int interfaceNumber() const = 0;
    // A description for diagnostics (bus path or emulator name).
    virtual std::string path() const = 0;
};

struct UsbDeviceIds {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    // Where the device is plugged in: the same text the path() of a
    // connection to it gives ("usb:<bus>-<port>.<port>…"), so two cameras
    // with the same ids are told apart and a listed camera is recognised
    // once opened. Empty when the bus cannot tell.
    std::string port;
};

// Why a device could not be opened.
enum class UsbOpenError {
    None,
    NoPermission, // the user may not open the device node (the udev rule is missing)
    Busy,         // another program holds the camera's interface
    Gone,         // unplugged, or no such index
    Other,
};

// The cameras reachable on this machine, in a stable order.
class UsbBus {
public:
    virtual ~UsbBus() = default;
    virtual int deviceCount() = 0;
    // The ids of the devices deviceCount() counts, in the same order. A listing
    // must not disturb a device (no open, no claim, no driver detach), so a
    // camera the user may not open is still listed. This fallback opens each
    // device and reads its device descriptor; buses that can read descriptors
    // without opening override it.
    virtual std::vector<UsbDeviceIds> listDevices();
    // Opens device `index` of the current enumeration; null on failure.
    virtual std::unique_ptr<UsbConnection> open(int index) = 0;
    // Why the last open() failed; None after one that succeeded.
    virtual UsbOpenError lastOpenError() const { return UsbOpenError::Other; }
};

const char* usbOpenErrorText(UsbOpenError error);

} // namespace usbsdk
