#pragma once
#include "camera/CMCameraBase.h"

// Middle layer of every concrete camera; adds nothing but its destructor.
class LENSBRIDGE_API CMCameraSDK : public CMCameraBase {
public:
    explicit CMCameraSDK(int deviceIndex);
    ~CMCameraSDK() override;
};
