#include "camera/v4l2/CMCameraDirectShow.h"

#include "camera/PropertyPageHook.h"
#include "camera/usb/UsbOpenFailure.h"
#include "camera/usb/UsbOpenFailureRecord.h"
#include "camera/v4l2/VideoControls.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

constexpr uint32_t kStillTimeoutMs = 6000;
constexpr int kMaxPowerLineEntries = 16;

// Where a property lives on the device. Video-amplifier properties have their
// out-of-range defaults repaired; camera-control defaults are taken as reported.
struct PropertyControl {
    tagCMProperty property;
    uint32_t control;
    bool videoAmplifier;
};

constexpr PropertyControl kPropertyControls[] = {
    {CM_PROP_BRIGHTNESS, V4L2_CID_BRIGHTNESS, true},
    {CM_PROP_CONTRAST, V4L2_CID_CONTRAST, true},
    {CM_PROP_HUE, V4L2_CID_HUE, true},
    {CM_PROP_SATURATION, V4L2_CID_SATURATION, true},
    {CM_PROP_GAMMA, V4L2_CID_GAMMA, true},
    {CM_PROP_SHARPNESS, V4L2_CID_SHARPNESS, true},
    {CM_PROP_GAIN, V4L2_CID_GAIN, true},
    {CM_PROP_WB_TEMPERATURE, V4L2_CID_WHITE_BALANCE_TEMPERATURE, true},
    {CM_PROP_EXPOSURE, V4L2_CID_EXPOSURE_ABSOLUTE, false},
    {CM_PROP_IRIS, V4L2_CID_IRIS_ABSOLUTE, false},
    {CM_PROP_POWERLINE, V4L2_CID_POWER_LINE_FREQUENCY, false},
};

const PropertyControl* findControl(tagCMProperty p)
{
    for (const PropertyControl& entry : kPropertyControls)
        if (entry.property == p)
            return &entry;
    return nullptr;
}

bool isSoftwareProperty(tagCMProperty p)
{
    return p == CM_PROP_OFFSET_0 || p == CM_PROP_OFFSET_1 || p == CM_PROP_OFFSET_2 || p == CM_PROP_COLOR_MODE;
}

// Mains frequency, library 0 (automatic or off), 1 (50 Hz), 2 (60 Hz)
// against the device's menu 0 (off), 1 (50 Hz), 2 (60 Hz) and, on UVC 1.5
// cameras, 3 (automatic). Library 0 is the device's automatic mode where it
// has one, else off; anything unknown reads as 50 Hz.
int powerLineFromDevice(int value) { return value == 0 || value == 3 ? 0 : value == 2 ? 2 : 1; }
int powerLineToDevice(int value, bool deviceHasAuto)
{
    return value == 0 ? (deviceHasAuto ? 3 : 0) : value == 2 ? 2 : 1;
}
bool powerLineHasAuto(v4l2::VideoDeviceIo& io)
{
    v4l2_queryctrl query;
    return v4l2::queryControl(io, V4L2_CID_POWER_LINE_FREQUENCY, query) == 0 && query.maximum >= 3;
}

// The automatic exposure mode the device offers: fully automatic, else
// aperture priority (most UVC cameras), else shutter priority.
int automaticExposureMode(v4l2::VideoDeviceIo& io, const v4l2_queryctrl& query)
{
    const std::vector<int> modes = v4l2::menuValues(io, query);
    for (int wanted : {V4L2_EXPOSURE_AUTO, V4L2_EXPOSURE_APERTURE_PRIORITY, V4L2_EXPOSURE_SHUTTER_PRIORITY})
        if (std::find(modes.begin(), modes.end(), wanted) != modes.end())
            return wanted;
    return -1;
}

// The controls of an open device for the host's property page. The page is
// modal, and while it is open the camera may be released (unplugged, the
// watchdog): the panel then finds the device gone and every call fails.
class DeviceControlPanel : public CMControlPanel {
public:
    explicit DeviceControlPanel(std::shared_ptr<v4l2::SharedDevice> device) : m_device(std::move(device)) {}
    std::vector<CMControlDescription> controls() override
    {
        return m_device->with([](v4l2::VideoDeviceIo& io) { return v4l2::describeControls(io); },
                              std::vector<CMControlDescription>{});
    }
    int getControl(unsigned id, int* value) override
    {
        if (!value)
            return CM_E_INVALIDARG;
        return m_device->with(
            [&](v4l2::VideoDeviceIo& io) { return v4l2::getControl(io, id, *value) == 0 ? CM_OK : CM_E_FAILED; },
            int(CM_E_FAILED));
    }
    int setControl(unsigned id, int value) override
    {
        return m_device->with(
            [&](v4l2::VideoDeviceIo& io) { return v4l2::setControl(io, id, value) == 0 ? CM_OK : CM_E_FAILED; },
            int(CM_E_FAILED));
    }

private:
    const std::shared_ptr<v4l2::SharedDevice> m_device;
};

