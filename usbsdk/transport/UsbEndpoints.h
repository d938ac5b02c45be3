#pragma once
// Endpoint objects of an open device. An endpoint does not own the connection;
// it must not outlive the UsbDevice that built it.
#include <cstdint>
#include <memory>

#include "usbsdk/transport/Descriptors.h"
#include "usbsdk/transport/UsbBus.h"

namespace usbsdk {

// A transfer in flight: what beginTransfer hands out and finishTransfer takes back.
using TransferContext = std::unique_ptr<UsbTransfer>;

class CCyUSBEndPoint {
public:
    CCyUSBEndPoint(UsbConnection* connection, const EndpointDescriptor& descriptor);
    virtual ~CCyUSBEndPoint() = default;
    CCyUSBEndPoint(const CCyUSBEndPoint&) = delete;
    CCyUSBEndPoint& operator=(const CCyUSBEndPoint&) = delete;

    // Starts a transfer of `length` bytes; the buffer must outlive it.
    virtual TransferContext beginTransfer(uint8_t* buffer, int length);
    // True once the transfer completed (successfully or not) within `timeoutMs`.
    bool waitForTransfer(TransferContext& context, uint32_t timeoutMs);
    // Collects the result and releases the request. `length` = bytes moved.
    // True only when the transfer completed without error.
    bool finishTransfer(TransferContext& context, int& length);
    // begin + wait up to `timeOut` + finish; a time-out aborts the pipe so no
    // request is left pending.
    virtual bool transfer(uint8_t* buffer, int& length);
    void abort();
    // Rounds up to a multiple of the max packet size and keeps it as the
    // endpoint's transfer size (the size the stream reads are issued with).
    int setTransferSize(int bytes);
    int transferSize() const { return transferSize_; }

    uint8_t address() const { return descriptor_.address; }
    uint8_t attributes() const { return descriptor_.attributes; }
    int maxPacketSize() const { return maxPacketSize_; }
    bool directionIn() const { return (descriptor_.address & 0x80) != 0; }
    const EndpointDescriptor& descriptor() const { return descriptor_; }

    uint32_t timeOut = 10000;            // ms
    UsbStatus usbStatus = UsbStatus::Ok; // of the last transfer
    int bytesTransferred = 0;
    bool direct = true;

protected:
    UsbConnection* connection_;
    EndpointDescriptor descriptor_;
    int maxPacketSize_;
    int transferSize_ = 0;
};

class CCyBulkEndPoint : public CCyUSBEndPoint {
public:
    using CCyUSBEndPoint::CCyUSBEndPoint;
};

class CCyInterruptEndPoint : public CCyUSBEndPoint {
public:
    using CCyUSBEndPoint::CCyUSBEndPoint;
};

// Isochronous streams are not used by the cameras; transfers on such an
// endpoint fail instead of being sent as bulk.
class CCyIsocEndPoint : public CCyUSBEndPoint {
public:
    using CCyUSBEndPoint::CCyUSBEndPoint;
    TransferContext beginTransfer(uint8_t* buffer, int length) override;
};

// Endpoint 0. The setup packet comes from the fields below; the data stage is
// the buffer given to transfer().
class CCyControlEndPoint : public CCyUSBEndPoint {
public:
    enum Target : uint8_t { TgtDevice = 0, TgtInterface = 1, TgtEndpoint = 2, TgtOther = 3 };
    enum ReqType : uint8_t { ReqStandard = 0, ReqClass = 1, ReqVendor = 2 };
    enum Direction : uint8_t { DirToDevice = 0, DirFromDevice = 1 };

    CCyControlEndPoint(UsbConnection* connection, int maxPacketSize0);

    TransferContext beginTransfer(uint8_t* buffer, int length) override;
    bool transfer(uint8_t* buffer, int& length) override;
    uint8_t requestTypeByte() const;

    uint8_t target = TgtDevice;
    uint8_t reqType = ReqVendor;
    uint8_t direction = DirToDevice;
    uint8_t reqCode = 0;
    uint16_t value = 0;
    uint16_t index = 0;
};

} // namespace usbsdk
