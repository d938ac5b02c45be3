#include "usbsdk/sdk/Sdk.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <new>
#include <vector>

#include "platform/DebugOutput.h"
#include "usbsdk/emulator/EmulatorEnvironment.h"
#include "usbsdk/transport/Firmware.h"
#include "usbsdk/transport/LibusbBus.h"

namespace usbsdk {

std::shared_ptr<UsbBus> defaultBus()
{
    if (auto emulated = emulator::busFromEnvironment())
        return emulated;
    return makeLibusbBus();
}

namespace {
int32_t openFailureCode(UsbOpenError error)
{
    switch (error) {
    case UsbOpenError::None: return VEXEL_OPEN_OK;
    case UsbOpenError::NoPermission: return VEXEL_OPEN_NO_PERMISSION;
    case UsbOpenError::Busy: return VEXEL_OPEN_BUSY;
    case UsbOpenError::Gone: return VEXEL_OPEN_GONE;
    case UsbOpenError::Other: break;
    }
    return VEXEL_OPEN_FAILED;
}
} // namespace

Sdk::Sdk(SdkOptions options) : options_(std::move(options))
{
    if (!options_.busFactory)
        options_.busFactory = defaultBus;
}

Sdk::~Sdk()
{
    if (initialised_)
        uninit();
}

int32_t Sdk::init()
{
    if (initialised_)
        return VEXEL_E_STATE;
    bus_ = options_.busFactory();
    if (!bus_)
        return VEXEL_E_NO_MEMORY;
    device_ = std::make_unique<UsbDevice>(bus_);
    for (auto& s : sessions_)
        s.reset();
    initialised_ = true;
    return VEXEL_OK;
}

int32_t Sdk::uninit()
{
    if (!initialised_)
        return VEXEL_E_STATE;
    for (auto& s : sessions_) {
        if (s)
            s->stopCapture();
        s.reset();
    }
    device_.reset();
    bus_.reset();
    initialised_ = false;
    return VEXEL_OK;
}

int32_t Sdk::searchCamera(CameraInfo* list)
{
    if (!initialised_)
        return VEXEL_E_NOT_INITIALISED;
    if (!list)
        return VEXEL_E_ARGUMENT;
    // Only the ids are needed: nothing is opened, so listing neither takes a
    // camera from another program nor fails on one the user may not open.
    const std::vector<UsbDeviceIds> ids = bus_->listDevices();
    // The caller's list holds one record per camera session; cameras beyond
    // that could not be logged in anyway and are not written.
    const int n = static_cast<int>(ids.size());
    const int reported = n < VEXEL_MAX_CAMERAS ? n : VEXEL_MAX_CAMERAS;
    for (auto& port : searchPorts_)
        port.clear();
    for (int i = 0; i < reported; ++i) {
        searchPorts_[static_cast<size_t>(i)] = ids[static_cast<size_t>(i)].port;
        list[i].index = i;
        list[i].vendorId = ids[static_cast<size_t>(i)].vendorId;
        list[i].productId = ids[static_cast<size_t>(i)].productId;
    }
    return reported;
}

int32_t Sdk::loginCamera(const CameraInfo* info)
{
    if (!initialised_)
        return VEXEL_E_NOT_INITIALISED;
    if (!info)
        return VEXEL_E_ARGUMENT;
    if (info->index < 0 || info->index >= VEXEL_MAX_CAMERAS)
        return VEXEL_E_LOGIN_INDEX;
    auto& slot = sessions_[static_cast<size_t>(info->index)];
    if (!slot) {
        slot.reset(new (std::nothrow) CameraSession({options_.maxDimension, options_.commandTimeoutMs}));
        if (!slot)
            return VEXEL_E_NO_MEMORY;
    }
    CameraSession& s = *slot;
    s.reset();
    s.ring().resetIndices();
    std::memset(&s.info, 0, sizeof s.info);
    s.info.index = info->index;
    s.info.vendorId = info->vendorId;
    s.info.productId = info->productId;
    s.loggedIn = true;
    s.attach(nullptr);
    loggedInPorts_[static_cast<size_t>(info->index)].clear();
    auto device = std::make_unique<UsbDevice>(bus_);
    // Past the cameras present the bus is not asked, so its last answer
    // (about another open) says nothing here.
    const bool present = info->index < device->deviceCount();
    if (!device->open(info->index)) {
        openFailure_ = present ? openFailureCode(bus_->lastOpenError()) : VEXEL_OPEN_GONE;
        return VEXEL_E_NO_SESSION;
    }
    openFailure_ = VEXEL_OPEN_OK;
    loggedInPorts_[static_cast<size_t>(info->index)] = device->path();
    s.attach(std::move(device));
    return info->index;
}

int32_t Sdk::logoutCamera(int32_t index)
{
    if (index < 0 || index >= VEXEL_MAX_CAMERAS)
        return VEXEL_E_ARGUMENT;
    if (!initialised_)
        return VEXEL_OK;
    auto& s = sessions_[static_cast<size_t>(index)];
    if (!s)
        return VEXEL_OK;
    if (!s->loggedIn)
        return VEXEL_E_STATE;
    s->reset();
    loggedInPorts_[static_cast<size_t>(index)].clear();
    return VEXEL_OK;
}

int32_t Sdk::getCameraPort(int32_t index, char* port, int32_t size)
{
    if (!initialised_)
        return VEXEL_E_NOT_INITIALISED;
    if (index < 0 || index >= VEXEL_MAX_CAMERAS || !port || size <= 0)
        return VEXEL_E_ARGUMENT;
    const auto& session = sessions_[static_cast<size_t>(index)];
    const std::string& loggedIn = loggedInPorts_[static_cast<size_t>(index)];
    const std::string& text =
        session && session->loggedIn && !loggedIn.empty() ? loggedIn : searchPorts_[static_cast<size_t>(index)];
    if (text.size() + 1 > static_cast<size_t>(size))
        return VEXEL_E_ARGUMENT;
    std::memcpy(port, text.c_str(), text.size() + 1);
    return static_cast<int32_t>(text.size());
}

int32_t Sdk::checkedSession(int32_t index, CameraSession*& session)
{
    if (!initialised_)
        return VEXEL_E_NOT_INITIALISED;
    if (index < 0 || index >= VEXEL_MAX_CAMERAS)
        return VEXEL_E_ARGUMENT;
    session = sessions_[static_cast<size_t>(index)].get();
    if (!session || !session->loggedIn)
        return VEXEL_E_NO_SESSION;
    return VEXEL_OK;
}

CameraSession* Sdk::session(int32_t index)
{
    if (index < 0 || index >= VEXEL_MAX_CAMERAS)
        return nullptr;
    return sessions_[static_cast<size_t>(index)].get();
}

CameraInfo* Sdk::getCameraInfo(int32_t index)
{
    CameraSession* s = nullptr;
    return checkedSession(index, s) == VEXEL_OK ? &s->info : nullptr;
}

int32_t Sdk::setCaptureCallback(int32_t index, VexelCaptureCallback callback, void* userData, int32_t userValue)
{
    CameraSession* s = nullptr;
    if (int32_t rc = checkedSession(index, s))
        return rc;
    s->setCallback(callback, userData, userValue);
    return VEXEL_OK;
}

int32_t Sdk::startCapture(int32_t index)
{
    CameraSession* s = nullptr;
    if (int32_t rc = checkedSession(index, s))
        return rc;
    return s->startCapture();
}

int32_t Sdk::stopCapture(int32_t index)
{
    CameraSession* s = nullptr;
    if (int32_t rc = checkedSession(index, s))
        return rc;
    s->stopCapture();
    return VEXEL_OK;
}

int32_t Sdk::getCaptureConnectState(int32_t index)
{
    CameraSession* s = nullptr;
    if (int32_t rc = checkedSession(index, s))
        return rc;
    return s->captureState();
}

int32_t Sdk::startCtrl(int32_t index)
{
    CameraSession* s = nullptr;
    if (int32_t rc = checkedSession(index, s))
        return rc;
    return s->startCtrl();
}

int32_t Sdk::stopCtrl(int32_t index)
{
    CameraSession* s = nullptr;
    if (int32_t rc = checkedSession(index, s))
        return rc;
    s->stopCtrl();
    return VEXEL_OK;
}

int32_t Sdk::getCtrlConnectState(int32_t index)
{
    CameraSession* s = nullptr;
    if (int32_t rc = checkedSession(index, s))
        return rc;
    return s->ctrlState();
}

int32_t Sdk::setParam(int32_t index, uint32_t param, int32_t value)
{
    CameraSession* s = nullptr;
    if (int32_t rc = checkedSession(index, s))
        return rc;
    return s->setParam(param, value);
}

int32_t Sdk::getParam(int32_t index, uint32_t param, int32_t* value)
{
    CameraSession* s = nullptr;
    if (int32_t rc = checkedSession(index, s))
        return rc;
    if (!value)
        return VEXEL_E_ARGUMENT;
    return s->getParam(param, value);
}

int32_t Sdk::setBlockParam(int32_t index, uint16_t address, const void* data, int32_t length)
{
    CameraSession* s = nullptr;
    if (int32_t rc = checkedSession(index, s))
        return rc;
    if (!data || length <= 4)
        return VEXEL_E_NO_SESSION;
    return s->setBlock(address, data, length);
}

int32_t Sdk::getBlockParam(int32_t index, uint16_t address, void* buffer, int32_t* length)
{
    CameraSession* s = nullptr;
    if (int32_t rc = checkedSession(index, s))
        return rc;
    if (!buffer || !length)
        return VEXEL_E_ARGUMENT;
    return s->getBlock(address, buffer, length);
}

int32_t Sdk::fwUpdate(int32_t deviceIndex, const char* path, int32_t target)
{
    if (!initialised_)
        return VEXEL_E_NOT_INITIALISED;
    if (!device_->open(deviceIndex))
        return VEXEL_E_NO_SESSION;
    std::vector<uint8_t> image;
    if (path) {
        std::ifstream file(path, std::ios::binary);
        if (file)
            image.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    lastFirmwareResult_ = image.empty() ? kFwNoImage : device_->downloadFirmware(image.data(), image.size(), target);
    device_->close();
    if (lastFirmwareResult_ != kFwOk) {
        platform::DebugPrintf("firmware download: %s (%d)\n", firmwareResultName(lastFirmwareResult_),
                              lastFirmwareResult_);
        return VEXEL_E_FIRMWARE;
    }
    return VEXEL_OK;
}

} // namespace usbsdk
