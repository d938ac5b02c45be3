#include "usbsdk/transport/UsbEndpoints.h"

namespace usbsdk {
namespace {

// A transfer that never reached the bus.
class FailedTransfer final : public UsbTransfer {
public:
    explicit FailedTransfer(UsbStatus status) : status_(status) {}
    bool wait(uint32_t) override { return true; }
    UsbStatus status() const override { return status_; }
    int actualLength() const override { return 0; }

private:
    UsbStatus status_;
};

} // namespace

const char* usbStatusName(UsbStatus status)
{
    switch (status) {
    case UsbStatus::Ok: return "ok";
    case UsbStatus::Timeout: return "timeout";
    case UsbStatus::Cancelled: return "cancelled";
    case UsbStatus::Stall: return "stall";
    case UsbStatus::NoDevice: return "no device";
    case UsbStatus::Overflow: return "overflow";
    case UsbStatus::IoError: return "i/o error";
    }
    return "?";
}

CCyUSBEndPoint::CCyUSBEndPoint(UsbConnection* connection, const EndpointDescriptor& descriptor)
    : connection_(connection), descriptor_(descriptor), maxPacketSize_(descriptor.maxPacketSize())
{
}

TransferContext CCyUSBEndPoint::beginTransfer(uint8_t* buffer, int length)
{
    if (!connection_)
        return std::make_unique<FailedTransfer>(UsbStatus::NoDevice);
    return connection_->submitBulk(descriptor_.address, buffer, length);
}

bool CCyUSBEndPoint::waitForTransfer(TransferContext& context, uint32_t timeoutMs)
{
    return context && context->wait(timeoutMs);
}

bool CCyUSBEndPoint::finishTransfer(TransferContext& context, int& length)
{
    length = 0;
    if (!context)
        return false;
    if (!context->wait(0)) {
        // Still pending: this request is given up, its buffer released safely.
        usbStatus = UsbStatus::Cancelled;
        context.reset();
        bytesTransferred = 0;
        return false;
    }
    usbStatus = context->status();
    length = context->actualLength();
    bytesTransferred = length;
    context.reset();
    return usbStatus == UsbStatus::Ok;
}

bool CCyUSBEndPoint::transfer(uint8_t* buffer, int& length)
{
    TransferContext context = beginTransfer(buffer, length);
    bool waited = waitForTransfer(context, timeOut);
    if (!waited) {
        abort();
        waited = waitForTransfer(context, 50);
        if (!waited) {
            abort();
            waited = waitForTransfer(context, UINT32_MAX);
        }
        // An aborted request never counts as success.
        int ignored = 0;
        finishTransfer(context, ignored);
        length = 0;
        return false;
    }
    return finishTransfer(context, length);
}

void CCyUSBEndPoint::abort()
{
    if (connection_)
        connection_->abortPipe(descriptor_.address);
}

int CCyUSBEndPoint::setTransferSize(int bytes)
{
    const int packet = maxPacketSize_ > 0 ? maxPacketSize_ : 1;
    transferSize_ = (bytes + packet - 1) / packet * packet;
    return transferSize_;
}

TransferContext CCyIsocEndPoint::beginTransfer(uint8_t*, int)
{
    return std::make_unique<FailedTransfer>(UsbStatus::IoError);
}

namespace {
EndpointDescriptor controlDescriptor(int maxPacketSize0)
{
    EndpointDescriptor d;
    d.length = 7;
    d.type = kDescEndpoint;
    d.address = 0;
    d.attributes = 0;
    d.wMaxPacketSize = static_cast<uint16_t>(maxPacketSize0);
    return d;
}
} // namespace

CCyControlEndPoint::CCyControlEndPoint(UsbConnection* connection, int maxPacketSize0)
    : CCyUSBEndPoint(connection, controlDescriptor(maxPacketSize0))
{
}

uint8_t CCyControlEndPoint::requestTypeByte() const
{
    return static_cast<uint8_t>((direction << 7) | ((reqType << 5) & 0x60) | (target & 0x1F));
}

TransferContext CCyControlEndPoint::beginTransfer(uint8_t* buffer, int length)
{
    // Control transfers are synchronous on every transport; the context
    // carries the finished result.
    class Done final : public UsbTransfer {
    public:
        explicit Done(ControlResult r) : r_(r) {}
        bool wait(uint32_t) override { return true; }
        UsbStatus status() const override { return r_.status; }
        int actualLength() const override { return r_.length; }

    private:
        ControlResult r_;
    };
    if (!connection_ || length < 0 || length > 0xFFFF)
        return std::make_unique<FailedTransfer>(UsbStatus::IoError);
    return std::make_unique<Done>(
        connection_->control(requestTypeByte(), reqCode, value, index, buffer, static_cast<uint16_t>(length), timeOut));
}

bool CCyControlEndPoint::transfer(uint8_t* buffer, int& length)
{
    TransferContext context = beginTransfer(buffer, length);
    return finishTransfer(context, length);
}

} // namespace usbsdk