int openFailureOf(int error)
{
    switch (error) {
    case 0: return CM_OPEN_FAILURE_OTHER;
    case EACCES:
    case EPERM: return CM_OPEN_FAILURE_VIDEO_GROUP;
    case EBUSY: return CM_OPEN_FAILURE_BUSY;
    case ENODEV:
    case ENOENT: return CM_OPEN_FAILURE_GONE;
    default: return CM_OPEN_FAILURE_OTHER;
    }
}

} // namespace

CMCameraDirectShow::CMCameraDirectShow(int deviceIndex) : CMCameraSDK(deviceIndex)
{
    m_capture.setFrameSink([this](int kind, const uint8_t* data, size_t length) { onFrame(kind, data, length); });
}

CMCameraDirectShow::~CMCameraDirectShow()
{
    // No frame may reach a half-destroyed camera.
    Release();
}

bool CMCameraDirectShow::isSetup() const
{
    return m_nDeviceIndex >= 0 && m_nDeviceIndex < v4l2::CMCaptureManager::kMaxDevices &&
           m_capture.isSetup(m_nDeviceIndex);
}

v4l2::CMCaptureDevice* CMCameraDirectShow::setupDevice()
{
    return isSetup() ? &m_capture.device(m_nDeviceIndex) : nullptr;
}

v4l2::VideoDeviceIo* CMCameraDirectShow::deviceIo()
{
    v4l2::CMCaptureDevice* dev = setupDevice();
    return dev ? dev->io.get() : nullptr;
}

// ---- lifecycle ----

std::string CMCameraDirectShow::OpenedPort()
{
    if (!isSetup() || size_t(m_nDeviceIndex) >= m_capture.nodes().size())
        return {};
    return m_capture.nodes()[size_t(m_nDeviceIndex)].port;
}

int CMCameraDirectShow::Init(CMFrameCallback cb, void* userData, long width, long height)
{
    m_capture.listDevices();
    if (m_nDeviceIndex < 0 || m_nDeviceIndex >= v4l2::CMCaptureManager::kMaxDevices)
        return CM_E_OPEN;
    m_capture.requestedPreviewSubtype = m_previewSubtype;
    m_capture.requestedStillSubtype = v4l2::subtypeOfFormatCode(m_stillFormat);
    if (m_capture.isSetup(m_nDeviceIndex))
        return CM_E_OPEN;
    v4l2::CMCaptureDevice& dev = m_capture.device(m_nDeviceIndex);
    dev.tryWidth = static_cast<int>(width);
    dev.tryHeight = static_cast<int>(height);
    {
        std::lock_guard lock(m_decodeMutex);
        m_h264.reset();
    }
    if (m_capture.setupDevice(m_nDeviceIndex) != CM_OK) {
        recordOpenFailure(openFailureOf(m_capture.lastOpenError()));
        return CM_E_OPEN;
    }
    recordOpenFailure(CM_OPEN_FAILURE_NONE);
    v4l2::CMCaptureDevice& ready = m_capture.device(m_nDeviceIndex);
    m_previewSubtype = v4l2::subtypeOfFourcc(ready.fourcc);
    m_stillFormat = ready.still ? v4l2::formatCodeOfFourcc(ready.stillFourcc) : FMT_UNKNOWN;
    setCallback(cb, userData);
    return CM_OK;
}

void CMCameraDirectShow::Release()
{
    if (m_nDeviceIndex >= 0 && m_nDeviceIndex < v4l2::CMCaptureManager::kMaxDevices)
        m_capture.teardown(m_nDeviceIndex);
}

