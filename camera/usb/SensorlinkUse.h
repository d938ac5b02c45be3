#pragma once
// One holder's share of the USB SDK's global initialisation. The SDK has a
// single global state: uninitialising it ends every camera session. Each USB
// camera object and each device listing holds a SensorlinkUse, and the SDK is
// uninitialised only when the last one goes, so refreshing the camera list or
// deleting one camera never stops another camera that is still open.
#include "camera/usb/SensorlinkApi.h"

class SensorlinkUse {
public:
    explicit SensorlinkUse(const SensorlinkApi& api);
    ~SensorlinkUse();
    SensorlinkUse(const SensorlinkUse&) = delete;
    SensorlinkUse& operator=(const SensorlinkUse&) = delete;

    // The result of the Vexel_Init this use called, or 0 when an earlier
    // holder had already initialised the SDK.
    int32_t initResult() const { return m_initResult; }

private:
    const SensorlinkApi& m_api;
    int32_t m_initResult = 0;
};
