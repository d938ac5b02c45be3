#pragma once
// The USB SDK functions the USB camera and the factory call, gathered in one
// table so the camera's mapping onto the SDK can also run against a scripted
// SDK. `sensorlinkApi()` is the table of the linked libsensorlink.
#include "usbsdk/Vexel.h"

struct SensorlinkApi {
    int32_t (*init)();
    int32_t (*uninit)();
    int32_t (*searchCamera)(CameraInfo* list);
    int32_t (*loginCamera)(const CameraInfo* info);
    int32_t (*logoutCamera)(int32_t index);
    int32_t (*setCaptureCallback)(int32_t index, VexelCaptureCallback callback, void* userData, int32_t userValue);
    int32_t (*startCapture)(int32_t index);
    int32_t (*stopCapture)(int32_t index);
    int32_t (*startCtrl)(int32_t index);
    int32_t (*stopCtrl)(int32_t index);
    int32_t (*setParam)(int32_t index, uint32_t param, int32_t value);
    int32_t (*getParam)(int32_t index, uint32_t param, int32_t* value);
    int32_t (*getOpenFailure)();
    int32_t (*getCameraPort)(int32_t index, char* port, int32_t size);
};

const SensorlinkApi& sensorlinkApi();
