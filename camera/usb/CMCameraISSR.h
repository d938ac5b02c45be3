#pragma once
// The camera of the USB SDK (libsensorlink): logs the camera in, starts
// register control and capture, describes each delivered stream frame (leader
// + packed 4:2:2 payload) as a CWImage without copying, and maps properties,
// exposure and white-balance modes and preview sizes onto camera registers.
#include "camera/CMCameraSDK.h"
#include "camera/usb/SensorlinkApi.h"
#include "camera/usb/SensorlinkUse.h"

#include <atomic>
#include <cstdint>
#include <string>

class CMCameraISSR : public CMCameraSDK {
public:
    // `deviceIndex` is the camera's position in the SDK's search result.
    explicit CMCameraISSR(int deviceIndex);
    CMCameraISSR(int deviceIndex, const SensorlinkApi& sdk);
    ~CMCameraISSR() override;

    int Init(CMFrameCallback cb, void* userData, long width, long height) override;
    void Release() override;
    int startPreview() override;
    int stopPreview() override;

    int GetSupportedPreviewSizes(std::vector<_tag_CMSIZE>* sizes) override;
    int GetPreviewSize(_tag_CMSIZE& size) override;
    int SetPreviewSize(_tag_CMSIZE size) override;
    using CMCameraBase::GetPreviewSize;
    using CMCameraBase::SetPreviewSize;
    int GetSupportedFormats(std::vector<int>* formats) override;
    int GetFormat(int& format) override;
    int SetFormat(int format) override;

    int setExposure(bool automatic) override;
    int getExposure(bool& automatic) override;
    int setWhiteBalance(bool automatic) override;
    int getWhiteBalance(bool& automatic) override;

    bool IsPropertySupport(tagCMProperty p) override;
    int GetPropertyRange(tagCMProperty p, int* min, int* max, int* def, int* step) override;
    int GetProperty(tagCMProperty p, int* value) override;
    int SetProperty(tagCMProperty p, int value) override;

    // Where the device the login opened is plugged in; "" when none is
    // logged in.
    std::string OpenedPort() const;

    // The SDK's capture callback: `userData` is the camera, `userValue` its SDK index.
    static int32_t onFrame(const uint8_t* frame, int32_t frameSize, void* userData, int32_t userValue);

private:
    // The logged-in SDK index, or -1.
    int sdkIndex() const { return m_sdkIndex.load(); }
    bool writeRegister(uint32_t reg, int32_t value);
    bool readRegister(uint32_t reg, int32_t& value);
    void handleFrame(const uint8_t* frame, int32_t frameSize);

    const SensorlinkApi& m_sdk;
    SensorlinkUse m_sdkUse; // the SDK stays initialised while this camera lives
    // Read by the SDK's delivery thread while host threads log in and out.
    std::atomic<int> m_sdkIndex{-1};
    // The stream pixel format last written to the debug output (wider than
    // any format, so the first frame always differs).
    static constexpr uint64_t kNoFormatReported = UINT64_MAX;
    std::atomic<uint64_t> m_reportedFormat{kNoFormatReported};
    // A run of frames too short for their leader is reported once.
    std::atomic<bool> m_reportedBadFrame{false};
};
