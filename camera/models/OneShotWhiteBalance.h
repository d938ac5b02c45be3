#pragma once
// One-shot white balance of the LarkC and LarkD cameras: automatic white
// balance on, then a pulse on the backlight-compensation control (1, then 0)
// that makes the camera settle and hold. Steps the device cannot take are
// skipped.
#include "camera/v4l2/VideoDeviceIo.h"

namespace models {

// `io` may be null (device not set up). `pulseMs` is how long the pulse holds.
void oneShotWhiteBalance(v4l2::VideoDeviceIo* io, int pulseMs);

} // namespace models
