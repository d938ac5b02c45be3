#pragma once
// The LarkA camera (0xEBA1:0x7585) and the LarkB (0xEBA1:0x7584, 0x7586), a
// LarkA that takes its stills as MJPG. Their image settings live in camera
// registers reached through the register tunnel; some of the sizes the
// device offers are hidden; a table relates the framing of two sizes. On a
// driver without the tunnel (the kernel's stock UVC driver) the settings are
// the device's standard controls, as for any video camera, and the
// register-only ones are not supported.
#include "camera/v4l2/CMCameraDirectShow.h"

class CMCameraLarkA : public CMCameraDirectShow {
public:
    explicit CMCameraLarkA(int deviceIndex);

    // The device's sizes without the hidden ones; -4 when nothing remains.
    int GetSupportedPreviewSizes(std::vector<_tag_CMSIZE>* sizes) override;
    int GetSupportedStillCaptureSizes(std::vector<_tag_CMSIZE>* sizes) override;
    // Offset and scale between two sizes from the table; false (outputs
    // untouched) for a pair it does not hold.
    bool getResoOffset(int w1, int h1, int w2, int h2, int& dx, int& dy, float& scale) override;
    int setExposure(bool automatic) override;
    int getExposure(bool& automatic) override;
    // 2: one-shot white balance.
    int getWhiteBalanceMode() override;
    int setWhiteBalance(bool automatic) override;
    int getWhiteBalance(bool& automatic) override;
    bool IsPropertySupport(tagCMProperty p) override;
    int GetPropertyRange(tagCMProperty p, int* min, int* max, int* def, int* step) override;
    int GetPropertyRangeEnumInt(tagCMProperty p, std::vector<int>& values) override;
    int GetProperty(tagCMProperty p, int* value) override;
    int GetPropertyUnit(tagCMProperty p, char* buf, int bufSize) override;
    int GetPropertyAlias(tagCMProperty p, int value, char* buf, int bufSize) override;
    int SetProperty(tagCMProperty p, int value) override;

protected:
    // True while the device's still method is connected.
    bool isSupportStillCapture_Internal() override;

private:
    bool hasTunnel();
};

class CMCameraLarkB : public CMCameraLarkA {
public:
    explicit CMCameraLarkB(int deviceIndex);
};
