#pragma once
#include "camera/CMCameraBase.h"

// Middle layer of every concrete camera inside the library; adds nothing but
// its destructor. Not exported: hosts only hold a CMCameraBase*.
class CMCameraSDK : public CMCameraBase {
public:
    explicit CMCameraSDK(int deviceIndex);
    ~CMCameraSDK() override;
};
