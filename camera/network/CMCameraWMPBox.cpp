#include "camera/network/CMCameraWMPBox.h"

#include "platform/DebugOutput.h"

#include <cstring>
#include <new>

namespace {
constexpr int kControlWhiteBalance = 4;
constexpr int kControlExposure = 9;

// Fields of the box's 8-int control record.
enum { kSupported = 0, kMin = 1, kValue = 2, kMax = 3, kDefault = 5, kAutoAvailable = 6, kAutoOn = 7 };

bool isSoftwareProperty(tagCMProperty p)
{
    return p == CM_PROP_OFFSET_2 || p == CM_PROP_OFFSET_1 || p == CM_PROP_OFFSET_0 || p == CM_PROP_COLOR_MODE;
}
} // namespace

CMCameraWMPBoxCore::CMCameraWMPBoxCore(Seal seal, const char* address) : CMCameraSDKThread(seal, -1)
{
    std::memset(m_address, 0, sizeof m_address);
    if (address)
        std::strncpy(m_address, address, sizeof m_address - 1); // always terminated
    _tag_VideoDeviceInfo info;
    std::memset(&info, 0, sizeof info);
    std::strcpy(info.name, "Wireless");
    info.vid = kNetworkVendorId;
    info.pid = kWirelessBoxProductId;
    std::memcpy(info.address, m_address, sizeof m_address);
    SetDeviceInfo(info);
}

CMCameraWMPBoxCore::~CMCameraWMPBoxCore() { Release(); }

int CMCameraWMPBoxCore::controlOf(tagCMProperty p)
{
    switch (p) {
    case CM_PROP_BRIGHTNESS: return 0;
    case CM_PROP_CONTRAST: return 1;
    case CM_PROP_HUE: return 3;
    case CM_PROP_SATURATION: return 2;
    case CM_PROP_GAMMA: return 5;
    case CM_PROP_SHARPNESS: return 7;
    case CM_PROP_GAIN: return 6;
    case CM_PROP_CONTROL10: return 8;
    case CM_PROP_EXPOSURE: return kControlExposure;
    case CM_PROP_WB_TEMPERATURE: return kControlWhiteBalance;
    default: return -1;
    }
}

int CMCameraWMPBoxCore::pixelFormatOf(int boxFormat)
{
    switch (boxFormat) {
    case CHD_WMP_FORMAT_YUYV: return FMT_YUYV;
    case CHD_WMP_FORMAT_MJPEG: return FMT_MJPG;
    case CHD_WMP_FORMAT_H264: return FMT_H264;
    default: return FMT_UNKNOWN;
    }
}

int CMCameraWMPBoxCore::boxFormatOf(int pixelFormat)
{
    switch (pixelFormat) {
    case FMT_YUYV: return CHD_WMP_FORMAT_YUYV;
    case FMT_H264: return CHD_WMP_FORMAT_H264;
    default: return CHD_WMP_FORMAT_MJPEG;
    }
}

// ---- lifecycle ----

int CMCameraWMPBoxCore::Init(CMFrameCallback cb, void* userData, long, long)
{
    if (m_address[0] == '\0')
        return CM_E_OPEN;
    if (m_box)
        return CM_OK; // already open
    const auto aborted = [](void* self) { return int(static_cast<CMCameraWMPBoxCore*>(self)->m_openAborted.load()); };
    int connected = CHD_WMP_ConnectDeviceCancellable(&m_box, m_address, kAccessCode, aborted, this);
    if (connected != CHD_OK && connected != CHD_ERR_CANCELLED)
        connected = CHD_WMP_ConnectDeviceCancellable(&m_box, m_address, nullptr, aborted, this);
    if (connected != CHD_OK) {
        m_box = nullptr;
        return CM_E_OPEN;
    }
    // Without video the camera would open and never deliver a frame.
    if (CHD_WMP_Video_Begin(m_box) != CHD_OK) {
        disconnect();
        return CM_E_OPEN;
    }
    return startThread(cb, userData);
}

