#include "usbsdk/emulator/EmulatedCamera.h"

#include <algorithm>
#include <cstring>

#include "usbsdk/emulator/FrameStamp.h"
#include "usbsdk/sdk/Protocol.h"
#include "usbsdk/sdk/StreamFormat.h"

namespace usbsdk::emulator {

using protocol::get16;
using protocol::get32;
using protocol::put16;
using protocol::put32;

// A transfer submitted to the emulated camera. Its fields are guarded by the
// camera's mutex; a transfer that failed at submission has no camera.
class EmulatedTransfer final : public UsbTransfer {
public:
    EmulatedTransfer(std::shared_ptr<EmulatedCamera> camera, uint8_t endpoint, uint8_t* data, int length)
        : camera_(std::move(camera)), endpoint_(endpoint), data_(data), length_(length)
    {
    }
    explicit EmulatedTransfer(UsbStatus failed) : done_(true), status_(failed) {}
    ~EmulatedTransfer() override
    {
        if (!camera_)
            return;
        std::lock_guard lock(camera_->mutex_);
        if (!done_)
            camera_->forget(this);
    }
    bool wait(uint32_t timeoutMs) override
    {
        if (!camera_)
            return true;
        std::unique_lock lock(camera_->mutex_);
        return camera_->waitTransfer(this, timeoutMs);
    }
    UsbStatus status() const override
    {
        if (!camera_)
            return status_;
        std::lock_guard lock(camera_->mutex_);
        return status_;
    }
    int actualLength() const override
    {
        if (!camera_)
            return 0;
        std::lock_guard lock(camera_->mutex_);
        return actual_;
    }

private:
    friend class EmulatedCamera;
    std::shared_ptr<EmulatedCamera> camera_;
    uint8_t endpoint_ = 0;
    uint8_t* data_ = nullptr;
    int length_ = 0;
    bool done_ = false;
    bool stalled_ = false;
    UsbStatus status_ = UsbStatus::IoError;
    int actual_ = 0;
};

namespace {

std::vector<uint8_t> deviceDescriptor(const EmulatorConfig& c)
{
    const bool usb3 = (c.bcdUSB >> 8) == 3;
    std::vector<uint8_t> d(18, 0);
    d[0] = 18;
    d[1] = 1;
    put16(&d[2], c.bcdUSB);
    d[4] = 0xEF; // miscellaneous, interface association
    d[5] = 0x02;
    d[6] = 0x01;
    d[7] = usb3 ? 9 : 64; // SuperSpeed gives the exponent: 2^9 = 512
    put16(&d[8], c.vendorId);
    put16(&d[10], c.productId);
    put16(&d[12], 0x0100);
    d[14] = 1;
    d[15] = 2;
    d[16] = 3;
    d[17] = 1;
    return d;
}

std::vector<uint8_t> configurationDescriptor(const EmulatorConfig& c)
{
    const bool usb3 = (c.bcdUSB >> 8) == 3;
    const uint16_t bulkPacket = usb3 ? 1024 : 512;
    std::vector<uint8_t> d = {9, 2, 0, 0, 1, 1, 0, 0x80, 112};
    // The camera interface: commands, acknowledgements, events, stream.
    const uint8_t itf[] = {9, 4, 0, 0, 4, 0xEF, 0x05, 0x00, 0};
    d.insert(d.end(), std::begin(itf), std::end(itf));
    struct Ep {
        uint8_t address, attributes;
        uint16_t packet;
        uint8_t burst;
    };
    const Ep eps[] = {{0x01, 2, bulkPacket, 0}, {0x81, 2, bulkPacket, 0}, {0x82, 3, 64, 0}, {0x83, 2, bulkPacket, 15}};
    for (const Ep& e : eps) {
        const uint8_t ed[] = {7,
                              5,
                              e.address,
                              e.attributes,
                              static_cast<uint8_t>(e.packet),
                              static_cast<uint8_t>(e.packet >> 8),
                              static_cast<uint8_t>(e.attributes == 3 ? 8 : 0)};
        d.insert(d.end(), std::begin(ed), std::end(ed));
        if (usb3) {
            const uint8_t comp[] = {6, 48, e.burst, 0, static_cast<uint8_t>(e.attributes == 3 ? 64 : 0), 0};
            d.insert(d.end(), std::begin(comp), std::end(comp));
        }
    }
    put16(&d[2], static_cast<uint16_t>(d.size()));
    return d;
}

std::vector<uint8_t> bosDescriptor()
{
    std::vector<uint8_t> d = {5, 15, 0, 0, 3};
    const uint8_t usb2[] = {7, 16, 2, 0x02, 0, 0, 0};
    const uint8_t ss[] = {10, 16, 3, 0, 0x0E, 0, 1, 10, 0xFF, 0x07};
    uint8_t container[20] = {20, 16, 4, 0};
    for (int i = 0; i < 16; ++i)
        container[4 + i] = static_cast<uint8_t>(0xA0 + i);
    d.insert(d.end(), std::begin(usb2), std::end(usb2));
    d.insert(d.end(), std::begin(ss), std::end(ss));
    d.insert(d.end(), std::begin(container), std::end(container));
    put16(&d[2], static_cast<uint16_t>(d.size()));
    return d;
}

std::vector<uint8_t> stringDescriptor(const std::string& text)
{
    std::vector<uint8_t> d = {2, 3};
    for (unsigned char ch : text) { // ASCII names
        d.push_back(ch);
        d.push_back(0);
    }
    d[0] = static_cast<uint8_t>(std::min<size_t>(d.size(), 254));
    d.resize(d[0]);
    return d;
}

ControlResult copyOut(const std::vector<uint8_t>& src, uint8_t* data, uint16_t length)
{
    const size_t n = std::min<size_t>(src.size(), length);
    if (n)
        std::memcpy(data, src.data(), n);
    return {UsbStatus::Ok, static_cast<int>(n)};
}

bool takeFault(std::map<uint8_t, int>& faults, uint8_t key)
{
    auto it = faults.find(key);
    if (it == faults.end() || it->second <= 0)
        return false;
    --it->second;
    return true;
}

} // namespace

EmulatedCamera::EmulatedCamera(EmulatorConfig config)
    : config_(std::move(config)), registers_(config_.width, config_.height), t0_(Clock::now())
{
    if (config_.optics.on)
        optics_ = std::make_unique<OpticalScene>(config_.optics, config_.fps);
}

EmulatedCamera::~EmulatedCamera() = default;

bool EmulatedCamera::present()
{
    std::lock_guard lock(mutex_);
    if (!present_ && config_.replugAfterMs > 0 &&
        Clock::now() - unpluggedAt_ >= std::chrono::milliseconds(config_.replugAfterMs))
        replugLocked();
    return present_;
}

void EmulatedCamera::unplugLocked()
{
    present_ = false;
    unpluggedAt_ = Clock::now();
    ++generation_;
    for (auto& [ep, queue] : queues_) {
        for (EmulatedTransfer* t : queue) {
            t->done_ = true;
            t->status_ = UsbStatus::NoDevice;
            t->actual_ = 0;
        }
        queue.clear();
    }
    acks_.clear();
    phase_ = Phase::Leader;
    cond_.notify_all();
}

void EmulatedCamera::unplug()
{
    std::lock_guard lock(mutex_);
    unplugLocked();
}

void EmulatedCamera::replug()
{
    std::lock_guard lock(mutex_);
    replugLocked();
}

void EmulatedCamera::replugLocked()
{
    if (present_)
        return;
    present_ = true;
    ++generation_;
    // Power came back: the registers hold their power-on values again.
    registers_ = RegisterFile(config_.width, config_.height);
    sceneValid_ = false;
    phase_ = Phase::Leader;
    t0_ = Clock::now();
    nextSlot_ = 0;
    config_.unplugAfterFrames = 0;
    framesAtPlugIn_ = framesStarted_;
}

uint64_t EmulatedCamera::generation() const
{
    std::lock_guard lock(mutex_);
    return generation_;
}

void EmulatedCamera::emitFrames(int count)
{
    std::lock_guard lock(mutex_);
    credits_ += count;
    cond_.notify_all();
}

void EmulatedCamera::setFrameRate(double fps)
{
    std::lock_guard lock(mutex_);
    config_.fps = fps;
    t0_ = Clock::now();
    nextSlot_ = 0;
    cond_.notify_all();
}

uint64_t EmulatedCamera::framesStarted() const
{
    std::lock_guard lock(mutex_);
    return framesStarted_;
}

int32_t EmulatedCamera::registerValue(uint32_t address) const
{
    std::lock_guard lock(mutex_);
    return registers_.value(address);
}

void EmulatedCamera::setRegister(uint32_t address, int32_t value)
{
    std::lock_guard lock(mutex_);
    registers_.write(address, value);
}

std::vector<uint32_t> EmulatedCamera::registerAddresses() const
{
    std::lock_guard lock(mutex_);
    return registers_.addresses();
}

std::vector<uint8_t> EmulatedCamera::blockMemory(uint16_t address, size_t length) const
{
    std::lock_guard lock(mutex_);
    return registers_.readBlock(address, length);
}

std::vector<uint16_t> EmulatedCamera::requestIds() const
{
    std::lock_guard lock(mutex_);
    return requestIds_;
}

void EmulatedCamera::failNextTransfers(uint8_t endpoint, int count)
{
    std::lock_guard lock(mutex_);
    failTransfers_[endpoint] = count;
}

void EmulatedCamera::stallNextTransfers(uint8_t endpoint, int count)
{
    std::lock_guard lock(mutex_);
    stallTransfers_[endpoint] = count;
}

void EmulatedCamera::corruptNextAcks(AckFault fault, int count)
{
    std::lock_guard lock(mutex_);
    ackFault_ = fault;
    ackFaults_ = count;
}

void EmulatedCamera::setAckDelay(uint32_t ms)
{
    std::lock_guard lock(mutex_);
    ackDelayMs_ = ms;
}

void EmulatedCamera::replaceNextAck(std::vector<uint8_t> bytes)
{
    std::lock_guard lock(mutex_);
    replacementAck_ = std::move(bytes);
}

void EmulatedCamera::shortenNextPayloads(int frames, size_t missingBytes)
{
    std::lock_guard lock(mutex_);
    shortFrames_ = frames;
    shortBytes_ = missingBytes;
}

void EmulatedCamera::overrideNextLeaders(int frames, uint32_t width, uint32_t height)
{
    std::lock_guard lock(mutex_);
    leaderOverrides_ = frames;
    overrideWidth_ = width;
    overrideHeight_ = height;
}

void EmulatedCamera::failNextControlRequests(uint8_t request, int count)
{
    std::lock_guard lock(mutex_);
    failControl_[request] = count;
}

void EmulatedCamera::corruptNextReadBacks(int count)
{
    std::lock_guard lock(mutex_);
    corruptReadBacks_ = count;
}

void EmulatedCamera::setEraseBusyPolls(int polls)
{
    std::lock_guard lock(mutex_);
    eraseBusyPolls_ = polls;
}

void EmulatedCamera::failNextFlashWrites(int count)
{
    std::lock_guard lock(mutex_);
    failFlashWrites_ = count;
}

std::vector<uint8_t> EmulatedCamera::ram(uint32_t address, size_t length) const
{
    std::lock_guard lock(mutex_);
    std::vector<uint8_t> out(length, 0);
    for (size_t i = 0; i < length; ++i) {
        auto it = ram_.find(address + static_cast<uint32_t>(i));
        if (it != ram_.end())
            out[i] = it->second;
    }
    return out;
}

std::vector<uint8_t> EmulatedCamera::eeprom(int select, uint32_t address, size_t length) const
{
    std::lock_guard lock(mutex_);
    std::vector<uint8_t> out(length, 0xFF);
    auto it = eeprom_.find(select);
    if (it == eeprom_.end())
        return out;
    for (size_t i = 0; i < length && address + i < it->second.size(); ++i)
        out[i] = it->second[address + i];
    return out;
}

std::vector<uint8_t> EmulatedCamera::spiFlash(size_t offset, size_t length) const
{
    std::lock_guard lock(mutex_);
    std::vector<uint8_t> out(length, 0xFF);
    for (size_t i = 0; i < length && offset + i < spi_.size(); ++i)
        out[i] = spi_[offset + i];
    return out;
}

std::optional<uint32_t> EmulatedCamera::startedEntry() const
{
    std::lock_guard lock(mutex_);
    return entry_;
}

int EmulatedCamera::ramWrites() const
{
    std::lock_guard lock(mutex_);
    return ramWrites_;
}

// ---------------------------------------------------------------- transport

std::unique_ptr<UsbTransfer> EmulatedCamera::submit(uint64_t generation, uint8_t endpoint, uint8_t* data, int length)
{
    std::lock_guard lock(mutex_);
    if (!present_ || generation != generation_)
        return std::make_unique<EmulatedTransfer>(UsbStatus::NoDevice);
    if (endpoint != 0x01 && endpoint != 0x81 && endpoint != 0x82 && endpoint != 0x83)
        return std::make_unique<EmulatedTransfer>(UsbStatus::Stall);
    if (takeFault(failTransfers_, endpoint))
        return std::make_unique<EmulatedTransfer>(UsbStatus::IoError);
    auto t = std::make_unique<EmulatedTransfer>(shared_from_this(), endpoint, data, length);
    t->stalled_ = takeFault(stallTransfers_, endpoint);
    if (endpoint == 0x01 && !t->stalled_) {
        handleCommand(data, length);
        t->done_ = true;
        t->status_ = UsbStatus::Ok;
        t->actual_ = length;
        cond_.notify_all();
        return t;
    }
    queues_[endpoint].push_back(t.get());
    return t;
}

void EmulatedCamera::abortPipe(uint8_t endpoint)
{
    std::lock_guard lock(mutex_);
    auto it = queues_.find(endpoint);
    if (it == queues_.end())
        return;
    for (EmulatedTransfer* t : it->second) {
        t->done_ = true;
        t->status_ = UsbStatus::Cancelled;
        t->actual_ = 0;
    }
    it->second.clear();
    cond_.notify_all();
}

void EmulatedCamera::forget(EmulatedTransfer* t)
{
    auto& q = queues_[t->endpoint_];
    q.erase(std::remove(q.begin(), q.end(), t), q.end());
}

void EmulatedCamera::complete(EmulatedTransfer* t, UsbStatus status, int length)
{
    t->done_ = true;
    t->status_ = status;
    t->actual_ = length;
    cond_.notify_all();
}

bool EmulatedCamera::waitTransfer(EmulatedTransfer* t, uint32_t timeoutMs)
{
    const auto start = Clock::now();
    const auto deadline =
        timeoutMs == UINT32_MAX ? Clock::time_point::max() : start + std::chrono::milliseconds(timeoutMs);
    std::unique_lock lock(mutex_, std::adopt_lock);
    // Only the stream's own waiter renders frames: a control request waits
    // for its answer, as on the wire, not for a frame made on its thread.
    const bool stream = t->endpoint_ == 0x83;
    for (;;) {
        const auto now = Clock::now();
        pump(now, stream ? t : nullptr, &lock);
        if (t->done_)
            break;
        if (now >= deadline) {
            lock.release();
            return false;
        }
        auto wake = deadline;
        if (!acks_.empty())
            wake = std::min(wake, acks_.front().due);
        // While another waiter renders, the stream's next item waits for it
        // (its completion wakes this one).
        if (auto item = stream && !rendering_ ? nextStreamItem(now) : std::nullopt)
            wake = std::min(wake, *item);
        // Waking up at least every 50 ms keeps a missed notification harmless.
        wake = std::min(wake, now + std::chrono::milliseconds(50));
        cond_.wait_until(lock, wake);
    }
    lock.release();
    return true;
}

void EmulatedCamera::pump(Clock::time_point now, const EmulatedTransfer* streamWaiter,
                          std::unique_lock<std::mutex>* lock)
{
    if (!present_)
        return;
    auto& ackQueue = queues_[0x81];
    while (!ackQueue.empty() && !ackQueue.front()->stalled_ && !acks_.empty() && acks_.front().due <= now) {
        EmulatedTransfer* t = ackQueue.front();
        ackQueue.pop_front();
        const auto& bytes = acks_.front().bytes;
        const size_t n = std::min<size_t>(bytes.size(), static_cast<size_t>(t->length_));
        std::memcpy(t->data_, bytes.data(), n);
        complete(t, n < bytes.size() ? UsbStatus::Overflow : UsbStatus::Ok, static_cast<int>(n));
        acks_.pop_front();
    }
    auto& streamQueue = queues_[0x83];
    while (streamWaiter && present_ && !rendering_ && !streamQueue.empty() && !streamQueue.front()->stalled_) {
        auto due = nextStreamItem(now);
        if (!due || *due > now)
            break;
        EmulatedTransfer* t = streamQueue.front();
        streamQueue.pop_front();
        // Only the waiter's own transfer is rendered for with the mutex let
        // go: no other thread can end it meanwhile.
        completeStream(t, t == streamWaiter ? lock : nullptr);
    }
}

std::optional<EmulatedCamera::Clock::time_point> EmulatedCamera::nextStreamItem(Clock::time_point now)
{
    if (!present_)
        return std::nullopt;
    if (phase_ != Phase::Leader)
        return now;
    if (config_.fps <= 0)
        return credits_ > 0 ? std::optional(now) : std::nullopt;
    const auto period = std::chrono::duration<double>(1.0 / config_.fps);
    return t0_ + std::chrono::duration_cast<Clock::duration>(period * static_cast<double>(nextSlot_));
}

SceneSettings EmulatedCamera::currentScene() const
{
    SceneSettings s;
    s.roiX = registers_.value(reg::kRoiX);
    s.roiY = registers_.value(reg::kRoiY);
    s.width = static_cast<uint32_t>(registers_.value(reg::kRoiWidth));
    s.height = static_cast<uint32_t>(registers_.value(reg::kRoiHeight));
    s.exposureMode = registers_.value(reg::kExposureMode);
    s.exposureTarget = registers_.value(reg::kExposureTarget);
    s.exposureTime = registers_.value(reg::kExposureTime);
    s.gain = registers_.value(reg::kGain);
    s.whiteBalanceMode = registers_.value(reg::kWhiteBalanceMode);
    s.wbRed = registers_.value(reg::kWbRed);
    s.wbGreen = registers_.value(reg::kWbGreen);
    s.wbBlue = registers_.value(reg::kWbBlue);
    s.contrast = registers_.value(reg::kContrast);
    s.saturation = registers_.value(reg::kSaturation);
    return s;
}

bool EmulatedCamera::beginFrame(Clock::time_point now, std::unique_lock<std::mutex>* lock)
{
    uint64_t slot = nextSlot_;
    if (config_.fps > 0) {
        // A host that fell further behind than the camera's memory reaches
        // misses the frames the sensor made meanwhile.
        const double elapsed = std::chrono::duration<double>(now - t0_).count();
        const auto current = static_cast<uint64_t>(elapsed * config_.fps);
        const auto buffered = static_cast<uint64_t>(std::max(0, config_.bufferedFrames));
        if (current > buffered)
            slot = std::max<uint64_t>(slot, current - buffered);
    } else {
        --credits_;
    }
    nextSlot_ = slot + 1;

    const SceneSettings scene = currentScene();
    const uint64_t blockId = slot + 1;
    // A full-size frame takes milliseconds to make: the mutex is let go
    // meanwhile, so control requests are answered while the sensor works,
    // as on a real camera. Only this waiter touches the picture until then.
    const uint32_t pixelFormat = config_.pixelFormat;
    const uint64_t generation = generation_;
    rendering_ = true;
    if (lock)
        lock->unlock();
    if (optics_) {
        optics_->render(scene, blockId, payload_, pixelFormat);
    } else {
        if (!sceneValid_ || !(scene == sceneSettings_)) {
            renderScene(scene, scene_, pixelFormat);
            sceneSettings_ = scene;
            sceneValid_ = true;
        }
        payload_ = scene_;
    }
    if (lock)
        lock->lock();
    rendering_ = false;
    // Unplugged while the frame was made: it never leaves the camera.
    if (generation != generation_ || !present_)
        return false;
    // Counted only now, with its leader decided under the same hold: who
    // sees the count sees a frame whose overrides are taken.
    ++framesStarted_;
    if (config_.stamp) {
        FrameStamp st;
        st.frameNumber = blockId;
        st.exposureMode = scene.exposureMode;
        st.exposureTarget = scene.exposureTarget;
        st.gain = scene.gain;
        st.roiX = scene.roiX;
        st.roiY = scene.roiY;
        st.roiWidth = static_cast<int32_t>(scene.width);
        st.roiHeight = static_cast<int32_t>(scene.height);
        st.whiteBalanceMode = scene.whiteBalanceMode;
        st.wbRed = scene.wbRed;
        st.wbGreen = scene.wbGreen;
        st.wbBlue = scene.wbBlue;
        st.exposureTime = scene.exposureTime;
        st.noiseReduction = registers_.value(reg::kNoiseReduction);
        st.sharpness = registers_.value(reg::kSharpness);
        st.contrast = scene.contrast;
        st.saturation = scene.saturation;
        st.write(payload_.data(), payload_.size());
    }

    uint32_t width = scene.width, height = scene.height;
    if (leaderOverrides_ > 0) {
        --leaderOverrides_;
        width = overrideWidth_;
        height = overrideHeight_;
    }
    payloadLength_ = payload_.size();
    if (shortFrames_ > 0) {
        --shortFrames_;
        payloadLength_ -= std::min(shortBytes_, payloadLength_);
    } else if (config_.shortPayloadEvery > 0 &&
               framesStarted_ % static_cast<uint64_t>(config_.shortPayloadEvery) == 0) {
        payloadLength_ -= std::min<size_t>(2, payloadLength_);
    }
    payloadSent_ = 0;

    leader_.assign(stream::kLeaderSize, 0);
    put32(&leader_[0], stream::kLeaderMagic);
    put16(&leader_[stream::kLeaderSizeOffset], stream::kLeaderSize);
    put32(&leader_[stream::kBlockIdOffset], static_cast<uint32_t>(blockId));
    put32(&leader_[stream::kBlockIdOffset + 4], static_cast<uint32_t>(blockId >> 32));
    put16(&leader_[stream::kPayloadTypeOffset], 1); // image
    const uint64_t ts = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(now - t0_).count());
    put32(&leader_[stream::kTimestampOffset], static_cast<uint32_t>(ts));
    put32(&leader_[stream::kTimestampOffset + 4], static_cast<uint32_t>(ts >> 32));
    put32(&leader_[stream::kPixelFormatOffset], config_.pixelFormat);
    put32(&leader_[stream::kWidthOffset], width);
    put32(&leader_[stream::kHeightOffset], height);
    put32(&leader_[stream::kOffsetXOffset], static_cast<uint32_t>(scene.roiX));
    put32(&leader_[stream::kOffsetYOffset], static_cast<uint32_t>(scene.roiY));
    return true;
}

