#pragma once
// Why the last USB3 camera could not be opened. CMCameraISSR::Init returns
// CM_E_OPEN when the camera was listed but could not be opened; the program's
// open-failure box asks here for the reason and, for a missing access right,
// adds the line of CMOpenFailureTextId (the udev rule to install).
#include "camera/LensbridgeExport.h"

enum CMOpenFailure {
    CM_OPEN_FAILURE_NONE = 0,       // the last open succeeded, or none was tried
    CM_OPEN_FAILURE_PERMISSION = 1, // no access to the device node: the udev rule is not installed
    CM_OPEN_FAILURE_BUSY = 2,       // another program holds the camera
    CM_OPEN_FAILURE_GONE = 3,       // unplugged meanwhile
    CM_OPEN_FAILURE_OTHER = 4,
    CM_OPEN_FAILURE_VIDEO_GROUP = 5, // no access to a video node: the user is not in the video group
};

// A CMOpenFailure value; safe to call from any thread.
LENSBRIDGE_API int CMGetLastOpenFailure();
// The text id of the extra line the open-failure box shows for `failure`
// ("STR_USB_ACCESS_RULE" for CM_OPEN_FAILURE_PERMISSION,
// "STR_VIDEO_GROUP_ACCESS" for CM_OPEN_FAILURE_VIDEO_GROUP), or null for none.
LENSBRIDGE_API const char* CMOpenFailureTextId(int failure);