void CMCameraWMPBoxCore::Release()
{
    stopThread();
    if (m_box) {
        CHD_WMP_Video_End(m_box);
        disconnect();
    }
    std::memset(m_address, 0, sizeof m_address);
    // A snapshot cannot be waiting any more: clear a leftover target.
    std::lock_guard<std::mutex> lock(m_stillMutex);
    m_stillTarget = nullptr;
}

void CMCameraWMPBoxCore::disconnect()
{
    CHD_WMP_Disconnect(m_box);
    m_box = nullptr;
}

// ---- sizes and formats ----

int CMCameraWMPBoxCore::GetSupportedPreviewSizes(std::vector<_tag_CMSIZE>* sizes)
{
    if (!sizes)
        return CM_E_INVALIDARG;
    sizes->clear();
    CHD_WMP_ABILITY ability{};
    if (!m_box || CHD_WMP_Video_GetAbility(m_box, &ability) != CHD_OK)
        return CM_OK;
    for (int code : ability.resolu) {
        if (code == 0)
            break;
        int w = 0, h = 0;
        if (CHD_Video_AnalysisResolu(code, &w, &h) == CHD_OK)
            sizes->push_back(_tag_CMSIZE{w, h});
    }
    return CM_OK;
}

int CMCameraWMPBoxCore::GetPreviewSize(_tag_CMSIZE& size)
{
    int code = 0, w = 0, h = 0;
    if (!m_box || CHD_WMP_Video_GetResolu(m_box, &code) != CHD_OK || CHD_Video_AnalysisResolu(code, &w, &h) != CHD_OK ||
        w == 0 || h == 0)
        return CM_E_FAILED;
    size = _tag_CMSIZE{w, h};
    return CM_OK;
}

int CMCameraWMPBoxCore::SetPreviewSize(_tag_CMSIZE size)
{
    if (!m_box || CHD_WMP_Video_SetResolu(m_box, CHD_Video_GroupResolu(size.width, size.height), size.width,
                                          size.height) != CHD_OK)
        return CM_E_FAILED;
    return CM_OK;
}

int CMCameraWMPBoxCore::GetSupportedFormats(std::vector<int>* formats)
{
    if (!formats)
        return CM_E_INVALIDARG;
    formats->clear();
    CHD_WMP_ABILITY ability{};
    if (!m_box || CHD_WMP_Video_GetAbility(m_box, &ability) != CHD_OK)
        return CM_OK;
    for (int boxFormat : ability.format) {
        if (boxFormat == 0)
            break;
        if (boxFormat == CHD_WMP_FORMAT_MJPEG)
            formats->push_back(FMT_MJPG);
    }
    return CM_OK;
}

int CMCameraWMPBoxCore::GetFormat(int& format)
{
    int boxFormat = 0;
    if (!m_box || CHD_WMP_Video_GetFormat(m_box, &boxFormat) != CHD_OK)
        return CM_E_FAILED;
    format = pixelFormatOf(boxFormat);
    return CM_OK;
}

int CMCameraWMPBoxCore::SetFormat(int format)
{
    int current = 0;
    if (GetFormat(current) != CM_OK || current == format)
        return CM_E_FAILED;
    return CHD_WMP_Video_SetFormat(m_box, boxFormatOf(format)) == CHD_OK ? CM_OK : CM_E_FAILED;
}

int CMCameraWMPBoxCore::GetSupportedStillCaptureSizes(std::vector<_tag_CMSIZE>* sizes)
{
    return GetSupportedPreviewSizes(sizes);
}

int CMCameraWMPBoxCore::GetStillCaptureSize(_tag_CMSIZE& size)
{
    if (m_stillWidth && m_stillHeight) {
        size = _tag_CMSIZE{m_stillWidth, m_stillHeight};
        return CM_OK;
    }
    const int result = GetPreviewSize(size);
    if (result == CM_OK) {
        m_stillWidth = size.width;
        m_stillHeight = size.height;
    }
    return result;
}

int CMCameraWMPBoxCore::SetStillCaptureSize(_tag_CMSIZE size)
{
    m_stillWidth = size.width;
    m_stillHeight = size.height;
    return CM_OK;
}

bool CMCameraWMPBoxCore::isSupportStillCapture_Internal() { return true; }

// ---- exposure, white balance, properties ----

