#include "usbsdk/transport/LibusbBus.h"

#include <libusb-1.0/libusb.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <thread>
#include <utility>
#include <vector>

#include "platform/DebugOutput.h"
#include "usbsdk/transport/DeviceSelection.h"

namespace usbsdk {
namespace {

UsbStatus fromLibusb(int error)
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

UsbStatus fromTransferStatus(libusb_transfer_status s)
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

// The libusb context and the thread that runs its event loop, shared by the
// bus and every connection opened from it.
class Context {
public:
    Context() = default;
    ~Context()
    {
        stop_ = true;
        if (thread_.joinable()) {
            libusb_interrupt_event_handler(ctx_);
            thread_.join();
        }
        if (ctx_)
            libusb_exit(ctx_);
    }
    bool init()
    {
        if (libusb_init(&ctx_) != 0) {
            ctx_ = nullptr;
            return false;
        }
        thread_ = std::thread([this] {
            while (!stop_) {
                timeval tv{0, 100000};
                libusb_handle_events_timeout_completed(ctx_, &tv, nullptr);
            }
        });
        return true;
    }
    libusb_context* get() const { return ctx_; }

private:
    libusb_context* ctx_ = nullptr;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

struct CameraMatch {
    libusb_device* device;
    int interfaceNumber;
    uint8_t bus;
    std::vector<uint8_t> ports;
};

UsbIdList allowedIds()
{
    const char* env = std::getenv("SENSORLINK_USB_IDS");
    return env ? parseUsbIdList(env) : UsbIdList{};
}

// The active configuration in our own descriptor form, so the selection rule
// is the tested one; nullopt when it cannot be read.
std::optional<ConfigurationDescriptor> activeConfiguration(libusb_device* device)
{
    libusb_config_descriptor* config = nullptr;
    if (libusb_get_active_config_descriptor(device, &config) != 0)
        return std::nullopt;
    ConfigurationDescriptor ours;
    for (int i = 0; i < config->bNumInterfaces; ++i) {
        const libusb_interface& itf = config->interface[i];
        for (int a = 0; a < itf.num_altsetting; ++a) {
            const libusb_interface_descriptor& alt = itf.altsetting[a];
            InterfaceDescriptor d;
            d.number = alt.bInterfaceNumber;
            d.alternateSetting = alt.bAlternateSetting;
            d.numEndpoints = alt.bNumEndpoints;
            for (int e = 0; e < alt.bNumEndpoints; ++e) {
                EndpointDescriptor ep;
                ep.address = alt.endpoint[e].bEndpointAddress;
                ep.attributes = alt.endpoint[e].bmAttributes;
                ep.wMaxPacketSize = alt.endpoint[e].wMaxPacketSize;
                d.endpoints.push_back(ep);
            }
            ours.interfaces.push_back(std::move(d));
        }
    }
    libusb_free_config_descriptor(config);
    return ours;
}

class LibusbConnection;

class LibusbTransfer final : public UsbTransfer {
public:
    LibusbTransfer(LibusbConnection* owner, uint8_t endpoint) : owner_(owner), endpoint_(endpoint) {}
    ~LibusbTransfer() override;

    bool submit(libusb_device_handle* handle, uint8_t* data, int length)
    {
        transfer_ = libusb_alloc_transfer(0);
        if (!transfer_)
            return fail(UsbStatus::IoError);
        libusb_fill_bulk_transfer(transfer_, handle, endpoint_, data, length, &LibusbTransfer::onComplete, this, 0);
        const int rc = libusb_submit_transfer(transfer_);
        if (rc != 0)
            return fail(fromLibusb(rc));
        return true;
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
    void cancel()
    {
        std::unique_lock lock(mutex_);
        if (done_ || !transfer_)
            return;
        lock.unlock();
        libusb_cancel_transfer(transfer_);
    }

private:
    bool fail(UsbStatus s)
    {
        std::lock_guard lock(mutex_);
        status_ = s;
        done_ = true;
        return false;
    }
    static void LIBUSB_CALL onComplete(libusb_transfer* t);

    LibusbConnection* owner_;
    uint8_t endpoint_;
    libusb_transfer* transfer_ = nullptr;
    mutable std::mutex mutex_;
    std::condition_variable cond_;
    bool done_ = false;
    UsbStatus status_ = UsbStatus::IoError;
    int length_ = 0;
};

class LibusbConnection final : public UsbConnection {
public:
    LibusbConnection(std::shared_ptr<Context> context, libusb_device_handle* handle, int interfaceNumber, bool claimed,
                     std::string path)
        : context_(std::move(context)), handle_(handle), interface_(interfaceNumber), claimed_(claimed),
          path_(std::move(path))
    {
    }
    ~LibusbConnection() override
    {
        if (claimed_)
            libusb_release_interface(handle_, interface_);
        libusb_close(handle_);
    }
    ControlResult control(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index, uint8_t* data,
                          uint16_t length, uint32_t timeoutMs) override
    {
        uint8_t dummy = 0;
        const int rc = libusb_control_transfer(handle_, requestType, request, value, index, data ? data : &dummy,
                                               length, timeoutMs);
        ControlResult r;
        r.status = rc < 0 ? fromLibusb(rc) : UsbStatus::Ok;
        r.length = rc < 0 ? 0 : rc;
        return r;
    }
    std::unique_ptr<UsbTransfer> submitBulk(uint8_t endpoint, uint8_t* data, int length) override
    {
        auto t = std::make_unique<LibusbTransfer>(this, endpoint);
        {
            std::lock_guard lock(mutex_);
            live_.insert(t.get());
        }
        t->submit(handle_, data, length);
        return t;
    }
    void abortPipe(uint8_t endpoint) override
    {
        // A transfer stays alive while it is in live_ (its destructor leaves
        // through forget()), so it can be inspected under mutex_.
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
    int interfaceNumber() const override { return interface_; }
    std::string path() const override { return path_; }

    void forget(LibusbTransfer* t)
    {
        std::lock_guard lock(mutex_);
        live_.erase(t);
        changed_.notify_all();
    }
    void completed()
    {
        std::lock_guard lock(mutex_);
        changed_.notify_all();
    }

private:
    std::shared_ptr<Context> context_;
    libusb_device_handle* handle_;
    int interface_;
    bool claimed_;
    std::string path_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::set<LibusbTransfer*> live_;
};

void LIBUSB_CALL LibusbTransfer::onComplete(libusb_transfer* t)
{
    auto* self = static_cast<LibusbTransfer*>(t->user_data);
    LibusbConnection* owner = self->owner_;
    {
        std::lock_guard lock(self->mutex_);
        self->status_ = fromTransferStatus(t->status);
        self->length_ = t->actual_length;
        self->done_ = true;
        self->cond_.notify_all();
    }
    owner->completed();
}

LibusbTransfer::~LibusbTransfer()
{
    if (transfer_) {
        cancel();
        wait(UINT32_MAX);
        libusb_free_transfer(transfer_);
    }
    owner_->forget(this);
}

class LibusbBus final : public UsbBus {
public:
    explicit LibusbBus(std::shared_ptr<Context> context) : context_(std::move(context)) {}

