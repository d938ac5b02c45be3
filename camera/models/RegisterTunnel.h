#pragma once
// The register interface of the LarkA/LarkB cameras, tunnelled through two
// camera controls: Roll selects an 8-bit register, Focus then reads or
// writes its 16-bit value. Where the device does not offer the roll control
// (every camera on the kernel's stock UVC driver, which maps no roll
// control), each step is skipped silently and reads give 0; the cameras
// then ask tunnelPresent first and fall back to the standard controls.
#include "camera/v4l2/VideoDeviceIo.h"

#include <cstdint>

namespace models {

// The device offers the roll and focus controls the tunnel runs through.
bool tunnelPresent(v4l2::VideoDeviceIo* io);
// `io` may be null (device not set up): nothing happens then.
void writeRegister(v4l2::VideoDeviceIo* io, int reg, int value);
// The register's low 16 bits as a signed value; 0 when the tunnel is missing.
int16_t readRegister(v4l2::VideoDeviceIo* io, int reg);

} // namespace models
