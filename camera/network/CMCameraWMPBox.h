#pragma once
#include "camera/boxclient/CHD_WMP.h"
#include "camera/network/CMCameraSDKThread.h"

#include <atomic>
#include <cstdint>
#include <mutex>

// The wireless camera box, reached through the CHD_WMP client library. Frames
// arrive in the box's format (MJPEG or YUYV) and are handed over unconverted;
// snapshots are requested at the still size and come back as pictures.
class CMCameraWMPBoxCore : public CMCameraSDKThread {
public:
    using CMCameraBase::GetPreviewSize;
    using CMCameraBase::GetStillCaptureSize;
    using CMCameraBase::SetPreviewSize;
    using CMCameraBase::SetStillCaptureSize;

    static constexpr const char* kAccessCode = "vemra";
    static constexpr uint32_t kSnapshotWaitMs = 10000;
    static constexpr int kPollTimeoutMs = 2000;

    CMCameraWMPBoxCore(Seal seal, const char* address);
    ~CMCameraWMPBoxCore() override;

    int Init(CMFrameCallback cb, void* userData, long width, long height) override;
    void Release() override;
    int GetSupportedPreviewSizes(std::vector<_tag_CMSIZE>* sizes) override;
    int GetPreviewSize(_tag_CMSIZE& size) override;
    int SetPreviewSize(_tag_CMSIZE size) override;
    int GetSupportedFormats(std::vector<int>* formats) override;
    int GetFormat(int& format) override;
    int SetFormat(int format) override;
    int GetSupportedStillCaptureSizes(std::vector<_tag_CMSIZE>* sizes) override;
    int GetStillCaptureSize(_tag_CMSIZE& size) override;
    int SetStillCaptureSize(_tag_CMSIZE size) override;
    int setExposure(bool automatic) override;
    int getExposure(bool& automatic) override;
    int getWhiteBalanceMode() override;
    int setWhiteBalance(bool automatic) override;
    int getWhiteBalance(bool& automatic) override;
    bool IsPropertySupport(tagCMProperty p) override;
    int GetPropertyRange(tagCMProperty p, int* min, int* max, int* def, int* step) override;
    int GetProperty(tagCMProperty p, int* value) override;
    int SetProperty(tagCMProperty p, int value) override;

    // Makes a running or later Init give up at once (any thread): the user
    // chose another camera while this one was still connecting.
    void AbortOpen() { m_openAborted = true; }

    // How long a snapshot waits for its picture (tests shorten it).
    void setSnapshotWaitMs(uint32_t ms) { m_snapshotWaitMs = ms; }

    // Box control id of a property, or -1 when the box has none for it.
    static int controlOf(tagCMProperty p);
    // Pixel-format code of a box format, and back.
    static int pixelFormatOf(int boxFormat);
    static int boxFormatOf(int pixelFormat);

protected:
    int captureOnce() override;
    int GetStillImage(CWImage* image) override;
    bool isSupportStillCapture_Internal() override;

private:
    void disconnect();
    int readControl(int id, int ctrl[CHD_WMP_CTRL_FIELDS]);
    void deliverVideo();
    void takePicture();

    CHD_WMP_HANDLE m_box = nullptr;
    std::atomic<bool> m_openAborted{false}; // set once, by AbortOpen
    char m_address[20];
    int m_stillWidth = 0;
    int m_stillHeight = 0;
    // The snapshot target is set by the host's thread and filled by the
    // polling thread; the mutex keeps the two apart.
    std::mutex m_stillMutex;
    CWImage* m_stillTarget = nullptr;
    platform::Event m_snapshotEvent{false, false}; // auto reset
    uint32_t m_snapshotWaitMs = kSnapshotWaitMs;
};

using CMCameraWMPBox = CMPolledCamera<CMCameraWMPBoxCore>;