void EmulatedCamera::completeStream(EmulatedTransfer* t, std::unique_lock<std::mutex>* lock)
{
    const auto now = Clock::now();
    std::vector<uint8_t> trailer;
    const uint8_t* src = nullptr;
    size_t n = 0;
    switch (phase_) {
    case Phase::Leader: {
        const bool unplugOnce =
            config_.unplugAfterFrames > 0 && framesStarted_ >= static_cast<uint64_t>(config_.unplugAfterFrames);
        const bool unplugAgain = config_.unplugEveryFrames > 0 &&
                                 framesStarted_ - framesAtPlugIn_ >= static_cast<uint64_t>(config_.unplugEveryFrames);
        if (unplugOnce || unplugAgain) {
            complete(t, UsbStatus::NoDevice, 0);
            unplugLocked();
            return;
        }
        if (!beginFrame(now, lock)) {
            complete(t, UsbStatus::NoDevice, 0);
            return;
        }
        src = leader_.data();
        n = leader_.size();
        phase_ = payloadLength_ > 0 ? Phase::Payload : Phase::Trailer;
        break;
    }
    case Phase::Payload:
        src = payload_.data() + payloadSent_;
        n = std::min(stream::kChunkSize, payloadLength_ - payloadSent_);
        payloadSent_ += n;
        if (payloadSent_ >= payloadLength_)
            phase_ = Phase::Trailer;
        break;
    case Phase::Trailer:
        trailer.assign(stream::kTrailerSize, 0);
        put32(&trailer[0], stream::kTrailerMagic);
        put16(&trailer[6], stream::kTrailerSize);
        trailer[8] = leader_[stream::kBlockIdOffset];
        put32(&trailer[20], static_cast<uint32_t>(payloadLength_));
        src = trailer.data();
        n = trailer.size();
        phase_ = Phase::Leader;
        break;
    }
    ++streamTransfers_;
    if (config_.failStreamEvery > 0 && streamTransfers_ % static_cast<uint64_t>(config_.failStreamEvery) == 0) {
        complete(t, UsbStatus::IoError, 0);
        return;
    }
    const size_t copied = std::min(n, static_cast<size_t>(t->length_));
    std::memcpy(t->data_, src, copied);
    complete(t, copied < n ? UsbStatus::Overflow : UsbStatus::Ok, static_cast<int>(copied));
}

