// The exported functions: one SDK instance per loaded library. No exception
// leaves the library; an unexpected one reports out of memory.
#include <new>

#include "usbsdk/ImageLimit.h"
#include "usbsdk/Vexel.h"
#include "usbsdk/sdk/Sdk.h"

namespace {

usbsdk::Sdk& sdk()
{
    static usbsdk::Sdk instance(usbsdk::SdkOptions{static_cast<uint32_t>(usbsdk::kMaxImageDimension), 10000, {}});
    return instance;
}

template <typename F> int32_t guarded(F&& f) noexcept
{
    try {
        return f();
    } catch (...) {
        return VEXEL_E_NO_MEMORY;
    }
}

} // namespace

int32_t Vexel_Init(void) noexcept
{
    return guarded([] { return sdk().init(); });
}
int32_t Vexel_UnInit(void) noexcept
{
    return guarded([] { return sdk().uninit(); });
}
int32_t Vexel_SearchCamera(CameraInfo* list) noexcept
{
    return guarded([&] { return sdk().searchCamera(list); });
}
int32_t Vexel_LoginCamera(const CameraInfo* info) noexcept
{
    return guarded([&] { return sdk().loginCamera(info); });
}
int32_t Vexel_LogoutCamera(int32_t index) noexcept
{
    return guarded([&] { return sdk().logoutCamera(index); });
}
int32_t Vexel_GetCameraPort(int32_t index, char* port, int32_t size) noexcept
{
    return guarded([&] { return sdk().getCameraPort(index, port, size); });
}
int32_t Vexel_GetOpenFailure(void) noexcept
{
    return guarded([] { return sdk().openFailure(); });
}
CameraInfo* Vexel_GetCameraInfo(int32_t index) noexcept { return sdk().getCameraInfo(index); }
int32_t Vexel_SetCaptureCallback(int32_t index, VexelCaptureCallback callback, void* userData,
                                 int32_t userValue) noexcept
{
    return guarded([&] { return sdk().setCaptureCallback(index, callback, userData, userValue); });
}
int32_t Vexel_StartCapture(int32_t index) noexcept
{
    return guarded([&] { return sdk().startCapture(index); });
}
int32_t Vexel_StopCapture(int32_t index) noexcept
{
    return guarded([&] { return sdk().stopCapture(index); });
}
int32_t Vexel_GetCaptureConnectState(int32_t index) noexcept
{
    return guarded([&] { return sdk().getCaptureConnectState(index); });
}
int32_t Vexel_StartCtrl(int32_t index) noexcept
{
    return guarded([&] { return sdk().startCtrl(index); });
}
int32_t Vexel_StopCtrl(int32_t index) noexcept
{
    return guarded([&] { return sdk().stopCtrl(index); });
}
int32_t Vexel_GetCtrlConnectState(int32_t index) noexcept
{
    return guarded([&] { return sdk().getCtrlConnectState(index); });
}
int32_t Vexel_SetParam(int32_t index, uint32_t param, int32_t value) noexcept
{
    return guarded([&] { return sdk().setParam(index, param, value); });
}
int32_t Vexel_GetParam(int32_t index, uint32_t param, int32_t* value) noexcept
{
    return guarded([&] { return sdk().getParam(index, param, value); });
}
int32_t Vexel_SetBlockParam(int32_t index, uint16_t address, const void* data, int32_t length) noexcept
{
    return guarded([&] { return sdk().setBlockParam(index, address, data, length); });
}
int32_t Vexel_GetBlockParam(int32_t index, uint16_t address, void* buffer, int32_t* length) noexcept
{
    return guarded([&] { return sdk().getBlockParam(index, address, buffer, length); });
}
int32_t Vexel_FwUpdate(int32_t deviceIndex, const char* path, int32_t target) noexcept
{
    return guarded([&] { return sdk().fwUpdate(deviceIndex, path, target); });
}
