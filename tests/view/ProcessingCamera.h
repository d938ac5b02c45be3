#pragma once
// A camera with no device behind it: only the base class's pixel processing
// (colour mode, offsets, ...), for tests that run pictures through it.
#include "camera/CMCameraBase.h"

#include <vector>

class ProcessingCamera : public CMCameraBase {
public:
    ProcessingCamera() : CMCameraBase(0) {}
    int GetSupportedPreviewSizes(std::vector<_tag_CMSIZE>*) override { return CM_E_NOTSUPPORTED; }
    int GetPreviewSize(_tag_CMSIZE&) override { return CM_E_NOTSUPPORTED; }
    int SetPreviewSize(_tag_CMSIZE) override { return CM_E_NOTSUPPORTED; }
    int GetSupportedFormats(std::vector<int>*) override { return CM_E_NOTSUPPORTED; }
    int GetFormat(int&) override { return CM_E_NOTSUPPORTED; }
    int SetFormat(int) override { return CM_E_NOTSUPPORTED; }
};
