#pragma once

// The largest width and height, in pixels, a stream leader may announce.
// sensorlink takes 1..4096; the Vexel build is compiled with 8192.
#ifndef VEXEL_MAX_IMAGE_DIMENSION
#define VEXEL_MAX_IMAGE_DIMENSION 4096
#endif

namespace usbsdk {
constexpr int kMaxImageDimension = VEXEL_MAX_IMAGE_DIMENSION;
}