void CMCameraDirectShow::onFrame(int kind, const uint8_t* data, size_t length)
{
    if (kind == 1) {
        {
            std::lock_guard lock(m_stillMutex);
            m_stillBuffer.assign(data, data + length);
            m_stillStored = true;
        }
        m_stillEvent.set();
        return;
    }
    const v4l2::CMCaptureDevice& dev = m_capture.device(m_nDeviceIndex);
    if (dev.fourcc == V4L2_PIX_FMT_H264) {
        // Every buffer reaches the decoder, paused or not: the pictures after
        // it are built on it.
        std::lock_guard lock(m_decodeMutex);
        if (!m_h264.decode(data, length) || m_bPaused)
            return;
        const std::vector<uint8_t>& picture = m_h264.picture();
        CWImage frame(m_h264.width(), m_h264.height(), const_cast<unsigned char*>(picture.data()),
                      static_cast<unsigned>(picture.size()), static_cast<unsigned>(picture.size()), true, FMT_I420, 0);
        deliverFrame(&frame, DeliveryOrder::CallbackThenGrab, true);
        return;
    }
    if (m_bPaused)
        return;
    // V4L2 rows are top-down in every format, BGR24 included.
    CWImage frame(dev.width, dev.height, const_cast<unsigned char*>(data), static_cast<unsigned>(length),
                  static_cast<unsigned>(length), true, v4l2::formatCodeOfFourcc(dev.fourcc), 0);
    deliverFrame(&frame, DeliveryOrder::CallbackThenGrab, true);
}

// ---- sizes and formats ----

int CMCameraDirectShow::changeFormat(uint32_t fourcc, int width, int height)
{
    const int rc = m_capture.changeFormat(m_nDeviceIndex, fourcc, width, height);
    // The capture thread is running again; a new stream begins with a key frame.
    std::lock_guard lock(m_decodeMutex);
    m_h264.reset();
    return rc;
}

namespace {

// Appends the sizes `formats` offers in `subtype`; CM_E_NOTSUPPORTED when none.
int appendSizesOf(const std::vector<v4l2::FormatEntry>& formats, int subtype, std::vector<_tag_CMSIZE>& sizes)
{
    const size_t before = sizes.size();
    for (const v4l2::FormatEntry& e : formats)
        if (e.subtype >= 0 && e.subtype == subtype)
            sizes.insert(sizes.end(), e.sizes.begin(), e.sizes.end());
    return sizes.size() > before ? CM_OK : CM_E_NOTSUPPORTED;
}

} // namespace

int CMCameraDirectShow::GetSupportedPreviewSizes(std::vector<_tag_CMSIZE>* sizes)
{
    if (!sizes)
        return CM_E_INVALIDARG;
    const v4l2::CMCaptureDevice* dev = setupDevice();
    if (!dev)
        return CM_E_NOTSUPPORTED;
    return appendSizesOf(dev->previewFormats, m_capture.requestedPreviewSubtype, *sizes);
}

int CMCameraDirectShow::GetPreviewSize(_tag_CMSIZE& size)
{
    const v4l2::CMCaptureDevice* dev = setupDevice();
    size = dev ? _tag_CMSIZE{dev->width, dev->height} : _tag_CMSIZE{0, 0};
    return CM_OK;
}

int CMCameraDirectShow::SetPreviewSize(_tag_CMSIZE size)
{
    v4l2::CMCaptureDevice* dev = setupDevice();
    if (!dev)
        return CM_E_FAILED;
    if (dev->width == size.width && dev->height == size.height)
        return CM_OK;
    stopPreview();
    const int rc = changeFormat(v4l2::subtypeFourcc(m_capture.requestedPreviewSubtype), size.width, size.height);
    startPreview();
    return rc == CM_OK ? CM_OK : CM_E_FAILED;
}

int CMCameraDirectShow::GetSupportedFormats(std::vector<int>* formats)
{
    if (!formats)
        return CM_E_INVALIDARG;
    // Only formats the program can show are offered.
    if (const v4l2::CMCaptureDevice* dev = setupDevice())
        for (const v4l2::FormatEntry& e : dev->previewFormats)
            if (v4l2::isShowableSubtype(e.subtype))
                formats->push_back(v4l2::formatCodeOfSubtype(e.subtype));
    return CM_OK;
}

int CMCameraDirectShow::GetFormat(int& format)
{
    format = v4l2::formatCodeOfSubtype(isSetup() ? m_capture.requestedPreviewSubtype : m_previewSubtype.load());
    return CM_OK;
}

