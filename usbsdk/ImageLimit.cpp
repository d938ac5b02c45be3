#include "usbsdk/ImageLimit.h"

static_assert(usbsdk::kMaxImageDimension == 4096 || usbsdk::kMaxImageDimension == 8192,
              "the SDK is built for 4096 (sensorlink) or 8192 (Vexel) pixels");
