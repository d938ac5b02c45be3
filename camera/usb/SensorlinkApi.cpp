#include "camera/usb/SensorlinkApi.h"

const SensorlinkApi& sensorlinkApi()
{
    static const SensorlinkApi api{
        [] { return Vexel_Init(); },
        [] { return Vexel_UnInit(); },
        [](CameraInfo* list) { return Vexel_SearchCamera(list); },
        [](const CameraInfo* info) { return Vexel_LoginCamera(info); },
        [](int32_t index) { return Vexel_LogoutCamera(index); },
        [](int32_t index, VexelCaptureCallback callback, void* userData, int32_t userValue) {
            return Vexel_SetCaptureCallback(index, callback, userData, userValue);
        },
        [](int32_t index) { return Vexel_StartCapture(index); },
        [](int32_t index) { return Vexel_StopCapture(index); },
        [](int32_t index) { return Vexel_StartCtrl(index); },
        [](int32_t index) { return Vexel_StopCtrl(index); },
        [](int32_t index, uint32_t param, int32_t value) { return Vexel_SetParam(index, param, value); },
        [](int32_t index, uint32_t param, int32_t* value) { return Vexel_GetParam(index, param, value); },
        [] { return Vexel_GetOpenFailure(); },
        [](int32_t index, char* port, int32_t size) { return Vexel_GetCameraPort(index, port, size); },
    };
    return api;
}
