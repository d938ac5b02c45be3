#pragma once
// How the factory fills and uses its device groups, one access method each.
#include "camera/CMCameraBase.h"
#include "camera/usb/SensorlinkApi.h"

// Video-capture devices of the system (group type 0, "DirectShow"). Fills
// `group` with the devices found; lists nothing until the V4L2 listing exists.
void listVideoCaptureDevices(_tag_VideoDeviceList& group);
// The camera for device `index` of that group, or null.
CMCameraBase* createVideoCaptureCamera(unsigned index, const _tag_VideoDeviceInfo& device);

// Cameras of the USB SDK (group type 2, "SENSORLINK"), found through `sdk`.
void listSensorlinkDevices(const SensorlinkApi& sdk, _tag_VideoDeviceList& group);
