#include "camera/models/CMCameraLarkC.h"

#include "camera/models/OneShotWhiteBalance.h"
#include "camera/v4l2/VideoControls.h"

namespace {
constexpr int kExposureMin = 0;
constexpr int kExposureMax = 240;
constexpr int kExposureDefault = 2;
} // namespace

CMCameraLarkC::CMCameraLarkC(int deviceIndex) : CMCameraDirectShow(deviceIndex) {}

int CMCameraLarkC::getWhiteBalanceMode() { return 2; }

int CMCameraLarkC::setWhiteBalance(bool automatic)
{
    if (getWhiteBalanceMode() == 1)
        return CMCameraDirectShow::setWhiteBalance(automatic);
    models::oneShotWhiteBalance(deviceIo(), 0);
    return CM_OK;
}

bool CMCameraLarkC::IsPropertySupport(tagCMProperty p)
{
    if (p == CM_PROP_EXPOSURE || p == CM_PROP_WB_TEMPERATURE)
        return true;
    return CMCameraDirectShow::IsPropertySupport(p);
}

int CMCameraLarkC::GetPropertyRange(tagCMProperty p, int* min, int* max, int* def, int* step)
{
    if (p != CM_PROP_EXPOSURE)
        return CMCameraDirectShow::GetPropertyRange(p, min, max, def, step);
    if (min)
        *min = kExposureMin;
    if (max)
        *max = kExposureMax;
    if (def)
        *def = kExposureDefault;
    return CM_OK;
}

int CMCameraLarkC::GetProperty(tagCMProperty p, int* value)
{
    if (p != CM_PROP_EXPOSURE)
        return CMCameraDirectShow::GetProperty(p, value);
    if (!value)
        return CM_E_INVALIDARG;
    v4l2::VideoDeviceIo* io = deviceIo();
    int read = 0;
    if (!io || v4l2::getControl(*io, V4L2_CID_FOCUS_ABSOLUTE, read) != 0)
        return CM_E_NOTSUPPORTED;
    *value = read;
    return CM_OK;
}

int CMCameraLarkC::SetProperty(tagCMProperty p, int value)
{
    if (p != CM_PROP_EXPOSURE)
        return CMCameraDirectShow::SetProperty(p, value);
    v4l2::VideoDeviceIo* io = deviceIo();
    if (!io)
        return CM_E_NOTSUPPORTED;
    // A manual value: automatic focus, where the device has it, lets go first.
    v4l2_queryctrl query;
    if (v4l2::queryControl(*io, V4L2_CID_FOCUS_AUTO, query) == 0)
        v4l2::setControl(*io, V4L2_CID_FOCUS_AUTO, 0);
    return v4l2::setControl(*io, V4L2_CID_FOCUS_ABSOLUTE, value) == 0 ? CM_OK : CM_E_FAILED;
}

int CMCameraLarkC::GetPropertyUnit(tagCMProperty p, char* buf, int bufSize)
{
    return p == CM_PROP_EXPOSURE ? CMCameraSDK::GetPropertyUnit(p, buf, bufSize)
                                 : CMCameraDirectShow::GetPropertyUnit(p, buf, bufSize);
}

int CMCameraLarkC::GetPropertyAlias(tagCMProperty p, int value, char* buf, int bufSize)
{
    return p == CM_PROP_EXPOSURE ? CMCameraSDK::GetPropertyAlias(p, value, buf, bufSize)
                                 : CMCameraDirectShow::GetPropertyAlias(p, value, buf, bufSize);
}