// ---------------------------------------------------------------- registers

void EmulatedCamera::queueAck(uint16_t status, uint16_t code, uint16_t requestId, const std::vector<uint8_t>& payload)
{
    std::vector<uint8_t> ack(protocol::kHeaderSize + payload.size(), 0);
    put32(&ack[0], protocol::kPrefix);
    put16(&ack[4], status);
    put16(&ack[6], code);
    put16(&ack[8], static_cast<uint16_t>(payload.size()));
    put16(&ack[10], requestId);
    std::copy(payload.begin(), payload.end(), ack.begin() + protocol::kHeaderSize);
    auto due = Clock::now();
    ++acksSent_;
    if (replacementAck_) {
        acks_.push_back({std::move(*replacementAck_), due});
        replacementAck_.reset();
        cond_.notify_all();
        return;
    }
    if (ackFaults_ > 0) {
        --ackFaults_;
        switch (ackFault_) {
        case AckFault::WrongPrefix: put32(&ack[0], 0x4C563355); break;
        case AckFault::WrongStatus: put16(&ack[4], kStatusInvalidParameter); break;
        case AckFault::WrongCode: put16(&ack[6], static_cast<uint16_t>(code + 4)); break;
        case AckFault::StaleRequestId: put16(&ack[10], static_cast<uint16_t>(requestId - 1)); break;
        case AckFault::Late: due += std::chrono::milliseconds(ackDelayMs_); break;
        case AckFault::Missing: return;
        }
    } else if (config_.badAckEvery > 0 && acksSent_ % static_cast<uint64_t>(config_.badAckEvery) == 0) {
        put16(&ack[10], static_cast<uint16_t>(requestId - 1));
    }
    acks_.push_back({std::move(ack), due});
    cond_.notify_all();
}

