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
    // A network camera's own reasons (CMCameraBase::GetOpenFailure).
    CM_OPEN_FAILURE_REFUSED = 6,      // nothing accepts connections at that address and port
    CM_OPEN_FAILURE_TIMED_OUT = 7,    // the address did not answer within the open time-out
    CM_OPEN_FAILURE_UNREACHABLE = 8,  // the host is unknown or cannot be reached
    CM_OPEN_FAILURE_NOT_A_STREAM = 9, // it answered, but with no video stream the program can show
};

// A CMOpenFailure value; safe to call from any thread.
LENSBRIDGE_API int CMGetLastOpenFailure();
// The text id of the extra line the open-failure box shows for `failure`
// ("STR_USB_ACCESS_RULE" for CM_OPEN_FAILURE_PERMISSION,
// "STR_VIDEO_GROUP_ACCESS" for CM_OPEN_FAILURE_VIDEO_GROUP, a line of its own
// for each network reason), or null for none.
LENSBRIDGE_API const char* CMOpenFailureTextId(int failure);