int CMCameraWMPBoxCore::readControl(int id, int ctrl[CHD_WMP_CTRL_FIELDS])
{
    std::memset(ctrl, 0, sizeof(int) * CHD_WMP_CTRL_FIELDS);
    if (!m_box)
        return CHD_ERR_PARAM;
    return CHD_WMP_Video_GetVideoCtrl(m_box, id, ctrl);
}

int CMCameraWMPBoxCore::setExposure(bool automatic)
{
    int ctrl[CHD_WMP_CTRL_FIELDS];
    if (readControl(kControlExposure, ctrl) != CHD_OK)
        return CM_E_NOTSUPPORTED;
    ctrl[kAutoOn] = automatic ? 1 : 0;
    return CHD_WMP_Video_SetVideoCtrl(m_box, kControlExposure, ctrl) == CHD_OK ? CM_OK : CM_E_NOTSUPPORTED;
}

int CMCameraWMPBoxCore::getExposure(bool& automatic)
{
    int ctrl[CHD_WMP_CTRL_FIELDS];
    if (readControl(kControlExposure, ctrl) != CHD_OK)
        return CM_E_NOTSUPPORTED;
    automatic = ctrl[kAutoOn] == 1;
    return CM_OK;
}

int CMCameraWMPBoxCore::getWhiteBalanceMode()
{
    int ctrl[CHD_WMP_CTRL_FIELDS];
    if (readControl(kControlWhiteBalance, ctrl) != CHD_OK)
        return 0;
    return ctrl[kAutoAvailable] == 1 ? 1 : 0;
}

int CMCameraWMPBoxCore::setWhiteBalance(bool automatic)
{
    int ctrl[CHD_WMP_CTRL_FIELDS];
    if (readControl(kControlWhiteBalance, ctrl) != CHD_OK)
        return -1;
    int fresh[CHD_WMP_CTRL_FIELDS] = {};
    fresh[kValue] = ctrl[kValue];
    fresh[kAutoOn] = automatic ? 1 : 0;
    return CHD_WMP_Video_SetVideoCtrl(m_box, kControlWhiteBalance, fresh) == CHD_OK ? CM_OK : -1;
}

int CMCameraWMPBoxCore::getWhiteBalance(bool& automatic)
{
    int ctrl[CHD_WMP_CTRL_FIELDS];
    if (readControl(kControlWhiteBalance, ctrl) != CHD_OK)
        return -1;
    automatic = ctrl[kAutoOn] == 1;
    return CM_OK;
}

bool CMCameraWMPBoxCore::IsPropertySupport(tagCMProperty p)
{
    const int id = controlOf(p);
    int ctrl[CHD_WMP_CTRL_FIELDS];
    if (id >= 0 && readControl(id, ctrl) == CHD_OK)
        return ctrl[kSupported] == 1;
    return isSoftwareProperty(p);
}

int CMCameraWMPBoxCore::GetPropertyRange(tagCMProperty p, int* min, int* max, int* def, int* step)
{
    const int id = controlOf(p);
    if (id < 0)
        return CMCameraBase::GetPropertyRange(p, min, max, def, step);
    int ctrl[CHD_WMP_CTRL_FIELDS];
    if (readControl(id, ctrl) != CHD_OK)
        return CM_E_NOTSUPPORTED;
    if (min)
        *min = ctrl[kMin];
    if (max)
        *max = ctrl[kMax];
    if (def)
        *def = ctrl[kDefault];
    return CM_OK;
}

int CMCameraWMPBoxCore::GetProperty(tagCMProperty p, int* value)
{
    const int id = controlOf(p);
    if (id < 0)
        return CMCameraBase::GetProperty(p, value);
    if (!value)
        return CM_E_INVALIDARG;
    int ctrl[CHD_WMP_CTRL_FIELDS];
    if (readControl(id, ctrl) != CHD_OK)
        return CM_E_NOTSUPPORTED;
    *value = ctrl[kValue];
    return CM_OK;
}

