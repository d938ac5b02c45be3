#include "camera/models/CMCameraLarkD.h"

#include "camera/models/OneShotWhiteBalance.h"

namespace {
constexpr int kPulseMs = 2000;
}

CMCameraLarkD::CMCameraLarkD(int deviceIndex) : CMCameraDirectShow(deviceIndex) {}

int CMCameraLarkD::getWhiteBalanceMode() { return 2; }

int CMCameraLarkD::setWhiteBalance(bool)
{
    models::oneShotWhiteBalance(deviceIo(), kPulseMs);
    return CM_OK;
}
