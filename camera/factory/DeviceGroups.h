#pragma once
// How the factory fills and uses its device groups, one access method each.
#include "camera/CMCameraBase.h"
#include "camera/usb/SensorlinkApi.h"

#include <string>
#include <vector>

// Video-capture devices of the system (group type 0, "DirectShow"): the V4L2
// capture nodes, then the emulated video cameras. Fills `group`, and `ports`
// (when given) with the port each device is plugged into, in the same order.
void listVideoCaptureDevices(_tag_VideoDeviceList& group, std::vector<std::string>* ports = nullptr);
// A zero-filled record: `name` when it fits in 63 bytes (else empty); vid
// and pid from the 4 hex digits after "vid_" and "pid_" in the lower-cased
// path, or 0 and 0 when either marker is missing.
void fillVideoDeviceRecord(const std::string& name, const std::string& devicePath, _tag_VideoDeviceInfo& device);
// The camera class the USB ids choose (a model camera or the plain video
// camera), with `index` as its device index.
CMCameraBase* createVideoCaptureCamera(unsigned index, const _tag_VideoDeviceInfo& device);

// Cameras of the USB SDK (group type 2, "SENSORLINK"), found through `sdk`;
// `ports` as above.
void listSensorlinkDevices(const SensorlinkApi& sdk, _tag_VideoDeviceList& group,
                           std::vector<std::string>* ports = nullptr);