void EmulatedCamera::handleCommand(const uint8_t* data, int length)
{
    if (length < static_cast<int>(protocol::kHeaderSize) || get32(data) != protocol::kPrefix)
        return;
    const uint16_t command = get16(data + 6);
    const uint16_t payloadLength = get16(data + 8);
    const uint16_t id = get16(data + 10);
    requestIds_.push_back(id);
    lastRequestId_ = id;
    std::vector<uint8_t> reply(4, 0);
    if (command == protocol::kCmdRead && length >= 24) {
        if (payloadLength == 12) {
            int32_t value = 0;
            const uint16_t status = registers_.read(get32(data + 12), value);
            put32(reply.data(), static_cast<uint32_t>(value));
            queueAck(status, protocol::kAckRead, id, reply);
        } else {
            const uint16_t address = static_cast<uint16_t>((data[12] << 8) | data[13]);
            const uint32_t n = std::min<uint32_t>(get32(data + 20), 0x10000);
            queueAck(kStatusOk, config_.blockReadAckCode, id, registers_.readBlock(address, n));
        }
    } else if (command == protocol::kCmdWrite && length >= 24) {
        if (payloadLength == 12 && length == 24) {
            const uint32_t address = get32(data + 12);
            const uint16_t status = registers_.write(address, static_cast<int32_t>(get32(data + 20)));
            if (status == kStatusOk && address == reg::kWhiteBalanceMode && registers_.value(address) == 2) {
                // One-shot white balance: neutral gains, then back to manual.
                for (uint32_t r : {reg::kWbRed, reg::kWbGreen, reg::kWbBlue})
                    registers_.write(r, 40);
                registers_.write(reg::kWhiteBalanceMode, 0);
            }
            put32(reply.data(), status == kStatusOk ? 4 : 0);
            queueAck(status, protocol::kAckWrite, id, reply);
        } else {
            const uint16_t address = static_cast<uint16_t>((data[12] << 8) | data[13]);
            const size_t written = registers_.writeBlock(address, data + 20, static_cast<size_t>(length - 20));
            put32(reply.data(), static_cast<uint32_t>(written));
            queueAck(kStatusOk, protocol::kAckWrite, id, reply);
        }
    } else {
        queueAck(kStatusNotImplemented, static_cast<uint16_t>(command + 1), id, reply);
    }
}