int CMCameraDirectShow::SetFormat(int format)
{
    if (!isSetup()) {
        m_previewSubtype = v4l2::subtypeOfFormatCode(format);
        return CM_OK;
    }
    int current = FMT_UNKNOWN;
    GetFormat(current);
    // The window applies the current format again whenever it fills its
    // list; that must not pause the stream.
    if (format == current)
        return CM_OK;
    stopPreview();
    std::vector<int> offered;
    GetSupportedFormats(&offered);
    int rc = CM_OK;
    if (std::find(offered.begin(), offered.end(), format) != offered.end()) {
        const int previous = m_capture.requestedPreviewSubtype;
        const int subtype = v4l2::subtypeOfFormatCode(format);
        const v4l2::CMCaptureDevice& dev = m_capture.device(m_nDeviceIndex);
        if (changeFormat(v4l2::subtypeFourcc(subtype), dev.width, dev.height) == CM_OK) {
            m_previewSubtype = subtype;
            m_capture.requestedPreviewSubtype = subtype;
        } else {
            m_capture.requestedPreviewSubtype = previous;
            rc = CM_E_FAILED;
        }
    }
    startPreview();
    return rc;
}

int CMCameraDirectShow::GetSupportedStillCaptureSizes(std::vector<_tag_CMSIZE>* sizes)
{
    if (!sizes)
        return CM_E_INVALIDARG;
    const v4l2::CMCaptureDevice* dev = setupDevice();
    if (!dev)
        return CM_E_NOTSUPPORTED;
    return appendSizesOf(dev->stillFormats, m_capture.requestedStillSubtype, *sizes);
}

int CMCameraDirectShow::GetStillCaptureSize(_tag_CMSIZE& size)
{
    const v4l2::CMCaptureDevice* dev = setupDevice();
    size = dev ? _tag_CMSIZE{dev->stillWidth, dev->stillHeight} : _tag_CMSIZE{0, 0};
    return CM_OK;
}

int CMCameraDirectShow::SetStillCaptureSize(_tag_CMSIZE size)
{
    std::vector<_tag_CMSIZE> offered;
    GetSupportedStillCaptureSizes(&offered);
    const bool listed = std::any_of(offered.begin(), offered.end(), [&](const _tag_CMSIZE& s) {
        return s.width == size.width && s.height == size.height;
    });
    if (!listed)
        return CM_E_NOTSUPPORTED;
    _tag_CMSIZE current{0, 0};
    GetStillCaptureSize(current);
    if (current.width == size.width && current.height == size.height)
        return CM_OK;
    // The still size is chosen when the device is set up: open it again.
    _tag_CMSIZE preview{0, 0};
    GetPreviewSize(preview);
    Lock();
    const CMFrameCallback callback = m_pCallback;
    void* const user = m_pUserData;
    Unlock();
    Release();
    m_capture.requestedStillWidth = size.width;
    m_capture.requestedStillHeight = size.height;
    if (Init(callback, user, preview.width, preview.height) == CM_OK)
        startPreview();
    return CM_OK;
}

// ---- stills ----

int CMCameraDirectShow::GetStillImage(CWImage* image)
{
    struct ResumeLive {
        CMCameraDirectShow& camera;
        ~ResumeLive() { camera.m_bPaused = false; }
    } resume{*this};
    m_bPaused = true;
    // A still that came after an earlier wait gave up is not this one.
    m_stillEvent.reset();
    {
        std::lock_guard lock(m_stillMutex);
        m_stillStored = false;
    }
    if (m_capture.triggerStill(m_nDeviceIndex) != CM_OK)
        return CM_E_FAILED;
    if (!m_stillEvent.wait(kStillTimeoutMs))
        return CM_E_TIMEOUT;
    std::lock_guard lock(m_stillMutex);
    if (!image || !m_stillStored)
        return CM_E_FAILED;
    const v4l2::CMCaptureDevice* dev = setupDevice();
    const int subtype = dev ? v4l2::subtypeOfFourcc(dev->stillFourcc) : -1;
    if (subtype < 0)
        return CM_E_NOTSUPPORTED;
    auto* copy = new (std::nothrow) unsigned char[m_stillBuffer.empty() ? 1 : m_stillBuffer.size()];
    if (!copy)
        return CM_E_NOMEM;
    std::copy(m_stillBuffer.begin(), m_stillBuffer.end(), copy);
    image->data = copy;
    image->dataSize = image->bufferSize = static_cast<unsigned>(m_stillBuffer.size());
    image->format = v4l2::formatCodeOfSubtype(subtype);
    image->bottomUp = 0; // V4L2 rows are top-down
    image->width = dev->stillWidth;
    image->height = dev->stillHeight;
    m_stillBuffer.clear();
    m_stillStored = false;
    return CM_OK;
}

// ---- property page ----

bool CMCameraDirectShow::HasPropertyPages() { return true; }

