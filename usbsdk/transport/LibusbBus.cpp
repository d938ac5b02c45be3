#include "usbsdk/transport/LibusbBus.h"

#include <libusb-1.0/libusb.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <sstream>
#include <thread>
#include <utility>
#include <vector>

#include "platform/DebugOutput.h"
#include "usbsdk/transport/DeviceSelection.h"
#include "usbsdk/transport/LibusbTransfers.h"

namespace usbsdk {
namespace {

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
        r.status = rc < 0 ? usbStatusFromLibusb(rc) : UsbStatus::Ok;
        r.length = rc < 0 ? 0 : rc;
        return r;
    }
    std::unique_ptr<UsbTransfer> submitBulk(uint8_t endpoint, uint8_t* data, int length) override
    {
        return transfers_.submitBulk(handle_, endpoint, data, length);
    }
    void abortPipe(uint8_t endpoint) override { transfers_.abortPipe(endpoint); }
    int interfaceNumber() const override { return interface_; }
    std::string path() const override { return path_; }

private:
    std::shared_ptr<Context> context_;
    libusb_device_handle* handle_;
    int interface_;
    bool claimed_;
    std::string path_;
    LibusbTransferSet transfers_;
};

UsbOpenError openErrorOf(int rc)
{
    switch (rc) {
    case LIBUSB_SUCCESS: return UsbOpenError::None;
    case LIBUSB_ERROR_ACCESS: return UsbOpenError::NoPermission;
    case LIBUSB_ERROR_BUSY: return UsbOpenError::Busy;
    case LIBUSB_ERROR_NO_DEVICE:
    case LIBUSB_ERROR_NOT_FOUND: return UsbOpenError::Gone;
    default: return UsbOpenError::Other;
    }
}

// Said once per process: the same advice on every attempt would only repeat.
void explainNoPermission(const std::string& path)
{
    static std::atomic<bool> said{false};
    if (said.exchange(true))
        return;
    platform::DebugPrintf("sensorlink: no permission to open the USB camera at %s; install the udev rule "
                          "usbsdk/udev/70-pellumo-sensorlink.rules (see README, \"Access without root\") and "
                          "replug the camera\n",
                          path.c_str());
}

std::string pathOf(const CameraMatch& m)
{
    std::string path = "usb:" + std::to_string(m.bus);
    for (size_t i = 0; i < m.ports.size(); ++i) {
        path += i ? '.' : '-';
        path += std::to_string(m.ports[i]);
    }
    return path;
}

class LibusbBus final : public UsbBus {
public:
    explicit LibusbBus(std::shared_ptr<Context> context) : context_(std::move(context)) {}

    int deviceCount() override { return static_cast<int>(scan().size()); }

    std::vector<UsbDeviceIds> listDevices() override
    {
        // Descriptors come from libusb's cached copy (sysfs on Linux): nothing
        // is opened, claimed or detached, and no access rights are needed.
        std::vector<UsbDeviceIds> ids;
        libusb_device** list = nullptr;
        const ssize_t n = libusb_get_device_list(context_->get(), &list);
        if (n < 0)
            return ids;
        for (const CameraMatch& m : matches(list, n)) {
            libusb_device_descriptor dd{};
            UsbDeviceIds id;
            if (libusb_get_device_descriptor(m.device, &dd) == 0) {
                id.vendorId = dd.idVendor;
                id.productId = dd.idProduct;
            }
            id.port = pathOf(m);
            ids.push_back(id);
        }
        libusb_free_device_list(list, 1);
        return ids;
    }

    std::unique_ptr<UsbConnection> open(int index) override
    {
        libusb_device** list = nullptr;
        const ssize_t n = libusb_get_device_list(context_->get(), &list);
        if (n < 0) {
            lastOpenError_ = UsbOpenError::Other;
            return nullptr;
        }
        std::unique_ptr<UsbConnection> result;
        UsbOpenError error = UsbOpenError::Gone;
        auto cams = matches(list, n);
        if (index >= 0 && static_cast<size_t>(index) < cams.size()) {
            const CameraMatch& m = cams[static_cast<size_t>(index)];
            const std::string path = pathOf(m);
            libusb_device_handle* handle = nullptr;
            const int rc = libusb_open(m.device, &handle);
            if (rc != 0) {
                error = openErrorOf(rc);
                platform::DebugPrintf("libusb_open %s: %s\n", path.c_str(), libusb_error_name(rc));
                if (error == UsbOpenError::NoPermission)
                    explainNoPermission(path);
            } else {
                libusb_set_auto_detach_kernel_driver(handle, 1);
                // A camera another program holds (the claim answers busy) is
                // not opened: its stream would never come. Only a controller
                // without the camera interface (waiting for its firmware) is
                // opened unclaimed; endpoint 0 needs no claim.
                const int claim = libusb_claim_interface(handle, m.interfaceNumber);
                if (claim != 0)
                    platform::DebugPrintf("libusb_claim_interface %s: %s\n", path.c_str(), libusb_error_name(claim));
                if (claim != 0 && claim != LIBUSB_ERROR_NOT_FOUND) {
                    error = openErrorOf(claim);
                    libusb_close(handle);
                } else {
                    error = UsbOpenError::None;
                    result = std::make_unique<LibusbConnection>(context_, handle, m.interfaceNumber, claim == 0, path);
                }
            }
        }
        libusb_free_device_list(list, 1);
        lastOpenError_ = error;
        return result;
    }

    UsbOpenError lastOpenError() const override { return lastOpenError_; }

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
    std::atomic<UsbOpenError> lastOpenError_{UsbOpenError::None};
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