// ---------------------------------------------------------------- endpoint 0

ControlResult EmulatedCamera::control(uint64_t generation, uint8_t requestType, uint8_t request, uint16_t value,
                                      uint16_t index, uint8_t* data, uint16_t length)
{
    std::lock_guard lock(mutex_);
    if (!present_ || generation != generation_)
        return {UsbStatus::NoDevice, 0};
    if (takeFault(failControl_, request))
        return {UsbStatus::IoError, 0};
    const bool in = (requestType & 0x80) != 0;
    const int type = (requestType >> 5) & 3;
    if (type == 0 && in && request == 6)
        return descriptorRequest(value, index, data, length);
    if (type == 0 && in && request == 10) {
        std::vector<uint8_t> alt{0};
        return copyOut(alt, data, length);
    }
    if (type == 2)
        return vendorRequest(in, request, value, index, data, length);
    return {UsbStatus::Stall, 0};
}

ControlResult EmulatedCamera::descriptorRequest(uint16_t value, uint16_t index, uint8_t* data, uint16_t length)
{
    const uint8_t type = static_cast<uint8_t>(value >> 8), which = static_cast<uint8_t>(value);
    switch (type) {
    case 1: return copyOut(deviceDescriptor(config_), data, length);
    case 2:
        if (which != 0)
            return {UsbStatus::Stall, 0};
        return copyOut(configurationDescriptor(config_), data, length);
    case 3: {
        if (which == 0) {
            std::vector<uint8_t> d = {static_cast<uint8_t>(2 + 2 * config_.languages.size()), 3};
            for (uint16_t l : config_.languages) {
                d.push_back(static_cast<uint8_t>(l));
                d.push_back(static_cast<uint8_t>(l >> 8));
            }
            return copyOut(d, data, length);
        }
        if (std::find(config_.languages.begin(), config_.languages.end(), index) == config_.languages.end())
            return {UsbStatus::Stall, 0};
        const std::string* texts[] = {&config_.manufacturer, &config_.product, &config_.serial};
        if (which > 3)
            return {UsbStatus::Stall, 0};
        return copyOut(stringDescriptor(*texts[which - 1]), data, length);
    }
    case 15:
        if ((config_.bcdUSB >> 8) < 2 || config_.bcdUSB < 0x0201)
            return {UsbStatus::Stall, 0};
        return copyOut(bosDescriptor(), data, length);
    default: return {UsbStatus::Stall, 0};
    }
}

