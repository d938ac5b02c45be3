#pragma once
// The bulk transfers of one libusb device handle: submission, completion,
// cancellation and the pipe abort. The libusb calls go through LibusbCalls so
// a test can complete transfers from its own threads while another thread
// aborts the pipe.
#include <libusb-1.0/libusb.h>

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>

#include "usbsdk/transport/UsbBus.h"

namespace usbsdk {

struct LibusbCalls {
    libusb_transfer* (*alloc)();
    int (*submit)(libusb_transfer* transfer);
    int (*cancel)(libusb_transfer* transfer);
    void (*free)(libusb_transfer* transfer);
};

const LibusbCalls& libusbCalls();

UsbStatus usbStatusFromLibusb(int error);
UsbStatus usbStatusFromTransfer(libusb_transfer_status status);

class LibusbTransfer;

class LibusbTransferSet {
public:
    explicit LibusbTransferSet(const LibusbCalls& calls = libusbCalls()) : calls_(calls) {}
    // Every transfer must have been destroyed first.
    ~LibusbTransferSet() = default;
    LibusbTransferSet(const LibusbTransferSet&) = delete;
    LibusbTransferSet& operator=(const LibusbTransferSet&) = delete;

    std::unique_ptr<UsbTransfer> submitBulk(libusb_device_handle* handle, uint8_t endpoint, uint8_t* data, int length);
    // Cancels the outstanding transfers of `endpoint`; returns once each has
    // completed or been destroyed.
    void abortPipe(uint8_t endpoint);

private:
    friend class LibusbTransfer;
    void forget(LibusbTransfer* transfer);
    void completed();

    const LibusbCalls& calls_;
    std::mutex mutex_;
    std::condition_variable changed_;
    // A transfer stays alive while it is listed here: its destructor leaves
    // through forget(), which needs mutex_.
    std::set<LibusbTransfer*> live_;
};

} // namespace usbsdk
