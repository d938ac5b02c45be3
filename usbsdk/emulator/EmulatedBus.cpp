#include "usbsdk/emulator/EmulatedBus.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace usbsdk::emulator {
namespace {

std::string portOf(size_t number) { return "emulated:" + std::to_string(number); }

class EmulatedConnection final : public UsbConnection {
public:
    EmulatedConnection(std::shared_ptr<EmulatedCamera> camera, size_t number)
        : camera_(std::move(camera)), generation_(camera_->generation()), number_(number)
    {
        note("open");
    }
    ~EmulatedConnection() override { note("close"); }
    ControlResult control(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index, uint8_t* data,
                          uint16_t length, uint32_t) override
    {
        return camera_->control(generation_, requestType, request, value, index, data, length);
    }
    std::unique_ptr<UsbTransfer> submitBulk(uint8_t endpoint, uint8_t* data, int length) override
    {
        return camera_->submit(generation_, endpoint, data, length);
    }
    void abortPipe(uint8_t endpoint) override { camera_->abortPipe(endpoint); }
    int interfaceNumber() const override { return 0; }
    std::string path() const override { return portOf(number_); }

private:
    void note(const char* what) const
    {
        const std::string& path = camera_->config().eventsPath;
        if (path.empty())
            return;
        if (std::FILE* file = std::fopen(path.c_str(), "a")) {
            std::fprintf(file, "%s %s\n", what, camera_->config().serial.c_str());
            std::fclose(file);
        }
    }

    std::shared_ptr<EmulatedCamera> camera_;
    uint64_t generation_;
    size_t number_;
};

} // namespace

std::shared_ptr<EmulatedCamera> EmulatedBus::addCamera(EmulatorConfig config)
{
    auto camera = std::make_shared<EmulatedCamera>(std::move(config));
    std::lock_guard lock(mutex_);
    cameras_.push_back(camera);
    return camera;
}

std::shared_ptr<EmulatedCamera> EmulatedBus::camera(size_t i) const
{
    std::lock_guard lock(mutex_);
    return i < cameras_.size() ? cameras_[i] : nullptr;
}

void EmulatedBus::setControlFile(std::string path)
{
    std::lock_guard lock(mutex_);
    controlFile_ = std::move(path);
}

void EmulatedBus::setHeld(size_t i, bool held)
{
    std::lock_guard lock(mutex_);
    if (held)
        held_.insert(i);
    else
        held_.erase(i);
}

void EmulatedBus::followControlFile()
{
    if (controlFile_.empty())
        return;
    std::set<size_t> unplugged, held;
    std::ifstream file(controlFile_);
    for (std::string line; std::getline(file, line);) {
        std::istringstream words(line);
        std::string what;
        long number = -1;
        if (!(words >> what >> number) || number < 0)
            continue;
        if (what == "unplugged")
            unplugged.insert(size_t(number));
        else if (what == "held")
            held.insert(size_t(number));
    }
    for (size_t i = 0; i < cameras_.size(); ++i) {
        const bool wanted = unplugged.count(i) != 0, done = unpluggedByFile_.count(i) != 0;
        if (wanted && !done)
            cameras_[i]->unplug();
        else if (!wanted && done)
            cameras_[i]->replug();
    }
    unpluggedByFile_ = std::move(unplugged);
    heldByFile_ = std::move(held);
}

int EmulatedBus::deviceCount()
{
    std::lock_guard lock(mutex_);
    followControlFile();
    int n = 0;
    for (const auto& c : cameras_)
        n += c->present() ? 1 : 0;
    return n;
}

std::vector<UsbDeviceIds> EmulatedBus::listDevices()
{
    std::lock_guard lock(mutex_);
    followControlFile();
    std::vector<UsbDeviceIds> ids;
    for (size_t i = 0; i < cameras_.size(); ++i)
        if (cameras_[i]->present())
            ids.push_back({cameras_[i]->config().vendorId, cameras_[i]->config().productId, portOf(i)});
    return ids;
}

std::unique_ptr<UsbConnection> EmulatedBus::open(int index)
{
    std::lock_guard lock(mutex_);
    followControlFile();
    int n = 0;
    for (size_t i = 0; i < cameras_.size(); ++i) {
        if (!cameras_[i]->present())
            continue;
        if (n++ != index)
            continue;
        if (held_.count(i) || heldByFile_.count(i)) {
            lastOpenError_ = UsbOpenError::Busy;
            return nullptr;
        }
        lastOpenError_ = UsbOpenError::None;
        return std::make_unique<EmulatedConnection>(cameras_[i], i);
    }
    lastOpenError_ = UsbOpenError::Gone;
    return nullptr;
}

UsbOpenError EmulatedBus::lastOpenError() const
{
    std::lock_guard lock(mutex_);
    return lastOpenError_;
}

} // namespace usbsdk::emulator
