#include "camera/CMCameraBase.h"

#include "camera/CameraRecords.h"
#include "camera/RowOps.h"
#include "platform/CriticalSection.h"
#include "platform/Tick.h"

#include <cstring>
#include <new>

namespace {
constexpr uint32_t kPreviewGrabTimeoutMs = 5000;

bool isSoftwareOffset(tagCMProperty p)
{
    return p == CM_PROP_OFFSET_2 || p == CM_PROP_OFFSET_1 || p == CM_PROP_OFFSET_0;
}
} // namespace

CMCameraBase::CMCameraBase(int deviceIndex) : m_nDeviceIndex(deviceIndex)
{
    std::memset(&m_deviceInfo, 0, sizeof m_deviceInfo);
    InitLock();
    m_pFrameRate = new CMFrameRateCounter;
    m_pFrameRate->startTick = platform::GetTickCount();
    m_pPixelProcessor = new CMPixelProcessor;
    m_pPreviewGrab = new CMPreviewGrabRequest;
}

CMCameraBase::~CMCameraBase()
{
    delete m_pFrameRate;
    m_pFrameRate = nullptr;
    delete m_pPixelProcessor;
    m_pPixelProcessor = nullptr;
    delete m_pPreviewGrab;
    m_pPreviewGrab = nullptr;
    ReleaseLock();
}

// ---- lifecycle and delivery gating ----

int CMCameraBase::Init(CMFrameCallback cb, void* userData, long, long)
{
    setCallback(cb, userData);
    return CM_OK;
}

void CMCameraBase::Release() {}

int CMCameraBase::startPreview()
{
    m_bPaused = false;
    return CM_OK;
}

int CMCameraBase::stopPreview()
{
    m_bPaused = true;
    if (m_pFrameRate)
        m_pFrameRate->rate = 0.0f;
    return CM_OK;
}

void CMCameraBase::setCallback(CMFrameCallback cb, void* userData)
{
    Lock();
    m_pCallback = cb;
    m_pUserData = userData;
    Unlock();
}

void CMCameraBase::pause(bool on) { m_bPaused = on; }

bool CMCameraBase::IsPaused() { return m_bPaused; }

// ---- recording, sizes and formats ----

bool CMCameraBase::hasBuiltInRecorder() { return false; }
int CMCameraBase::startRecording(const std::string&) { return CM_E_NOTSUPPORTED; }
int CMCameraBase::pauseRecording() { return CM_E_NOTSUPPORTED; }
int CMCameraBase::stopRecording() { return CM_E_NOTSUPPORTED; }
int CMCameraBase::GetSupportedStillCaptureSizes(std::vector<_tag_CMSIZE>*) { return CM_E_NOTSUPPORTED; }
int CMCameraBase::GetStillCaptureSize(_tag_CMSIZE&) { return CM_E_NOTSUPPORTED; }
int CMCameraBase::SetStillCaptureSize(_tag_CMSIZE) { return CM_E_NOTSUPPORTED; }

bool CMCameraBase::getResoOffset(int w1, int h1, int w2, int h2, int& dx, int& dy, float& scale)
{
    if (w1 != w2 || h1 != h2)
        return false;
    scale = 1.0f;
    dx = 0;
    dy = 0;
    return true;
}

int CMCameraBase::GetPreviewSize(int& w, int& h)
{
    _tag_CMSIZE size{0, 0};
    const int result = GetPreviewSize(size);
    if (result == CM_OK) {
        w = size.width;
        h = size.height;
    }
    return result;
}

int CMCameraBase::SetPreviewSize(int w, int h) { return SetPreviewSize(_tag_CMSIZE{w, h}); }

int CMCameraBase::GetStillCaptureSize(int& w, int& h)
{
    _tag_CMSIZE size{0, 0};
    const int result = GetStillCaptureSize(size);
    if (result == CM_OK) {
        w = size.width;
        h = size.height;
    }
    return result;
}

int CMCameraBase::SetStillCaptureSize(int w, int h) { return SetStillCaptureSize(_tag_CMSIZE{w, h}); }

bool CMCameraBase::isSupportStillCapture() { return isSupportStillCapture_Internal(); }