void CMCameraDirectShow::ShowPropertyPages(void* parentWindow, char*)
{
    const CMPropertyPageHook hook = CMGetPropertyPageHook();
    v4l2::CMCaptureDevice* dev = setupDevice();
    if (!hook || !dev)
        return;
    DeviceControlPanel panel(dev->shared);
    // The camera may be released while the page is open: nothing of it is
    // touched after the hook returns.
    const std::string title = dev->name;
    hook(parentWindow, title.c_str(), &panel);
}

// ---- exposure and white balance ----

int CMCameraDirectShow::setExposure(bool automatic)
{
    v4l2::VideoDeviceIo* io = deviceIo();
    v4l2_queryctrl query;
    if (!io || v4l2::queryControl(*io, V4L2_CID_EXPOSURE_AUTO, query) != 0)
        return CM_E_NOTSUPPORTED;
    if (automatic) {
        const int mode = automaticExposureMode(*io, query);
        if (mode < 0)
            return CM_E_NOTSUPPORTED;
        return v4l2::setControl(*io, V4L2_CID_EXPOSURE_AUTO, mode) == 0 ? CM_OK : CM_E_FAILED;
    }
    if (v4l2::setControl(*io, V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_MANUAL) != 0)
        return CM_E_FAILED;
    // The exposure the automatic mode left is kept as the manual value.
    int value = 0;
    if (v4l2::getControl(*io, V4L2_CID_EXPOSURE_ABSOLUTE, value) == 0)
        v4l2::setControl(*io, V4L2_CID_EXPOSURE_ABSOLUTE, value);
    return CM_OK;
}

int CMCameraDirectShow::getExposure(bool& automatic)
{
    v4l2::VideoDeviceIo* io = deviceIo();
    int mode = 0;
    if (!io || v4l2::getControl(*io, V4L2_CID_EXPOSURE_AUTO, mode) != 0)
        return CM_E_NOTSUPPORTED;
    automatic = mode != V4L2_EXPOSURE_MANUAL;
    return CM_OK;
}

int CMCameraDirectShow::getWhiteBalanceMode() { return IsPropertySupport(CM_PROP_WB_TEMPERATURE) ? 1 : 0; }

int CMCameraDirectShow::setWhiteBalance(bool automatic)
{
    v4l2::VideoDeviceIo* io = deviceIo();
    v4l2_queryctrl query;
    if (!io || v4l2::queryControl(*io, V4L2_CID_AUTO_WHITE_BALANCE, query) != 0)
        return CM_E_NOTSUPPORTED;
    if (v4l2::setControl(*io, V4L2_CID_AUTO_WHITE_BALANCE, automatic ? 1 : 0) != 0)
        return CM_E_FAILED;
    int value = 0;
    if (!automatic && v4l2::getControl(*io, V4L2_CID_WHITE_BALANCE_TEMPERATURE, value) == 0)
        v4l2::setControl(*io, V4L2_CID_WHITE_BALANCE_TEMPERATURE, value);
    return CM_OK;
}

int CMCameraDirectShow::getWhiteBalance(bool& automatic)
{
    v4l2::VideoDeviceIo* io = deviceIo();
    int value = 0;
    if (!io || v4l2::getControl(*io, V4L2_CID_AUTO_WHITE_BALANCE, value) != 0)
        return CM_E_NOTSUPPORTED;
    automatic = value != 0;
    return CM_OK;
}

// ---- properties ----

bool CMCameraDirectShow::IsPropertySupport(tagCMProperty p)
{
    if (isSoftwareProperty(p))
        return CMCameraSDK::IsPropertySupport(p);
    const PropertyControl* entry = findControl(p);
    v4l2::VideoDeviceIo* io = deviceIo();
    int value = 0;
    return entry && io && v4l2::getControl(*io, entry->control, value) == 0;
}

int CMCameraDirectShow::GetPropertyRange(tagCMProperty p, int* min, int* max, int* def, int* step)
{
    if (isSoftwareProperty(p))
        return CMCameraSDK::GetPropertyRange(p, min, max, def, step);
    const PropertyControl* entry = findControl(p);
    if (!entry)
        return CM_E_NOTSUPPORTED;
    v4l2::VideoDeviceIo* io = deviceIo();
    v4l2_queryctrl query;
    // A device that does not answer leaves the outputs as they were.
    if (!io || v4l2::queryControl(*io, entry->control, query) != 0)
        return CM_OK;
    int defaultValue = query.default_value;
    if (entry->videoAmplifier && (defaultValue < query.minimum || defaultValue > query.maximum))
        defaultValue = static_cast<int>((int64_t(query.maximum) - query.minimum) / 2);
    if (min)
        *min = query.minimum;
    if (max)
        *max = query.maximum;
    if (def)
        *def = defaultValue;
    return CM_OK;
}

