#include "usbsdk/sdk/CameraSession.h"

#include <chrono>
#include <cstring>

#include "platform/DebugOutput.h"
#include "usbsdk/sdk/StreamFormat.h"

namespace usbsdk {
namespace {
// An acknowledgement that belongs to an earlier, timed-out command may still
// arrive; it is skipped instead of poisoning every later transaction.
constexpr int kMaxStaleAcks = 4;
} // namespace

CameraSession::CameraSession(const SessionOptions& options)
    : options_(options), ring_(std::make_unique<FrameRing>()),
      assembler_(std::make_unique<FrameAssembler>(*ring_, options.maxDimension))
{
}

CameraSession::~CameraSession() { stopCapture(); }

void CameraSession::attach(std::unique_ptr<UsbDevice> device)
{
    streamEndpoint_ = commandEndpoint_ = ackEndpoint_ = nullptr;
    device_ = std::move(device);
    if (!device_)
        return;
    for (int i = 1; i < device_->endpointCount(); ++i) {
        CCyUSBEndPoint* ep = device_->endpoint(i);
        switch (ep->address()) {
        case 0x83: streamEndpoint_ = ep; break;
        case 0x01: commandEndpoint_ = ep; break;
        case 0x81: ackEndpoint_ = ep; break;
        default: break;
        }
    }
    for (CCyUSBEndPoint* ep : {commandEndpoint_, ackEndpoint_})
        if (ep)
            ep->timeOut = options_.commandTimeoutMs;
}

void CameraSession::reset()
{
    stopCapture();
    // The device goes with the login: a logged-out camera stays claimed by
    // nobody, so another session (or program) can open it.
    attach(nullptr);
    ring_->resetIndices();
    assembler_->restart();
    ctrlRequested_ = kStateOff;
    ctrlState_ = kStateOff;
    loggedIn = false;
}

int32_t CameraSession::transact(protocol::Kind kind, const std::vector<uint8_t>& command, uint8_t* reply,
                                size_t replyLength, std::vector<uint8_t>& ack)
{
    if (!commandEndpoint_)
        return VEXEL_E_NOT_INITIALISED;
    // Up to 100 attempts of 10 ms each to get the channel. Polled with
    // try_lock: timed locks are not understood by the thread sanitizer.
    std::unique_lock lock(commandMutex_, std::defer_lock);
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(100 * 10);
    while (!lock.try_lock()) {
        if (std::chrono::steady_clock::now() >= giveUp)
            return VEXEL_E_TRANSACTION;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    if (!ackEndpoint_) {
        ctrlState_ = kStateOff;
        return VEXEL_E_TRANSACTION;
    }

    const uint16_t id = ++requestId_;
    std::vector<uint8_t> packet = command;
    protocol::put16(&packet[10], id);
    int length = static_cast<int>(packet.size());
    if (!commandEndpoint_->transfer(packet.data(), length) || length != static_cast<int>(packet.size())) {
        ctrlState_ = kStateOff;
        return VEXEL_E_TRANSACTION;
    }

    // 16 bytes for single registers, the read length + 16 for block reads.
    ack.assign(kind == protocol::Kind::BlockRead ? replyLength + 16 : protocol::kAckSize, 0);
    // A reply too short to carry the value it answers is no answer.
    const bool needsValue = kind != protocol::Kind::SingleWrite;
    const int minimum = static_cast<int>(protocol::kHeaderSize + (needsValue ? replyLength : 0));
    for (int attempt = 0;; ++attempt) {
        std::fill(ack.begin(), ack.end(), 0);
        int received = static_cast<int>(ack.size());
        if (!ackEndpoint_->transfer(ack.data(), received) || received < static_cast<int>(protocol::kHeaderSize)) {
            ctrlState_ = kStateOff;
            return VEXEL_E_TRANSACTION;
        }
        if (protocol::ackMatches(ack, kind, id)) {
            if (received < minimum) {
                ctrlState_ = kStateOff;
                return VEXEL_E_TRANSACTION;
            }
            break;
        }
        const protocol::AckHeader h = protocol::parseAckHeader(ack);
        const bool stale = h.prefix == protocol::kPrefix && h.requestId != id;
        if (!stale || attempt + 1 >= kMaxStaleAcks) {
            ctrlState_ = kStateOff;
            return VEXEL_E_TRANSACTION;
        }
    }
    if (reply)
        std::memcpy(reply, ack.data() + protocol::kHeaderSize, replyLength);
    ctrlState_ = kStateOn;
    return VEXEL_OK;
}

int32_t CameraSession::setParam(uint32_t reg, int32_t value)
{
    std::vector<uint8_t> ack;
    return transact(protocol::Kind::SingleWrite, protocol::singleWrite(0, reg, value), nullptr, 4, ack);
}

int32_t CameraSession::getParam(uint32_t reg, int32_t* value)
{
    std::vector<uint8_t> ack;
    uint8_t bytes[4];
    const int32_t rc = transact(protocol::Kind::SingleRead, protocol::singleRead(0, reg), bytes, 4, ack);
    if (rc == VEXEL_OK)
        *value = static_cast<int32_t>(protocol::get32(bytes));
    return rc;
}

int32_t CameraSession::setBlock(uint16_t address, const void* data, int32_t length)
{
    std::vector<uint8_t> ack;
    const auto* bytes = static_cast<const uint8_t*>(data);
    // The command's length field is 16 bits wide and carries length + 8.
    if (length > 0xFFFF - 8)
        return VEXEL_E_NO_SESSION;
    uint8_t written[4];
    const int32_t rc =
        transact(protocol::Kind::BlockWrite, protocol::blockWrite(0, address, {bytes, static_cast<size_t>(length)}),
                 written, 4, ack);
    if (rc != VEXEL_OK)
        return rc;
    return protocol::get32(written) == static_cast<uint32_t>(length) ? VEXEL_OK : VEXEL_E_BLOCK_LENGTH;
}

int32_t CameraSession::getBlock(uint16_t address, void* buffer, int32_t* length)
{
    std::vector<uint8_t> ack;
    const uint32_t n = protocol::blockReadLength(address);
    const int32_t rc =
        transact(protocol::Kind::BlockRead, protocol::blockRead(0, address), static_cast<uint8_t*>(buffer), n, ack);
    if (rc == VEXEL_OK)
        *length = static_cast<int32_t>(n);
    return rc;
}

int32_t CameraSession::startCtrl()
{
    if (ctrlState_ == kStateOn)
        return VEXEL_E_STATE;
    if (!commandEndpoint_ || !ackEndpoint_)
        return VEXEL_E_NO_ENDPOINT;
    ctrlRequested_ = kStateOn;
    ctrlState_ = kStateOn;
    return VEXEL_OK;
}

void CameraSession::stopCtrl()
{
    ctrlRequested_ = kStateOff;
    ctrlState_ = kStateOff;
}

void CameraSession::setCallback(VexelCaptureCallback callback, void* userData, int32_t userValue)
{
    std::lock_guard lock(callbackMutex_);
    callback_ = callback;
    userData_ = userData;
    userValue_ = userValue;
}

int32_t CameraSession::startCapture()
{
    if (captureRequested_ == kStateOn && captureState_ == kStateOn)
        return VEXEL_E_STATE;
    if (!streamEndpoint_)
        return VEXEL_E_NO_ENDPOINT;
    captureRequested_ = kStateOn;
    if (captureState_ == kStateOff) {
        // A stream thread that gave up has ended; collect it before the next.
        if (streamThread_.joinable())
            streamThread_.join();
        streamThread_ = std::thread(&CameraSession::streamThread, this);
    }
    if (!deliveryRunning_) {
        if (deliveryThread_.joinable())
            deliveryThread_.join();
        deliveryRunning_ = true;
        deliveryThread_ = std::thread(&CameraSession::deliveryThread, this);
    }
    captureState_ = kStateOn;
    return VEXEL_OK;
}

void CameraSession::stopCapture()
{
    captureRequested_ = kStateOff;
    if (streamThread_.joinable()) {
        // Cancelling the queued reads ends the stream thread's pass at once
        // instead of after up to four read time-outs.
        if (streamEndpoint_)
            streamEndpoint_->abort();
        streamThread_.join();
    }
    if (deliveryThread_.joinable())
        deliveryThread_.join();
    deliveryRunning_ = false;
    captureState_ = kStateOff;
}

void CameraSession::streamThread()
{
    CCyUSBEndPoint& ep = *streamEndpoint_;
    ep.timeOut = kStreamTimeoutMs;
    const int chunk = ep.setTransferSize(static_cast<int>(stream::kChunkSize));

    std::vector<std::vector<uint8_t>> buffers(kQueuedReads, std::vector<uint8_t>(static_cast<size_t>(chunk), 0xFF));
    std::vector<TransferContext> pending(kQueuedReads);
    int failures = 0;
    for (int i = 0; i < kQueuedReads; ++i) {
        pending[i] = ep.beginTransfer(buffers[i].data(), chunk);
        if (pending[i]->wait(0) && pending[i]->status() != UsbStatus::Ok) {
            ++failures;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    assembler_->restart();

    while (captureRequested_ == kStateOn) {
        if (failures >= kGiveUpFailures) {
            platform::DebugPrintf("sensorlink: stream gave up after %d failed transfers\n", failures);
            captureState_ = kStateOff;
            break;
        }
        if (failures > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        for (int i = 0; i < kQueuedReads; ++i) {
            if (!ep.waitForTransfer(pending[i], kStreamTimeoutMs)) {
                ep.abort();
                if (!ep.waitForTransfer(pending[i], 2000))
                    ep.abort();
            }
            int length = 0;
            if (!ep.finishTransfer(pending[i], length)) {
                ++failures;
            } else {
                failures = 0;
                assembler_->onTransfer(buffers[i].data(), static_cast<size_t>(length));
            }
            if (captureRequested_ == kStateOn) {
                pending[i] = ep.beginTransfer(buffers[i].data(), chunk);
                if (pending[i]->wait(0) && pending[i]->status() != UsbStatus::Ok)
                    ++failures;
            }
        }
    }
    ep.abort();
    pending.clear(); // each outstanding request ends before its buffer goes
}

void CameraSession::deliveryThread()
{
    while (captureRequested_ == kStateOn) {
        FrameRing::Frame frame{};
        if (!ring_->take(frame)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        VexelCaptureCallback callback;
        void* userData;
        int32_t userValue;
        {
            std::lock_guard lock(callbackMutex_);
            callback = callback_;
            userData = userData_;
            userValue = userValue_;
        }
        if (callback)
            callback(frame.data, frame.size, userData, userValue);
        ring_->release();
    }
}

} // namespace usbsdk