ControlResult EmulatedCamera::vendorRequest(bool in, uint8_t request, uint16_t value, uint16_t index, uint8_t* data,
                                            uint16_t length)
{
    constexpr size_t kEepromSize = 64 * 1024;
    switch (request) {
    case 0xA0: {
        const uint32_t address = value | (static_cast<uint32_t>(index) << 16);
        if (!in) {
            if (length == 0) {
                entry_ = address;
                return {UsbStatus::Ok, 0};
            }
            ++ramWrites_;
            for (uint16_t i = 0; i < length; ++i)
                ram_[address + i] = data[i];
            return {UsbStatus::Ok, length};
        }
        for (uint16_t i = 0; i < length; ++i) {
            auto it = ram_.find(address + i);
            data[i] = it == ram_.end() ? 0 : it->second;
        }
        if (corruptReadBacks_ > 0 && length > 0) {
            --corruptReadBacks_;
            data[0] ^= 0x5A;
        }
        return {UsbStatus::Ok, length};
    }
    case 0xBA: {
        auto& part = eeprom_[value & 7];
        part.resize(kEepromSize, 0xFF);
        if (index + length > kEepromSize)
            return {UsbStatus::Stall, 0};
        if (in) {
            std::memcpy(data, part.data() + index, length);
        } else if (length) {
            std::memcpy(part.data() + index, data, length);
        }
        return {UsbStatus::Ok, length};
    }
    case 0xBB:
        if (!in)
            return {UsbStatus::Stall, 0};
        if (length)
            std::memset(data, 0, length);
        return {UsbStatus::Ok, length};
    case 0xD2: return {UsbStatus::Ok, 0};
    case 0xC4:
        if (!in) {
            if (value != 1)
                return {UsbStatus::Stall, 0};
            const size_t start = size_t(index) * 0x10000;
            if (spi_.size() < start + 0x10000)
                spi_.resize(start + 0x10000, 0xFF);
            std::fill(spi_.begin() + static_cast<std::ptrdiff_t>(start),
                      spi_.begin() + static_cast<std::ptrdiff_t>(start + 0x10000), 0xFF);
            eraseBusyLeft_ = eraseBusyPolls_;
            return {UsbStatus::Ok, 0};
        }
        if (length < 1)
            return {UsbStatus::Stall, 0};
        data[0] = eraseBusyLeft_ > 0 ? 1 : 0;
        if (eraseBusyLeft_ > 0)
            --eraseBusyLeft_;
        return {UsbStatus::Ok, 1};
    case 0xC2: {
        if (in)
            return {UsbStatus::Stall, 0};
        if (failFlashWrites_ > 0) {
            --failFlashWrites_;
            flashWriteFailed_ = true;
            return {UsbStatus::Ok, length};
        }
        const size_t start = size_t(index) * 256;
        if (spi_.size() < start + length)
            spi_.resize(start + length, 0xFF);
        // Flash programming only clears bits; unerased pages show it.
        for (uint16_t i = 0; i < length; ++i)
            spi_[start + i] &= data[i];
        return {UsbStatus::Ok, length};
    }
    case 0xD1:
        if (!in || length < 4)
            return {UsbStatus::Stall, 0};
        put32(data, flashWriteFailed_ ? 1 : 0);
        flashWriteFailed_ = false;
        return {UsbStatus::Ok, 4};
    default: return {UsbStatus::Stall, 0};
    }
}

} // namespace usbsdk::emulator
