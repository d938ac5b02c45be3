#pragma once
// An emulated USB3 camera: descriptors, the register protocol, the image
// stream, the firmware download targets and fault injection. Connections from
// EmulatedBus drive it exactly as libusb drives a real camera, so the SDK above
// cannot tell the difference. The methods below are the test interface.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "usbsdk/emulator/EmulatorConfig.h"
#include "usbsdk/emulator/OpticalScene.h"
#include "usbsdk/emulator/RegisterFile.h"
#include "usbsdk/emulator/SyntheticScene.h"
#include "usbsdk/transport/UsbBus.h"

namespace usbsdk::emulator {

enum class AckFault {
    WrongPrefix,    // prefix other than "U3VC"
    WrongStatus,    // non-zero status
    WrongCode,      // an acknowledgement code that answers no read or write
    StaleRequestId, // the id of the previous command
    Late,           // correct, but only after the ack delay
    Missing,        // never sent
};

class EmulatedTransfer;

class EmulatedCamera : public std::enable_shared_from_this<EmulatedCamera> {
public:
    using Clock = std::chrono::steady_clock;

    explicit EmulatedCamera(EmulatorConfig config = {});
    ~EmulatedCamera();
    EmulatedCamera(const EmulatedCamera&) = delete;
    EmulatedCamera& operator=(const EmulatedCamera&) = delete;

    const EmulatorConfig& config() const { return config_; }

    // --- presence ---
    // Also brings an unplugged camera back once replugAfterMs passed.
    bool present();
    // Every transfer in flight fails with NoDevice; open connections stay dead.
    void unplug();
    // Plugged in again, powered on: the registers are back at their
    // power-on values (settings the host made are forgotten).
    void replug();

    // --- stream ---
    // With fps 0, frames are sent only when allowed here.
    void emitFrames(int count);
    void setFrameRate(double fps);
    // Leaders sent so far.
    uint64_t framesStarted() const;

    // --- registers, as the camera holds them ---
    int32_t registerValue(uint32_t address) const;
    void setRegister(uint32_t address, int32_t value);
    std::vector<uint32_t> registerAddresses() const;
    std::vector<uint8_t> blockMemory(uint16_t address, size_t length) const;
    // Request ids of the commands received, in order.
    std::vector<uint16_t> requestIds() const;

    // --- faults (each applies to the next `count` occurrences) ---
    void failNextTransfers(uint8_t endpoint, int count);
    void stallNextTransfers(uint8_t endpoint, int count);
    void corruptNextAcks(AckFault fault, int count);
    void setAckDelay(uint32_t ms);
    // The next acknowledgement is sent as these bytes instead.
    void replaceNextAck(std::vector<uint8_t> bytes);
    void shortenNextPayloads(int frames, size_t missingBytes);
    void overrideNextLeaders(int frames, uint32_t width, uint32_t height);
    void failNextControlRequests(uint8_t request, int count);
    void corruptNextReadBacks(int count); // RAM read-back differs from what was written
    void setEraseBusyPolls(int polls);    // SPI erase status reads busy this often
    void failNextFlashWrites(int count);  // SPI page status reports an error

    // --- firmware targets ---
    std::vector<uint8_t> ram(uint32_t address, size_t length) const;
    std::vector<uint8_t> eeprom(int select, uint32_t address, size_t length) const;
    std::vector<uint8_t> spiFlash(size_t offset, size_t length) const;
    std::optional<uint32_t> startedEntry() const;
    int ramWrites() const;

    // --- transport side, used by the emulated connection ---
    uint64_t generation() const;
    ControlResult control(uint64_t generation, uint8_t requestType, uint8_t request, uint16_t value, uint16_t index,
                          uint8_t* data, uint16_t length);
    std::unique_ptr<UsbTransfer> submit(uint64_t generation, uint8_t endpoint, uint8_t* data, int length);
    void abortPipe(uint8_t endpoint);

private:
    friend class EmulatedTransfer;
    struct Ack {
        std::vector<uint8_t> bytes;
        Clock::time_point due;
    };
    enum class Phase { Leader, Payload, Trailer };

