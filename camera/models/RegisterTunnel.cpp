#include "camera/models/RegisterTunnel.h"

#include "camera/v4l2/EmulatedCameraSpec.h"
#include "camera/v4l2/VideoControls.h"

namespace models {
namespace {

void selectRegister(v4l2::VideoDeviceIo& io, int reg) { v4l2::setControl(io, v4l2::kRollControlId, reg & 0xFF); }

} // namespace

bool tunnelPresent(v4l2::VideoDeviceIo* io)
{
    v4l2_queryctrl query;
    return io && v4l2::queryControl(*io, v4l2::kRollControlId, query) == 0 &&
           v4l2::queryControl(*io, V4L2_CID_FOCUS_ABSOLUTE, query) == 0;
}

void writeRegister(v4l2::VideoDeviceIo* io, int reg, int value)
{
    if (!tunnelPresent(io))
        return;
    selectRegister(*io, reg);
    v4l2::setControl(*io, V4L2_CID_FOCUS_ABSOLUTE, value & 0xFFFF);
}

int16_t readRegister(v4l2::VideoDeviceIo* io, int reg)
{
    if (!tunnelPresent(io))
        return 0;
    selectRegister(*io, reg);
    v4l2_queryctrl range; // the device expects the range query before the read
    v4l2::queryControl(*io, V4L2_CID_FOCUS_ABSOLUTE, range);
    int value = 0;
    if (v4l2::getControl(*io, V4L2_CID_FOCUS_ABSOLUTE, value) != 0)
        return 0;
    return static_cast<int16_t>(static_cast<uint16_t>(value & 0xFFFF));
}

} // namespace models
