#pragma once
// Which USB devices the SDK counts as cameras: those with an interface that
// carries the three bulk endpoints of the camera protocol, 0x01 OUT
// (commands), 0x81 IN (acknowledgements) and 0x83 IN (image stream).
// When SENSORLINK_USB_IDS lists vendor:product pairs, exactly the listed
// devices count, with or without those endpoints (a controller waiting for
// its firmware has none).
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "usbsdk/transport/Descriptors.h"

namespace usbsdk {

using UsbIdList = std::vector<std::pair<uint16_t, uint16_t>>;

bool hasCameraEndpoints(const InterfaceDescriptor& interface);
// The number of the first interface (any alternate setting) with the camera endpoints.
std::optional<int> cameraInterfaceNumber(const ConfigurationDescriptor& configuration);
// "1209:5ec5,abcd:0123" (hex); entries that do not parse are skipped.
UsbIdList parseUsbIdList(const std::string& text);
// An empty list allows every device.
bool idAllowed(const UsbIdList& allowed, uint16_t vendorId, uint16_t productId);
// The rule above for one device; `configuration` is its active configuration
// (null when it could not be read).
bool countsAsCamera(const ConfigurationDescriptor* configuration, uint16_t vendorId, uint16_t productId,
                    const UsbIdList& allowed);

} // namespace usbsdk