    // All below with mutex_ held.
    bool waitTransfer(EmulatedTransfer* t, uint32_t timeoutMs);
    void forget(EmulatedTransfer* t);
    // Completes the answers that are due and, for a waiter on the stream,
    // the stream's items (rendering a frame when one begins; for the
    // waiter's own transfer with `lock`, its hold on mutex_, let go meanwhile).
    void pump(Clock::time_point now, const EmulatedTransfer* streamWaiter, std::unique_lock<std::mutex>* lock);
    std::optional<Clock::time_point> nextStreamItem(Clock::time_point now);
    void completeStream(EmulatedTransfer* t, std::unique_lock<std::mutex>* lock);
    // False when the camera was unplugged while the frame was rendered.
    bool beginFrame(Clock::time_point now, std::unique_lock<std::mutex>* lock);
    void handleCommand(const uint8_t* data, int length);
    void queueAck(uint16_t status, uint16_t code, uint16_t requestId, const std::vector<uint8_t>& payload);
    void complete(EmulatedTransfer* t, UsbStatus status, int length);
    ControlResult descriptorRequest(uint16_t value, uint16_t index, uint8_t* data, uint16_t length);
    ControlResult vendorRequest(bool in, uint8_t request, uint16_t value, uint16_t index, uint8_t* data,
                                uint16_t length);
    void unplugLocked();
    void replugLocked();
    SceneSettings currentScene() const;

    EmulatorConfig config_;
    mutable std::mutex mutex_;
    std::condition_variable cond_;
    bool present_ = true;
    Clock::time_point unpluggedAt_{};
    uint64_t generation_ = 1;

    RegisterFile registers_;
    std::vector<uint16_t> requestIds_;
    std::deque<Ack> acks_;
    uint16_t lastRequestId_ = 0;
    uint64_t acksSent_ = 0;

    std::map<uint8_t, std::deque<EmulatedTransfer*>> queues_;

    // stream
    Clock::time_point t0_;
    uint64_t nextSlot_ = 0;
    int credits_ = 0;
    uint64_t framesStarted_ = 0;
    uint64_t framesAtPlugIn_ = 0; // framesStarted_ when the camera was last plugged in
    uint64_t streamTransfers_ = 0;
    Phase phase_ = Phase::Leader;
    std::vector<uint8_t> leader_;
    std::vector<uint8_t> payload_;
    size_t payloadLength_ = 0; // bytes of payload_ actually sent
    size_t payloadSent_ = 0;
    SceneSettings sceneSettings_;
    std::vector<uint8_t> scene_;
    bool sceneValid_ = false;
    std::unique_ptr<OpticalScene> optics_; // when the optics settings are on
    // A stream waiter is making a frame with mutex_ let go: the picture's
    // state above is its alone, and no other waiter starts a stream item.
    bool rendering_ = false;

    // faults
    std::map<uint8_t, int> failTransfers_, stallTransfers_, failControl_;
    AckFault ackFault_ = AckFault::WrongPrefix;
    int ackFaults_ = 0;
    uint32_t ackDelayMs_ = 1000;
    std::optional<std::vector<uint8_t>> replacementAck_;
    int shortFrames_ = 0;
    size_t shortBytes_ = 0;
    int leaderOverrides_ = 0;
    uint32_t overrideWidth_ = 0, overrideHeight_ = 0;
    int corruptReadBacks_ = 0;
    int eraseBusyPolls_ = 3;
    int eraseBusyLeft_ = 0;
    int failFlashWrites_ = 0;
    bool flashWriteFailed_ = false;

    // firmware memories
    std::map<uint32_t, uint8_t> ram_;
    std::map<int, std::vector<uint8_t>> eeprom_;
    std::vector<uint8_t> spi_;
    std::optional<uint32_t> entry_;
    int ramWrites_ = 0;
};

} // namespace usbsdk::emulator