void CMCameraBase::GetSnapSize(_tag_CMSIZE& size)
{
    if (isSupportStillCapture_Internal())
        GetStillCaptureSize(size);
    else
        GetPreviewSize(size);
}

long CMCameraBase::GetSnapImageSize()
{
    // A failed size query leaves the size at zero, so the answer is 0.
    _tag_CMSIZE size{0, 0};
    GetSnapSize(size);
    return 3L * size.width * size.height;
}

int CMCameraBase::Snap(CWImage* image)
{
    if (isSupportStillCapture_Internal())
        return GetStillImage(image);
    return GetPreviewImage_Internal(image);
}

// ---- property pages, frame rate, software processing ----

bool CMCameraBase::HasPropertyPages() { return false; }
void CMCameraBase::ShowPropertyPages(void*, char*) {}

float CMCameraBase::GetFrameRate() { return m_pFrameRate ? m_pFrameRate->rate.load() : 0.0f; }

void CMCameraBase::frameCount()
{
    if (!m_pFrameRate)
        return;
    CMFrameRateCounter& counter = *m_pFrameRate;
    ++counter.count;
    const uint32_t elapsed = platform::GetTickCount() - counter.startTick;
    if (elapsed >= 1000) {
        counter.rate = static_cast<float>(counter.count) / static_cast<float>(elapsed) * 1000.0f;
        counter.startTick = platform::GetTickCount();
        counter.count = 0;
    }
}

int CMCameraBase::flip(bool on)
{
    if (!m_pPixelProcessor)
        return CM_E_NOTSUPPORTED;
    m_pPixelProcessor->flip = on;
    return CM_OK;
}

int CMCameraBase::mirror(bool on)
{
    if (!m_pPixelProcessor)
        return CM_E_NOTSUPPORTED;
    m_pPixelProcessor->mirror = on;
    return CM_OK;
}

void CMCameraBase::processPixels(CWImage* image)
{
    if (!image || !image->data || !m_pPixelProcessor)
        return;
    if (image->format != FMT_RGB32 && image->format != FMT_RGBA32)
        return;
    if (image->width <= 0 || image->height <= 0)
        return;
    const size_t pixels = static_cast<size_t>(image->width) * image->height;
    // Never touch bytes the record does not claim to hold.
    if (pixels * 4 > image->dataSize)
        return;

    // One consistent snapshot of settings that host calls may change meanwhile.
    const CMPixelProcessor& settings = *m_pPixelProcessor;
    const bool flipOn = settings.flip;
    const bool mirrorOn = settings.mirror;
    const unsigned char offset0 = settings.offset0, offset1 = settings.offset1, offset2 = settings.offset2;
    const int colorMode = settings.colorMode;

    if (flipOn)
        lensbridge::swapRowsVertically(image->data, static_cast<size_t>(image->width) * 4, image->height);
    if (mirrorOn)
        lensbridge::mirrorPixels4(image->data, image->width, image->height);
    if (offset0 || offset1 || offset2)
        lensbridge::addOffsets4(image->data, pixels, offset0, offset1, offset2);
    if (colorMode == CM_COLOR_MODE_MONO)
        lensbridge::monochrome4(image->data, pixels);
    else if (colorMode == CM_COLOR_MODE_NEGATIVE)
        lensbridge::negative4(image->data, pixels);
}

// ---- exposure, white balance, properties ----

int CMCameraBase::setExposure(bool) { return CM_E_NOTSUPPORTED; }
int CMCameraBase::getExposure(bool&) { return CM_E_NOTSUPPORTED; }
int CMCameraBase::getWhiteBalanceMode() { return 1; }
int CMCameraBase::setWhiteBalance(bool) { return CM_E_NOTSUPPORTED; }
int CMCameraBase::getWhiteBalance(bool&) { return CM_E_NOTSUPPORTED; }

bool CMCameraBase::IsPropertySupport(tagCMProperty p) { return isSoftwareOffset(p) || p == CM_PROP_COLOR_MODE; }

int CMCameraBase::GetPropertyRange(tagCMProperty p, int* min, int* max, int* def, int*)
{
    if (!isSoftwareOffset(p))
        return CM_E_NOTSUPPORTED;
    if (min)
        *min = 0;
    if (max)
        *max = 255;
    if (def)
        *def = 0;
    return CM_OK;
}

