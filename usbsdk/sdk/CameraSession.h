#pragma once
// One camera session: the endpoints of a logged-in camera, its register
// channel and its capture pipeline (stream thread + delivery thread).
//
// Threads: the SDK's exported functions call in from the host's threads.
// Register access takes the session's command mutex, so commands from
// several threads queue. The stream thread only writes the ring; the
// delivery thread only reads it and calls the capture callback, without any
// SDK lock held.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "usbsdk/Vexel.h"
#include "usbsdk/sdk/FrameAssembler.h"
#include "usbsdk/sdk/FrameRing.h"
#include "usbsdk/sdk/Protocol.h"
#include "usbsdk/transport/UsbDevice.h"

namespace usbsdk {

struct SessionOptions {
    uint32_t maxDimension = 4096;
    uint32_t commandTimeoutMs = 10000; // command send and acknowledgement receive
};

class CameraSession {
public:
    static constexpr int kStateOn = 1;
    static constexpr int kStateOff = 2;
    static constexpr int kGiveUpFailures = 50;
    static constexpr uint32_t kStreamTimeoutMs = 500;
    static constexpr int kQueuedReads = 4;

    explicit CameraSession(const SessionOptions& options);
    ~CameraSession();
    CameraSession(const CameraSession&) = delete;
    CameraSession& operator=(const CameraSession&) = delete;

    // Login: takes the opened device (null when it could not be opened; every
    // command then fails).
    void attach(std::unique_ptr<UsbDevice> device);
    // Logout: stops capture (joins both threads), closes the device, resets
    // the ring, control state and flags.
    void reset();

    bool loggedIn = false;
    CameraInfo info{};

    // Any host thread; one command at a time under the command mutex. Results
    // are SDK codes; a failed read leaves `*value` as it was.
    int32_t setParam(uint32_t reg, int32_t value);
    int32_t getParam(uint32_t reg, int32_t* value);
    int32_t setBlock(uint16_t address, const void* data, int32_t length);
    int32_t getBlock(uint16_t address, void* buffer, int32_t* length);

    int32_t startCtrl();
    void stopCtrl();
    int ctrlState() const { return ctrlState_.load(); }
    bool hasControlEndpoints() const { return commandEndpoint_ && ackEndpoint_; }

    // Any thread; the delivery thread copies the triple under its own mutex.
    void setCallback(VexelCaptureCallback callback, void* userData, int32_t userValue);
    // Host thread. Starts the stream and delivery threads; an error code and
    // no thread running when the stream cannot start.
    int32_t startCapture();
    // Host thread, never the delivery thread (it joins it). Cancels the queued
    // reads and returns when no callback runs any more.
    void stopCapture();
    int captureState() const { return captureState_.load(); }
    int captureRequested() const { return captureRequested_.load(); }

    FrameRing& ring() { return *ring_; }
    uint16_t lastRequestId() const { return requestId_; }

private:
    int32_t transact(protocol::Kind kind, const std::vector<uint8_t>& command, uint8_t* reply, size_t replyLength,
                     std::vector<uint8_t>& ack);
    void streamThread();
    void deliveryThread();

    SessionOptions options_;
    std::unique_ptr<UsbDevice> device_;
    CCyUSBEndPoint* streamEndpoint_ = nullptr;
    CCyUSBEndPoint* commandEndpoint_ = nullptr;
    CCyUSBEndPoint* ackEndpoint_ = nullptr;

    uint16_t requestId_ = 0; // guarded by commandMutex_
    std::atomic<int> ctrlRequested_{kStateOff};
    std::atomic<int> ctrlState_{kStateOff};
    std::atomic<int> captureRequested_{kStateOff};
    std::atomic<int> captureState_{kStateOff};
    std::thread streamThread_;
    std::thread deliveryThread_;
    std::atomic<bool> deliveryRunning_{false};

    std::mutex callbackMutex_;
    VexelCaptureCallback callback_ = nullptr;
    void* userData_ = nullptr;
    int32_t userValue_ = 0;

    std::unique_ptr<FrameRing> ring_;
    std::unique_ptr<FrameAssembler> assembler_;
    std::mutex commandMutex_;
};

} // namespace usbsdk
