#pragma once
#include "camera/CWImage.h"

#include <atomic>
#include <string>
#include <vector>

namespace platform {
class CriticalSection;
}
struct CMFrameRateCounter;
struct CMPixelProcessor;
struct CMPreviewGrabRequest;

// The abstract camera. Concrete cameras override what their device supports;
// everything else keeps the behaviour below (unsupported operations return
// CM_E_NOTSUPPORTED or false). Frames reach the host through the callback on
// the camera's capture thread, described by a CWImage that points into the
// camera's own buffer and is valid only during the call.
//
// Threads: the host calls the operations from one thread at a time (the
// program's UI thread; its session worker for Init and Release). Only the frame
// callback runs on the camera's capture thread, and only deliverFrame and the
// operations marked "any thread" may be reached from there. Unless a line says
// otherwise, a negative result leaves the camera as it was.
class LENSBRIDGE_API CMCameraBase {
public:
    explicit CMCameraBase(int deviceIndex);
    CMCameraBase(const CMCameraBase&) = delete;
    CMCameraBase& operator=(const CMCameraBase&) = delete;

    // ---- virtual operations, in slot order ----
    // Deleting an open camera releases it first; no callback runs after it.
    virtual ~CMCameraBase();
    // Opens the device and registers the callback. 0: open, frames flow after
    // startPreview. Negative: nothing stays open; Release is still safe.
    virtual int Init(CMFrameCallback cb, void* userData, long width, long height);
    // Stops the frames and closes the device; returns only when the capture
    // thread will not call the callback again. A second call does nothing.
    virtual void Release();
    // Starts and stops the frames; the measured frame rate is 0 after a stop.
    virtual int startPreview();
    virtual int stopPreview();
    virtual bool hasBuiltInRecorder();
    virtual int startRecording(const std::string& path);
    virtual int pauseRecording();
    virtual int stopRecording();
    // Sizes and formats: host thread; a change may restart the stream, so
    // frames pause for a moment.
    virtual int GetSupportedPreviewSizes(std::vector<_tag_CMSIZE>* sizes) = 0;
    virtual int GetPreviewSize(_tag_CMSIZE& size) = 0;
    virtual int SetPreviewSize(_tag_CMSIZE size) = 0;
    virtual int GetSupportedFormats(std::vector<int>* formats) = 0;
    virtual int GetFormat(int& format) = 0;
    virtual int SetFormat(int format) = 0;
    virtual int GetSupportedStillCaptureSizes(std::vector<_tag_CMSIZE>* sizes);
    virtual int GetStillCaptureSize(_tag_CMSIZE& size);
    virtual int SetStillCaptureSize(_tag_CMSIZE size);
    virtual bool getResoOffset(int w1, int h1, int w2, int h2, int& dx, int& dy, float& scale);
    virtual bool HasPropertyPages();
    virtual void ShowPropertyPages(void* parentWindow, char* caption);
    // Any thread: frames counted over the last second.
    virtual float GetFrameRate();
    virtual int flip(bool on);
    virtual int mirror(bool on);
    virtual int setExposure(bool automatic);
    virtual int getExposure(bool& automatic);
    virtual int getWhiteBalanceMode();
    virtual int setWhiteBalance(bool automatic);
    virtual int getWhiteBalance(bool& automatic);
    // Properties: host thread; the ranges come from the device.
    virtual bool IsPropertySupport(tagCMProperty p);
    virtual int GetPropertyRange(tagCMProperty p, int* min, int* max, int* def, int* step);
    virtual int GetPropertyRangeEnumInt(tagCMProperty p, std::vector<int>& values);
    virtual int GetProperty(tagCMProperty p, int* value);
    virtual int GetPropertyUnit(tagCMProperty p, char* buf, int bufSize);
    virtual int GetPropertyAlias(tagCMProperty p, int value, char* buf, int bufSize);
    virtual int SetProperty(tagCMProperty p, int value);
    virtual bool IsSupportROI();
    virtual int SetROI(unsigned x, unsigned y, unsigned w, unsigned h);
    virtual int GetROI(unsigned* x, unsigned* y, unsigned* w, unsigned* h);
    virtual bool IsCoolingCamera();
    virtual bool IsSupportTECOnOff();
    virtual bool IsTECOn();
    virtual void SetTEC(bool on);
    virtual int GetTemperature(float* t);
    virtual int GetTargetTemperature(float* t);
    virtual int SetTargetTemperature(float t);
    virtual bool IsSupportFan();
    virtual int GetFanSpeedRange(int* min, int* max);
    virtual int GetFanSpeed(int* speed);
    virtual int SetFanSpeed(int speed);
    virtual bool IsSupportTriggerSoftware();
    virtual bool IsSupportTriggerExternal();
    virtual bool IsSupportTriggerSingle();
    virtual int GetTriggerMode(tagCMTriggerMode* mode);
    virtual int SetTriggerMode(tagCMTriggerMode mode);
    virtual int Trigger(unsigned short count);
    virtual bool IsSupportAEAuxRect();
    virtual int GetAEAuxRect(int* x, int* y, int* w, int* h);
    virtual int SetAEAuxRect(int x, int y, int w, int h);
    virtual bool IsSupportAWBAuxRect();
    virtual int GetAWBAuxRect(int* x, int* y, int* w, int* h);
    virtual int SetAWBAuxRect(int x, int y, int w, int h);

protected:
    virtual int GetPreviewImage_Internal(CWImage* image);
    virtual int GetStillImage(CWImage* image);
    virtual bool isSupportStillCapture_Internal();

public:
    // ---- non-virtual operations ----
    // Any thread: the pair is replaced under the camera's lock.
    void setCallback(CMFrameCallback cb, void* userData);
    // Any thread: the paused flag the backends consult (the preview stopped).
    void pause(bool on);
    bool IsPaused();
    int GetPreviewSize(int& w, int& h);
    int SetPreviewSize(int w, int h);
    int GetStillCaptureSize(int& w, int& h);
    int SetStillCaptureSize(int w, int h);
    bool isSupportStillCapture();
    void GetSnapSize(_tag_CMSIZE& size);
    long GetSnapImageSize();
    // Host thread, never the capture thread (it waits for a frame, up to 5 s,
    // or for the camera's still). Copies one frame into `image` in a buffer
    // the library allocated with array new; the caller frees it. Negative:
    // `image` gets no buffer (-8 when the copy could not be allocated).
    int Snap(CWImage* image);
    // Any thread, usually the capture thread's callback: flip, mirror, colour
    // offsets and colour mode, in place, on a 4-byte image. One snapshot of
    // the settings per call; an image whose size exceeds its buffer is left.
    void processPixels(CWImage* image);
    void frameCount();
    _tag_VideoDeviceInfo GetDeviceInfo();
    void SetDeviceInfo(_tag_VideoDeviceInfo info);
    // True only for the wireless box (vid and pid both 0xFFFF).
    bool IsNetworkCamera();
    // Any thread, after Init returned: why that Init failed, when the camera
    // can tell (a CMOpenFailure value: a network camera refused, not
    // answering, unreachable or not sending a stream); 0 (none) otherwise.
    int GetOpenFailure() const { return m_openFailure.load(); }

protected:
    enum class DeliveryOrder { GrabThenCallback, CallbackThenGrab };

    void grabberPreviewImage(CWImage* image);
    // Capture thread. Hands one frame to the pending grab and the host's
    // callback in the given order, counts it when asked, and disposes of a
    // buffer the callback handed back. Never holds the lock during the call.
    void deliverFrame(CWImage* frame, DeliveryOrder order, bool count);

    void Lock();
    void Unlock();
    void InitLock();
    void ReleaseLock();

    // Written under the lock; capture threads copy the pair under the lock
    // too, so a frame never sees a callback with another callback's user data.
    CMFrameCallback m_pCallback = nullptr;
    void* m_pUserData = nullptr;
    _tag_VideoDeviceInfo m_deviceInfo;
    int m_nDeviceIndex;
    std::atomic<bool> m_bPaused{false};
    std::atomic<bool> m_bRecording{false};
    platform::CriticalSection* m_pLock = nullptr;
    CMFrameRateCounter* m_pFrameRate = nullptr;
    CMPixelProcessor* m_pPixelProcessor = nullptr;
    CMPreviewGrabRequest* m_pPreviewGrab = nullptr;
    std::atomic<int> m_openFailure{0}; // set by Init, read after it
};
