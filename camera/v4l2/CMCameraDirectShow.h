#pragma once
// A video-capture device of the system (a USB video-class camera on V4L2):
// opens it through its capture manager at the requested format and size,
// hands its frames to the host as they come (MJPG, YUY2, BGR24, NV12, I420
// or GREY, rows top-down; H.264 decoded to I420), changes format and size, takes stills where the device has a
// still method, and maps the camera properties onto the device's controls.
//
// Threads: host calls come from the UI thread; frames reach the host's
// callback on the capture thread, never after Release() has returned.
#include "camera/CMCameraSDK.h"
#include "camera/v4l2/CMCaptureManager.h"
#include "camera/v4l2/H264Decoder.h"
#include "platform/Event.h"

#include <atomic>
#include <mutex>

class CMCameraDirectShow : public CMCameraSDK {
public:
    explicit CMCameraDirectShow(int deviceIndex);
    ~CMCameraDirectShow() override;

    // -6 when the index is out of range, the device is already open in this
    // object, or the device cannot be set up (gone, busy, nothing accepted).
    int Init(CMFrameCallback cb, void* userData, long width, long height) override;
    void Release() override;
    // Where the device Init opened is plugged in (its node's port); "" when
    // none is open.
    std::string OpenedPort();

    int GetSupportedPreviewSizes(std::vector<_tag_CMSIZE>* sizes) override;
    int GetPreviewSize(_tag_CMSIZE& size) override;
    // -99 when the device refuses the size (the previous size streams again).
    int SetPreviewSize(_tag_CMSIZE size) override;
    using CMCameraBase::GetPreviewSize;
    using CMCameraBase::SetPreviewSize;
    int GetSupportedFormats(std::vector<int>* formats) override;
    int GetFormat(int& format) override;
    int SetFormat(int format) override;
    int GetSupportedStillCaptureSizes(std::vector<_tag_CMSIZE>* sizes) override;
    int GetStillCaptureSize(_tag_CMSIZE& size) override;
    int SetStillCaptureSize(_tag_CMSIZE size) override;
    using CMCameraBase::GetStillCaptureSize;
    using CMCameraBase::SetStillCaptureSize;

    bool HasPropertyPages() override;
    // Shows the device's controls through the host's property-page hook.
    void ShowPropertyPages(void* parentWindow, char* caption) override;

    int setExposure(bool automatic) override;
    int getExposure(bool& automatic) override;
    int getWhiteBalanceMode() override;
    int setWhiteBalance(bool automatic) override;
    int getWhiteBalance(bool& automatic) override;

    bool IsPropertySupport(tagCMProperty p) override;
    int GetPropertyRange(tagCMProperty p, int* min, int* max, int* def, int* step) override;
    int GetPropertyRangeEnumInt(tagCMProperty p, std::vector<int>& values) override;
    int GetProperty(tagCMProperty p, int* value) override;
    int SetProperty(tagCMProperty p, int value) override;
    // Exposure in milliseconds ("12.5 ms"): the device counts 100 µs.
    int GetPropertyUnit(tagCMProperty p, char* buf, int bufSize) override;
    int GetPropertyAlias(tagCMProperty p, int value, char* buf, int bufSize) override;

protected:
    // -99 without a still method or when the trigger fails, -8 when no still
    // arrives within 6000 ms; live frames resume on every exit.
    int GetStillImage(CWImage* image) override;

    // The open device, or null when not set up (model cameras reach their
    // controls through it).
    v4l2::VideoDeviceIo* deviceIo();
    bool stillReady() const { return m_capture.stillReady; }

    // Subtype index of the preview format (initially MJPG).
    std::atomic<int> m_previewSubtype{v4l2::kSubtypeMjpg};
    // Pixel-format code wanted for stills (initially YUY2).
    int m_stillFormat = FMT_YUY2;

private:
    void onFrame(int kind, const uint8_t* data, size_t length);
    int changeFormat(uint32_t fourcc, int width, int height);
    bool isSetup() const;
    v4l2::CMCaptureDevice* setupDevice();

    v4l2::CMCaptureManager m_capture;
    platform::Event m_stillEvent{false, false};
    std::mutex m_stillMutex;
    std::vector<uint8_t> m_stillBuffer; // guarded by m_stillMutex
    bool m_stillStored = false;         // guarded by m_stillMutex
    std::mutex m_decodeMutex;
    v4l2::H264Decoder m_h264; // guarded by m_decodeMutex (the capture thread decodes)
};
