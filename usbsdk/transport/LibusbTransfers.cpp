#include "usbsdk/transport/LibusbTransfers.h"

#include <chrono>
#include <vector>

namespace usbsdk {

const LibusbCalls& libusbCalls()
{
    static const LibusbCalls calls{
        [] { return libusb_alloc_transfer(0); },
        [](libusb_transfer* t) { return libusb_submit_transfer(t); },
        [](libusb_transfer* t) { return libusb_cancel_transfer(t); },
        [](libusb_transfer* t) { libusb_free_transfer(t); },
    };
    return calls;
}

UsbStatus usbStatusFromLibusb(int error)
{
    switch (error) {
    case LIBUSB_SUCCESS: return UsbStatus::Ok;
    case LIBUSB_ERROR_TIMEOUT: return UsbStatus::Timeout;
    case LIBUSB_ERROR_PIPE: return UsbStatus::Stall;
    case LIBUSB_ERROR_NO_DEVICE: return UsbStatus::NoDevice;
    case LIBUSB_ERROR_OVERFLOW: return UsbStatus::Overflow;
    case LIBUSB_ERROR_INTERRUPTED: return UsbStatus::Cancelled;
    default: return UsbStatus::IoError;
    }
}

UsbStatus usbStatusFromTransfer(libusb_transfer_status s)
{
    switch (s) {
    case LIBUSB_TRANSFER_COMPLETED: return UsbStatus::Ok;
    case LIBUSB_TRANSFER_TIMED_OUT: return UsbStatus::Timeout;
    case LIBUSB_TRANSFER_CANCELLED: return UsbStatus::Cancelled;
    case LIBUSB_TRANSFER_STALL: return UsbStatus::Stall;
    case LIBUSB_TRANSFER_NO_DEVICE: return UsbStatus::NoDevice;
    case LIBUSB_TRANSFER_OVERFLOW: return UsbStatus::Overflow;
    default: return UsbStatus::IoError;
    }
}

class LibusbTransfer final : public UsbTransfer {
public:
    LibusbTransfer(LibusbTransferSet& owner, uint8_t endpoint) : owner_(owner), endpoint_(endpoint) {}
    ~LibusbTransfer() override
    {
        if (transfer_) {
            cancel();
            wait(UINT32_MAX);
            // Only now, with the completion seen under mutex_, may the libusb
            // transfer go: a concurrent cancel() holds mutex_ while it uses it.
            owner_.calls_.free(transfer_);
        }
        owner_.forget(this);
    }

    void submit(libusb_device_handle* handle, uint8_t* data, int length)
    {
        libusb_transfer* t = owner_.calls_.alloc();
        if (!t) {
            fail(UsbStatus::IoError);
            return;
        }
        libusb_fill_bulk_transfer(t, handle, endpoint_, data, length, &LibusbTransfer::onComplete, this, 0);
        {
            std::lock_guard lock(mutex_);
            transfer_ = t;
        }
        const int rc = owner_.calls_.submit(t);
        if (rc != 0)
            fail(usbStatusFromLibusb(rc));
    }
    bool wait(uint32_t timeoutMs) override
    {
        std::unique_lock lock(mutex_);
        if (timeoutMs == UINT32_MAX) {
            cond_.wait(lock, [this] { return done_; });
            return true;
        }
        return cond_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return done_; });
    }
    UsbStatus status() const override
    {
        std::lock_guard lock(mutex_);
        return status_;
    }
    int actualLength() const override
    {
        std::lock_guard lock(mutex_);
        return length_;
    }
    uint8_t endpoint() const { return endpoint_; }
    bool done() const
    {
        std::lock_guard lock(mutex_);
        return done_;
    }
    // Asks libusb to cancel a transfer still in flight. The check and the
    // call are made under one lock: the completion cannot slip in between
    // and let the owner free the transfer while libusb is still handed it.
    void cancel()
    {
        std::lock_guard lock(mutex_);
        if (!done_ && transfer_)
            owner_.calls_.cancel(transfer_);
    }

    static void LIBUSB_CALL onComplete(libusb_transfer* t)
    {
        auto* self = static_cast<LibusbTransfer*>(t->user_data);
        LibusbTransferSet& owner = self->owner_;
        {
            std::lock_guard lock(self->mutex_);
            self->status_ = usbStatusFromTransfer(t->status);
            self->length_ = t->actual_length;
            self->done_ = true;
            self->cond_.notify_all();
        }
        // `self` may be destroyed from here on; the set outlives it.
        owner.completed();
    }

private:
    void fail(UsbStatus s)
    {
        std::lock_guard lock(mutex_);
        status_ = s;
        done_ = true;
        cond_.notify_all();
    }

    LibusbTransferSet& owner_;
    const uint8_t endpoint_;
    libusb_transfer* transfer_ = nullptr; // set once, before submission
    mutable std::mutex mutex_;
    std::condition_variable cond_;
    bool done_ = false;
    UsbStatus status_ = UsbStatus::IoError;
    int length_ = 0;
};

std::unique_ptr<UsbTransfer> LibusbTransferSet::submitBulk(libusb_device_handle* handle, uint8_t endpoint,
                                                           uint8_t* data, int length)
{
    auto t = std::make_unique<LibusbTransfer>(*this, endpoint);
    {
        std::lock_guard lock(mutex_);
        live_.insert(t.get());
    }
    t->submit(handle, data, length);
    return t;
}

void LibusbTransferSet::abortPipe(uint8_t endpoint)
{
    std::unique_lock lock(mutex_);
    std::vector<LibusbTransfer*> victims;
    for (auto* t : live_)
        if (t->endpoint() == endpoint)
            victims.push_back(t);
    for (auto* t : victims)
        t->cancel();
    for (auto* t : victims)
        changed_.wait(lock, [&] { return !live_.count(t) || t->done(); });
}

void LibusbTransferSet::forget(LibusbTransfer* t)
{
    std::lock_guard lock(mutex_);
    live_.erase(t);
    changed_.notify_all();
}

void LibusbTransferSet::completed()
{
    std::lock_guard lock(mutex_);
    changed_.notify_all();
}

} // namespace usbsdk
