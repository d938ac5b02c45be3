#pragma once
// The SDK's global state and the operations behind the exported Vexel_
// functions. The shared library holds one instance; tests create their own
// over an emulated bus.
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "usbsdk/Vexel.h"
#include "usbsdk/sdk/CameraSession.h"
#include "usbsdk/transport/UsbBus.h"
#include "usbsdk/transport/UsbDevice.h"

namespace usbsdk {

struct SdkOptions {
    uint32_t maxDimension = 4096;
    uint32_t commandTimeoutMs = 10000;
    // Creates the bus at init; null result = out of memory / no USB access.
    std::function<std::shared_ptr<UsbBus>()> busFactory;
};

// The bus the shipped libraries use: emulated cameras when SENSORLINK_EMULATE
// is set, else libusb.
std::shared_ptr<UsbBus> defaultBus();

class Sdk {
public:
    explicit Sdk(SdkOptions options);
    ~Sdk();
    Sdk(const Sdk&) = delete;
    Sdk& operator=(const Sdk&) = delete;

    int32_t init();
    int32_t uninit();
    int32_t searchCamera(CameraInfo* list);
    int32_t loginCamera(const CameraInfo* info);
    int32_t logoutCamera(int32_t index);
    // The port of camera `index` (see Vexel_GetCameraPort).
    int32_t getCameraPort(int32_t index, char* port, int32_t size);
    // A VEXEL_OPEN_ code: why the last login could not open its camera.
    int32_t openFailure() const { return openFailure_; }
    CameraInfo* getCameraInfo(int32_t index);
    int32_t setCaptureCallback(int32_t index, VexelCaptureCallback callback, void* userData, int32_t userValue);
    int32_t startCapture(int32_t index);
    int32_t stopCapture(int32_t index);
    int32_t getCaptureConnectState(int32_t index);
    int32_t startCtrl(int32_t index);
    int32_t stopCtrl(int32_t index);
    int32_t getCtrlConnectState(int32_t index);
    int32_t setParam(int32_t index, uint32_t param, int32_t value);
    int32_t getParam(int32_t index, uint32_t param, int32_t* value);
    int32_t setBlockParam(int32_t index, uint16_t address, const void* data, int32_t length);
    int32_t getBlockParam(int32_t index, uint16_t address, void* buffer, int32_t* length);
    int32_t fwUpdate(int32_t deviceIndex, const char* path, int32_t target);

    // For tests and the tool: the session of a camera index, or null.
    CameraSession* session(int32_t index);
    // The detailed result of the last firmware download (FirmwareResult).
    int lastFirmwareResult() const { return lastFirmwareResult_; }

private:
    // The session of a logged-in camera, or the code why there is none.
    int32_t checkedSession(int32_t index, CameraSession*& session);

    SdkOptions options_;
    bool initialised_ = false;
    std::shared_ptr<UsbBus> bus_;
    std::unique_ptr<UsbDevice> device_;
    std::array<std::unique_ptr<CameraSession>, VEXEL_MAX_CAMERAS> sessions_;
    int lastFirmwareResult_ = 0;
    int32_t openFailure_ = VEXEL_OPEN_OK;
    // Ports of the last search's positions, and of the devices logged in.
    std::array<std::string, VEXEL_MAX_CAMERAS> searchPorts_;
    std::array<std::string, VEXEL_MAX_CAMERAS> loggedInPorts_;
};

} // namespace usbsdk
