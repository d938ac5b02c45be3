#pragma once
// The USB bus realised with libusb-1.0.
//
// A device counts as a camera when an interface of its active configuration
// has the three bulk endpoints of the camera protocol: 0x01 OUT (commands),
// 0x81 IN (acknowledgements) and 0x83 IN (image stream). When
// SENSORLINK_USB_IDS (e.g. "1209:5ec5,1209:5ec6") is set, exactly the listed
// vendor:product ids count instead (see DeviceSelection.h). Cameras are ordered
// by bus number and port path, so indices stay stable while nothing is plugged
// or unplugged.
#include <memory>

#include "usbsdk/transport/UsbBus.h"

namespace usbsdk {

// Null when libusb cannot be initialised.
std::shared_ptr<UsbBus> makeLibusbBus();

} // namespace usbsdk