int CMCameraBase::GetPropertyRangeEnumInt(tagCMProperty p, std::vector<int>& values)
{
    if (p != CM_PROP_COLOR_MODE)
        return CM_E_NOTSUPPORTED;
    values = {CM_COLOR_MODE_COLOR, CM_COLOR_MODE_MONO, CM_COLOR_MODE_NEGATIVE};
    return CM_OK;
}

int CMCameraBase::GetProperty(tagCMProperty p, int* value)
{
    if (!isSoftwareOffset(p) && p != CM_PROP_COLOR_MODE)
        return CM_E_NOTSUPPORTED;
    if (!value)
        return CM_E_INVALIDARG;
    if (!m_pPixelProcessor) {
        *value = 0;
        return CM_OK;
    }
    switch (p) {
    case CM_PROP_OFFSET_2: *value = m_pPixelProcessor->offset2; break;
    case CM_PROP_OFFSET_1: *value = m_pPixelProcessor->offset1; break;
    case CM_PROP_OFFSET_0: *value = m_pPixelProcessor->offset0; break;
    default: *value = m_pPixelProcessor->colorMode; break;
    }
    return CM_OK;
}

int CMCameraBase::GetPropertyUnit(tagCMProperty, char*, int) { return CM_E_NOTSUPPORTED; }
int CMCameraBase::GetPropertyAlias(tagCMProperty, int, char*, int) { return CM_E_NOTSUPPORTED; }

int CMCameraBase::SetProperty(tagCMProperty p, int value)
{
    if (!isSoftwareOffset(p) && p != CM_PROP_COLOR_MODE)
        return CM_E_NOTSUPPORTED;
    if (!m_pPixelProcessor)
        return CM_OK;
    const auto lowByte = static_cast<unsigned char>(value & 0xFF);
    switch (p) {
    case CM_PROP_OFFSET_2: m_pPixelProcessor->offset2 = lowByte; break;
    case CM_PROP_OFFSET_1: m_pPixelProcessor->offset1 = lowByte; break;
    case CM_PROP_OFFSET_0: m_pPixelProcessor->offset0 = lowByte; break;
    default: m_pPixelProcessor->colorMode = value; break;
    }
    return CM_OK;
}

// ---- operations no camera implements ----

bool CMCameraBase::IsSupportROI() { return false; }
int CMCameraBase::SetROI(unsigned, unsigned, unsigned, unsigned) { return CM_E_NOTSUPPORTED; }
int CMCameraBase::GetROI(unsigned*, unsigned*, unsigned*, unsigned*) { return CM_E_NOTSUPPORTED; }
bool CMCameraBase::IsCoolingCamera() { return false; }
bool CMCameraBase::IsSupportTECOnOff() { return false; }
bool CMCameraBase::IsTECOn() { return false; }
void CMCameraBase::SetTEC(bool) {}
int CMCameraBase::GetTemperature(float*) { return CM_E_NOTSUPPORTED; }
int CMCameraBase::GetTargetTemperature(float*) { return CM_E_NOTSUPPORTED; }
int CMCameraBase::SetTargetTemperature(float) { return CM_E_NOTSUPPORTED; }
bool CMCameraBase::IsSupportFan() { return false; }
int CMCameraBase::GetFanSpeedRange(int*, int*) { return CM_E_NOTSUPPORTED; }
int CMCameraBase::GetFanSpeed(int*) { return CM_E_NOTSUPPORTED; }
int CMCameraBase::SetFanSpeed(int) { return CM_E_NOTSUPPORTED; }
bool CMCameraBase::IsSupportTriggerSoftware() { return false; }
bool CMCameraBase::IsSupportTriggerExternal() { return false; }
bool CMCameraBase::IsSupportTriggerSingle() { return false; }
int CMCameraBase::GetTriggerMode(tagCMTriggerMode*) { return CM_E_NOTSUPPORTED; }
int CMCameraBase::SetTriggerMode(tagCMTriggerMode) { return CM_E_NOTSUPPORTED; }
int CMCameraBase::Trigger(unsigned short) { return CM_E_NOTSUPPORTED; }
bool CMCameraBase::IsSupportAEAuxRect() { return false; }
int CMCameraBase::GetAEAuxRect(int*, int*, int*, int*) { return CM_E_NOTSUPPORTED; }
int CMCameraBase::SetAEAuxRect(int, int, int, int) { return CM_E_NOTSUPPORTED; }
bool CMCameraBase::IsSupportAWBAuxRect() { return false; }
int CMCameraBase::GetAWBAuxRect(int*, int*, int*, int*) { return CM_E_NOTSUPPORTED; }
int CMCameraBase::SetAWBAuxRect(int, int, int, int) { return CM_E_NOTSUPPORTED; }

