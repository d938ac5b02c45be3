#pragma once
// The LarkC camera (0x04F2:0xA14B): one-shot white balance, and an exposure
// time carried by the focus control (0..240, default 2).
#include "camera/v4l2/CMCameraDirectShow.h"

class CMCameraLarkC : public CMCameraDirectShow {
public:
    explicit CMCameraLarkC(int deviceIndex);

    int getWhiteBalanceMode() override;
    // One-shot white balance; the argument is not used. Always 0.
    int setWhiteBalance(bool automatic) override;
    bool IsPropertySupport(tagCMProperty p) override;
    int GetPropertyRange(tagCMProperty p, int* min, int* max, int* def, int* step) override;
    int GetProperty(tagCMProperty p, int* value) override;
    int SetProperty(tagCMProperty p, int value) override;
    // The exposure this model carries on its focus control has no known unit.
    int GetPropertyUnit(tagCMProperty p, char* buf, int bufSize) override;
    int GetPropertyAlias(tagCMProperty p, int value, char* buf, int bufSize) override;
};
