#include "camera/models/OneShotWhiteBalance.h"

#include "camera/v4l2/VideoControls.h"

#include <chrono>
#include <thread>

namespace models {
namespace {

void setIfPresent(v4l2::VideoDeviceIo* io, uint32_t id, int value)
{
    v4l2_queryctrl query;
    if (io && v4l2::queryControl(*io, id, query) == 0)
        v4l2::setControl(*io, id, value);
}

} // namespace

void oneShotWhiteBalance(v4l2::VideoDeviceIo* io, int pulseMs)
{
    setIfPresent(io, V4L2_CID_AUTO_WHITE_BALANCE, 1);
    setIfPresent(io, V4L2_CID_BACKLIGHT_COMPENSATION, 1);
    if (pulseMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(pulseMs));
    setIfPresent(io, V4L2_CID_BACKLIGHT_COMPENSATION, 0);
}

} // namespace models
