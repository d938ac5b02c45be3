#pragma once
// The LarkD camera (0x2B16:0x6689): one-shot white balance with a 2000 ms
// pulse; everything else as any video device.
#include "camera/v4l2/CMCameraDirectShow.h"

class CMCameraLarkD : public CMCameraDirectShow {
public:
    explicit CMCameraLarkD(int deviceIndex);

    int getWhiteBalanceMode() override;
    // One-shot white balance; blocks for the 2000 ms pulse. Always 0.
    int setWhiteBalance(bool automatic) override;
};