int CMCameraDirectShow::GetPropertyRangeEnumInt(tagCMProperty p, std::vector<int>& values)
{
    if (p == CM_PROP_COLOR_MODE)
        return CMCameraSDK::GetPropertyRangeEnumInt(p, values);
    if (p != CM_PROP_POWERLINE)
        return CM_E_NOTSUPPORTED;
    v4l2::VideoDeviceIo* io = deviceIo();
    v4l2_queryctrl query;
    if (!io || v4l2::queryControl(*io, V4L2_CID_POWER_LINE_FREQUENCY, query) != 0)
        return CM_E_NOTSUPPORTED;
    if (query.minimum >= query.maximum || query.step <= 0)
        return CM_OK;
    // A mains-frequency menu has a handful of entries; a driver that claims
    // more is not believed. Two device values that mean the same library
    // value (off and automatic) are listed once.
    int entries = 0;
    for (int64_t v = query.minimum; v <= query.maximum && entries < kMaxPowerLineEntries; v += query.step, ++entries) {
        const int value = powerLineFromDevice(static_cast<int>(v));
        if (std::find(values.begin(), values.end(), value) == values.end())
            values.push_back(value);
    }
    return CM_OK;
}

int CMCameraDirectShow::GetProperty(tagCMProperty p, int* value)
{
    if (isSoftwareProperty(p))
        return CMCameraSDK::GetProperty(p, value);
    const PropertyControl* entry = findControl(p);
    if (!entry)
        return CM_E_NOTSUPPORTED;
    if (!value)
        return CM_E_INVALIDARG;
    v4l2::VideoDeviceIo* io = deviceIo();
    int read = 0;
    if (!io || v4l2::getControl(*io, entry->control, read) != 0)
        return CM_E_NOTSUPPORTED;
    *value = p == CM_PROP_POWERLINE ? powerLineFromDevice(read) : read;
    return CM_OK;
}

int CMCameraDirectShow::GetPropertyUnit(tagCMProperty p, char* buf, int bufSize)
{
    if (p != CM_PROP_EXPOSURE || !IsPropertySupport(p))
        return CMCameraSDK::GetPropertyUnit(p, buf, bufSize);
    if (!buf || bufSize <= 0)
        return CM_E_NOTSUPPORTED;
    std::snprintf(buf, static_cast<size_t>(bufSize), "ms");
    return CM_OK;
}

int CMCameraDirectShow::GetPropertyAlias(tagCMProperty p, int value, char* buf, int bufSize)
{
    if (p != CM_PROP_EXPOSURE || !IsPropertySupport(p))
        return CMCameraSDK::GetPropertyAlias(p, value, buf, bufSize);
    if (!buf || bufSize <= 0)
        return CM_E_NOTSUPPORTED;
    // V4L2's absolute exposure counts 100 µs.
    std::snprintf(buf, static_cast<size_t>(bufSize), "%.1f ms", value / 10.0);
    return CM_OK;
}

int CMCameraDirectShow::SetProperty(tagCMProperty p, int value)
{
    if (isSoftwareProperty(p))
        return CMCameraSDK::SetProperty(p, value);
    const PropertyControl* entry = findControl(p);
    if (!entry)
        return CM_E_NOTSUPPORTED;
    v4l2::VideoDeviceIo* io = deviceIo();
    if (!io)
        return CM_E_NOTSUPPORTED;
    // A value set by hand is a manual value: the automatic mode that drives
    // the control lets go of it first.
    v4l2_queryctrl query;
    if (p == CM_PROP_EXPOSURE && v4l2::queryControl(*io, V4L2_CID_EXPOSURE_AUTO, query) == 0)
        v4l2::setControl(*io, V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_MANUAL);
    if (p == CM_PROP_WB_TEMPERATURE && v4l2::queryControl(*io, V4L2_CID_AUTO_WHITE_BALANCE, query) == 0)
        v4l2::setControl(*io, V4L2_CID_AUTO_WHITE_BALANCE, 0);
    const int deviceValue = p == CM_PROP_POWERLINE ? powerLineToDevice(value, powerLineHasAuto(*io)) : value;
    return v4l2::setControl(*io, entry->control, deviceValue) == 0 ? CM_OK : CM_E_FAILED;
}
