#include "camera/factory/DeviceGroups.h"

// The system's video-capture devices come from a V4L2 listing that is not
// part of the library yet: the group stays empty and is left out of the list,
// so the USB SDK group keeps index 0 until it arrives.
void listVideoCaptureDevices(_tag_VideoDeviceList&) {}

CMCameraBase* createVideoCaptureCamera(unsigned, const _tag_VideoDeviceInfo&) { return nullptr; }
