#include "camera/CMCameraSDK.h"

CMCameraSDK::CMCameraSDK(int deviceIndex) : CMCameraBase(deviceIndex) {}

CMCameraSDK::~CMCameraSDK() = default;