    int deviceCount() override { return static_cast<int>(scan().size()); }

    std::unique_ptr<UsbConnection> open(int index) override
    {
        libusb_device** list = nullptr;
        const ssize_t n = libusb_get_device_list(context_->get(), &list);
        if (n < 0)
            return nullptr;
        std::unique_ptr<UsbConnection> result;
        auto cams = matches(list, n);
        if (index >= 0 && static_cast<size_t>(index) < cams.size()) {
            const CameraMatch& m = cams[static_cast<size_t>(index)];
            libusb_device_handle* handle = nullptr;
            const int rc = libusb_open(m.device, &handle);
            if (rc != 0) {
                platform::DebugPrintf("libusb_open: %s\n", libusb_error_name(rc));
            } else {
                libusb_set_auto_detach_kernel_driver(handle, 1);
                // A camera already streaming to another session is still opened,
                // unclaimed: its descriptors can be read (search), its bulk
                // transfers fail.
                const int claim = libusb_claim_interface(handle, m.interfaceNumber);
                if (claim != 0)
                    platform::DebugPrintf("libusb_claim_interface: %s\n", libusb_error_name(claim));
                if (claim != 0 && claim != LIBUSB_ERROR_BUSY && claim != LIBUSB_ERROR_NOT_FOUND) {
                    libusb_close(handle);
                } else {
                    std::string path = "usb:" + std::to_string(m.bus);
                    for (size_t i = 0; i < m.ports.size(); ++i) {
                        path += i ? '.' : '-';
                        path += std::to_string(m.ports[i]);
                    }
                    result = std::make_unique<LibusbConnection>(context_, handle, m.interfaceNumber, claim == 0, path);
                }
            }
        }
        libusb_free_device_list(list, 1);
        return result;
    }

private:
    std::vector<CameraMatch> matches(libusb_device** list, ssize_t n)
    {
        const auto ids = allowedIds();
        std::vector<CameraMatch> cams;
        for (ssize_t i = 0; i < n; ++i) {
            libusb_device_descriptor dd{};
            if (libusb_get_device_descriptor(list[i], &dd) != 0)
                continue;
            const auto config = activeConfiguration(list[i]);
            if (!countsAsCamera(config ? &*config : nullptr, dd.idVendor, dd.idProduct, ids))
                continue;
            // Without the camera interface (a listed controller waiting for
            // firmware) interface 0 is claimed; endpoint 0 needs no claim anyway.
            const int itf = config ? cameraInterfaceNumber(*config).value_or(0) : 0;
            CameraMatch m{list[i], itf, libusb_get_bus_number(list[i]), std::vector<uint8_t>(8)};
            const int ports = libusb_get_port_numbers(list[i], m.ports.data(), static_cast<int>(m.ports.size()));
            m.ports.resize(ports > 0 ? static_cast<size_t>(ports) : 0);
            cams.push_back(std::move(m));
        }
        std::sort(cams.begin(), cams.end(), [](const CameraMatch& a, const CameraMatch& b) {
            return std::tie(a.bus, a.ports) < std::tie(b.bus, b.ports);
        });
        if (cams.size() > 255)
            cams.resize(255);
        return cams;
    }
    std::vector<CameraMatch> scan()
    {
        libusb_device** list = nullptr;
        const ssize_t n = libusb_get_device_list(context_->get(), &list);
        if (n < 0)
            return {};
        auto cams = matches(list, n);
        libusb_free_device_list(list, 1);
        return cams;
    }

    std::shared_ptr<Context> context_;
};

} // namespace

std::shared_ptr<UsbBus> makeLibusbBus()
{
    auto context = std::make_shared<Context>();
    if (!context->init())
        return nullptr;
    return std::make_shared<LibusbBus>(std::move(context));
}

} // namespace usbsdk