int CMCameraWMPBoxCore::SetProperty(tagCMProperty p, int value)
{
    const int id = controlOf(p);
    if (id >= 0 && m_box) {
        // Only the value is set, so the control's automatic mode goes off.
        int ctrl[CHD_WMP_CTRL_FIELDS] = {};
        ctrl[kValue] = value;
        if (CHD_WMP_Video_SetVideoCtrl(m_box, id, ctrl) == CHD_OK)
            return CM_OK;
    }
    return CMCameraBase::SetProperty(p, value);
}

// ---- polling and snapshots ----

int CMCameraWMPBoxCore::captureOnce()
{
    int flags = 0;
    const int result = CHD_WMP_Poll(m_box, &flags, kPollTimeoutMs);
    if (result == CHD_ERR_DISCONNECTED) {
        // Said once: the polling thread stops here until Release. Opening the
        // box again is the camera session's decision, not the camera's.
        platform::ConsolePrintf("disconnected\n");
        return kSourceGone;
    }
    if (result != CHD_OK)
        return -1;
    if (flags & CHD_WMP_POLL_VIDEO)
        deliverVideo();
    if (flags & CHD_WMP_POLL_PICTURE)
        takePicture();
    return 0;
}

void CMCameraWMPBoxCore::deliverVideo()
{
    CHD_WMP_FRAME* frame = nullptr;
    if (CHD_WMP_Video_RequestVideoData(m_box, &frame) != CHD_OK || !frame)
        return;
    int w = 0, h = 0;
    if (CHD_Video_AnalysisResolu(frame->resolu, &w, &h) == CHD_OK) {
        const auto length = static_cast<unsigned>(frame->length);
        CWImage image(w, h, CHD_WMP_FRAME_DATA(frame), length, length, true, pixelFormatOf(frame->format), 0);
        deliverFrame(&image, DeliveryOrder::GrabThenCallback, false);
    }
    CHD_WMP_Video_ReleaseVideoData(m_box, frame);
}

void CMCameraWMPBoxCore::takePicture()
{
    CHD_WMP_FRAME* picture = nullptr;
    if (CHD_WMP_Video_RequestPicData(m_box, &picture) != CHD_OK || !picture)
        return;
    int w = 0, h = 0;
    if (CHD_Video_AnalysisResolu(picture->resolu, &w, &h) == CHD_OK) {
        std::lock_guard<std::mutex> lock(m_stillMutex);
        if (m_stillTarget) {
            const auto length = static_cast<unsigned>(picture->length);
            auto* copy = new (std::nothrow) unsigned char[length];
            if (copy) {
                std::memcpy(copy, CHD_WMP_FRAME_DATA(picture), length);
                CWImage* target = m_stillTarget;
                target->format = pixelFormatOf(picture->format);
                target->width = w;
                target->height = h;
                target->bottomUp = 0;
                target->data = copy;
                target->dataSize = length;
                target->bufferSize = length;
                m_stillTarget = nullptr;
                m_snapshotEvent.set();
            }
        }
    }
    platform::DebugPrintf("get picture data\n");
    CHD_WMP_Video_ReleasePicData(m_box, picture);
}

int CMCameraWMPBoxCore::GetStillImage(CWImage* image)
{
    if (!image)
        return CM_E_INVALIDARG;
    if (!m_box)
        return CM_E_FAILED;
    {
        std::lock_guard<std::mutex> lock(m_stillMutex);
        m_snapshotEvent.reset(); // a signal left by an earlier snapshot is stale
        m_stillTarget = image;
    }
    _tag_CMSIZE size{0, 0};
    GetStillCaptureSize(size);
    if (CHD_WMP_Video_SnapShotResolu(m_box, CHD_Video_GroupResolu(size.width, size.height), size.width, size.height) ==
            CHD_OK &&
        m_snapshotEvent.wait(m_snapshotWaitMs))
        return CM_OK;

    // No picture in time. One may have been filled between the wait giving up
    // and the lock: then the copy is complete and belongs to the caller.
    std::lock_guard<std::mutex> lock(m_stillMutex);
    const bool served = m_stillTarget == nullptr;
    m_stillTarget = nullptr;
    if (served) {
        m_snapshotEvent.reset();
        return CM_OK;
    }
    return CM_E_FAILED;
}