// ---- one-shot preview grab and the frame path ----

int CMCameraBase::GetStillImage(CWImage*) { return CM_E_NOTSUPPORTED; }
bool CMCameraBase::isSupportStillCapture_Internal() { return false; }

int CMCameraBase::GetPreviewImage_Internal(CWImage* image)
{
    if (!image)
        return CM_E_INVALIDARG;
    CMPreviewGrabRequest& grab = *m_pPreviewGrab;
    Lock();
    grab.done.reset(); // a signal left by an earlier, withdrawn request is stale
    grab.target = image;
    grab.pending = true;
    grab.copied = false;
    Unlock();

    const bool signalled = grab.done.wait(kPreviewGrabTimeoutMs);
    // Without a signal, a frame may still have served the request between the
    // wait giving up and the lock. Served means copied: a frame whose copy
    // could not be allocated ends the request without a picture.
    Lock();
    const bool copied = grab.copied;
    const bool served = !grab.pending;
    grab.pending = false;
    grab.target = nullptr;
    grab.copied = false;
    if (served && !signalled)
        grab.done.reset();
    Unlock();
    return copied ? CM_OK : CM_E_TIMEOUT;
}

void CMCameraBase::grabberPreviewImage(CWImage* image)
{
    CMPreviewGrabRequest& grab = *m_pPreviewGrab;
    if (!grab.pending || !image || !grab.target)
        return;
    grab.pending = false;
    CWImage* target = grab.target;
    unsigned char* copy = new (std::nothrow) unsigned char[image->dataSize ? image->dataSize : 1];
    if (!copy) {
        grab.done.set(); // the waiter returns at once, without a picture
        return;
    }
    if (image->dataSize)
        std::memcpy(copy, image->data, image->dataSize);
    target->data = copy;
    target->bufferSize = image->dataSize;
    target->width = image->width;
    target->height = image->height;
    target->format = image->format;
    target->bottomUp = image->bottomUp;
    target->dataSize = image->dataSize;
    grab.copied = true;
    grab.done.set();
}

void CMCameraBase::deliverFrame(CWImage* frame, DeliveryOrder order, bool count)
{
    Lock();
    const CMFrameCallback callback = m_pCallback;
    void* const userData = m_pUserData;
    if (order == DeliveryOrder::GrabThenCallback)
        grabberPreviewImage(frame);
    Unlock();

    if (callback)
        callback(userData, CM_CALLBACK_FRAME, reinterpret_cast<long>(frame), 0);

    if (order == DeliveryOrder::CallbackThenGrab) {
        Lock();
        grabberPreviewImage(frame);
        Unlock();
    }
    if (count)
        frameCount();
    // The callback may hand the library a buffer of its own to dispose of.
    if (!frame->externalBuffer && frame->data) {
        delete[] frame->data;
        frame->data = nullptr;
    }
}

// ---- device record and lock ----

_tag_VideoDeviceInfo CMCameraBase::GetDeviceInfo() { return m_deviceInfo; }

void CMCameraBase::SetDeviceInfo(_tag_VideoDeviceInfo info) { m_deviceInfo = info; }

bool CMCameraBase::IsNetworkCamera()
{
    return m_deviceInfo.vid == kNetworkVendorId && m_deviceInfo.pid == kWirelessBoxProductId;
}

void CMCameraBase::Lock()
{
    if (m_pLock)
        m_pLock->enter();
}

void CMCameraBase::Unlock()
{
    if (m_pLock)
        m_pLock->leave();
}

void CMCameraBase::InitLock()
{
    if (!m_pLock)
        m_pLock = new platform::CriticalSection;
}

void CMCameraBase::ReleaseLock()
{
    delete m_pLock;
    m_pLock = nullptr;
}
