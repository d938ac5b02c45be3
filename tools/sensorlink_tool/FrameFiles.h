#pragma once
// Writing captured frames: the raw frame as delivered, and a viewable PPM.
#include <cstdint>
#include <string>

namespace sensorlink_tool {

// The frame exactly as the SDK delivered it (leader + payload).
bool writeRawFrame(const std::string& path, const uint8_t* frame, size_t size);
// The payload converted from packed 4:2:2 (Y0 U Y1 V) to an RGB PPM image.
bool writePpmFrame(const std::string& path, const uint8_t* frame, size_t size);

} // namespace sensorlink_tool
