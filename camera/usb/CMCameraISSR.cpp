#include "camera/usb/CMCameraISSR.h"

#include "camera/usb/UsbOpenFailureRecord.h"
#include "platform/DebugOutput.h"

#include <array>
#include <cstring>

namespace {

// Camera registers.
constexpr uint32_t kRegExposureMode = 0x1100; // 3 automatic, 0 manual
constexpr uint32_t kRegRoiX = 0x1220;
constexpr uint32_t kRegRoiY = 0x1224;
constexpr uint32_t kRegRoiWidth = 0x1228;
constexpr uint32_t kRegRoiHeight = 0x122C;
constexpr uint32_t kRegWhiteBalanceMode = 0x1300; // 1 automatic, 0 manual, 2 one-shot
constexpr uint32_t kRegSharpness = 0x2030;

constexpr int32_t kExposureAutomatic = 3;
constexpr int32_t kExposureManual = 0;
constexpr int32_t kWhiteBalanceManual = 0;
constexpr int32_t kWhiteBalanceAutomatic = 1;
constexpr int32_t kWhiteBalanceOneShot = 2;

// Sharpness is written with the two top bits set; only the low 4 bits are the value.
constexpr uint32_t kSharpnessWriteBits = 0xC0000000u;
constexpr int32_t kSharpnessValueMask = 0xF;

// The region of interest is centred in this sensor area.
constexpr int kSensorWidth = 1940;
constexpr int kSensorHeight = 1460;

// Stream leader in front of every delivered frame.
constexpr int32_t kLeaderSize = 52;
constexpr size_t kLeaderPixelFormat = 28;
constexpr size_t kLeaderWidth = 32;
constexpr size_t kLeaderHeight = 36;
constexpr uint32_t kPixelFormatYuyv = 0x0210003B;

constexpr int kSearchRecords = 16;

struct PropertyRegister {
    tagCMProperty property;
    uint32_t reg;
    int min, max, def;
};

constexpr std::array<PropertyRegister, 10> kProperties{{
    {CM_PROP_CONTRAST, 0x2100, 0, 255, 127},
    {CM_PROP_SATURATION, 0x2104, 0, 255, 51},
    {CM_PROP_SHARPNESS, kRegSharpness, 0, 15, 4},
    {CM_PROP_GAIN, 0x1140, 0, 360, 0},
    {CM_PROP_EXPOSURE_TARGET, 0x1104, 0, 255, 120},
    {CM_PROP_EXPOSURE, 0x1404, 10, 39200, 39200},
    {CM_PROP_RED_GAIN, 0x1310, 0, 120, 0},
    {CM_PROP_GREEN_GAIN, 0x1314, 0, 120, 0},
    {CM_PROP_BLUE_GAIN, 0x1318, 0, 120, 0},
    {CM_PROP_DENOISE, 0x2024, 0, 255, 127},
}};

constexpr std::array<_tag_CMSIZE, 9> kPreviewSizes{{
    {640, 480},
    {800, 600},
    {1024, 768},
    {1280, 720},
    {1280, 960},
    {1280, 1024},
    {1600, 1200},
    {1920, 1080},
    {1920, 1440},
}};

const PropertyRegister* findProperty(tagCMProperty p)
{
    for (const PropertyRegister& entry : kProperties)
        if (entry.property == p)
            return &entry;
    return nullptr;
}

uint32_t leaderField(const uint8_t* frame, size_t offset)
{
    return uint32_t(frame[offset]) | uint32_t(frame[offset + 1]) << 8 | uint32_t(frame[offset + 2]) << 16 |
           uint32_t(frame[offset + 3]) << 24;
}

} // namespace

CMCameraISSR::CMCameraISSR(int deviceIndex) : CMCameraISSR(deviceIndex, sensorlinkApi()) {}

CMCameraISSR::CMCameraISSR(int deviceIndex, const SensorlinkApi& sdk)
    : CMCameraSDK(deviceIndex), m_sdk(sdk), m_sdkUse(sdk)
{
}

CMCameraISSR::~CMCameraISSR()
{
    // A camera deleted without Release would otherwise keep receiving frames
    // after it is gone. The SDK is uninitialised with the last holder.
    Release();
}

// ---- lifecycle ----

int CMCameraISSR::Init(CMFrameCallback cb, void* userData, long, long)
{
    Release(); // a second Init starts from a clean session

    CameraInfo list[kSearchRecords];
    std::memset(list, 0, sizeof list);
    const int32_t found = m_sdk.searchCamera(list);
    int result = CM_OK;
    // Only a camera the search actually reported: an index past the result
    // would log in a zero-filled record, i.e. some other camera.
    if (found > 0 && m_nDeviceIndex >= 0 && m_nDeviceIndex < found && m_nDeviceIndex < kSearchRecords) {
        const CameraInfo& record = list[m_nDeviceIndex];
        const int32_t index = m_sdk.loginCamera(&record);
        if (index >= 0) {
            m_sdk.setCaptureCallback(index, &CMCameraISSR::onFrame, this, index);
            if (m_sdk.startCtrl(index) != VEXEL_OK)
                platform::DebugPrintf("Vexel_StartCtrl error\n");
            m_sdk.setParam(index, kRegExposureMode, kExposureAutomatic);
            m_reportedFormat = kNoFormatReported;
            m_sdkIndex = index;
            recordOpenFailure(VEXEL_OPEN_OK);
        } else {
            // A listed camera that cannot be opened is a failure, not a camera
            // that merely never delivers; the reason is kept for the message.
            const int32_t reason = m_sdk.getOpenFailure();
            recordOpenFailure(reason);
            // A failed open still leaves the session marked as logged in.
            m_sdk.logoutCamera(record.index);
            platform::DebugPrintf("Vexel_LoginCamera error 0x%x (open failure %d)\n", static_cast<unsigned>(index),
                                  reason);
            result = CM_E_OPEN;
        }
    }
    setCallback(cb, userData);
    return result;
}

void CMCameraISSR::Release()
{
    const int index = m_sdkIndex.exchange(-1);
    if (index < 0)
        return;
    // Stopping capture waits for the delivery thread, so no frame reaches the
    // host once Release has returned.
    m_sdk.stopCapture(index);
    m_sdk.stopCtrl(index);
    m_sdk.logoutCamera(index);
}

std::string CMCameraISSR::OpenedPort() const
{
    const int index = sdkIndex();
    char port[VEXEL_MAX_PORT] = {};
    if (index < 0 || m_sdk.getCameraPort(index, port, sizeof port) < 0)
        return {};
    return port;
}

int CMCameraISSR::startPreview()
{
    const int index = sdkIndex();
    int result = CM_OK;
    if (index >= 0) {
        const int32_t rc = m_sdk.startCapture(index);
        // Already running is fine; a camera without its stream is not.
        if (rc != VEXEL_OK && rc != VEXEL_E_STATE)
            result = CM_E_STREAM;
    }
    CMCameraSDK::startPreview();
    return result;
}

int CMCameraISSR::stopPreview()
{
    pause(true);
    const int index = sdkIndex();
    if (index >= 0)
        m_sdk.stopCapture(index);
    // Only after the stop: a frame counted while the delivery thread was
    // being joined would otherwise leave a rate behind.
    CMCameraSDK::stopPreview();
    return CM_OK;
}

// ---- registers ----

bool CMCameraISSR::writeRegister(uint32_t reg, int32_t value)
{
    const int index = sdkIndex();
    return index >= 0 && m_sdk.setParam(index, reg, value) == VEXEL_OK;
}

bool CMCameraISSR::readRegister(uint32_t reg, int32_t& value)
{
    value = 0;
    const int index = sdkIndex();
    if (index < 0)
        return false;
    int32_t read = 0;
    if (m_sdk.getParam(index, reg, &read) != VEXEL_OK)
        return false;
    value = read;
    return true;
}

// ---- sizes and formats ----

int CMCameraISSR::GetSupportedPreviewSizes(std::vector<_tag_CMSIZE>* sizes)
{
    if (!sizes)
        return CM_E_INVALIDARG;
    sizes->insert(sizes->end(), kPreviewSizes.begin(), kPreviewSizes.end());
    return CM_OK;
}

int CMCameraISSR::GetPreviewSize(_tag_CMSIZE& size)
{
    size = {0, 0};
    if (sdkIndex() < 0)
        return CM_OK;
    int32_t width = 0, height = 0;
    const bool ok = readRegister(kRegRoiWidth, width) && readRegister(kRegRoiHeight, height);
    size = {width, height};
    return ok ? CM_OK : CM_E_FAILED;
}

int CMCameraISSR::SetPreviewSize(_tag_CMSIZE size)
{
    if (sdkIndex() < 0)
        return CM_OK;
    bool supported = false;
    for (const _tag_CMSIZE& s : kPreviewSizes)
        supported = supported || (s.width == size.width && s.height == size.height);
    if (!supported)
        return CM_OK;
    // Offsets first, then the size: the window stays centred in the sensor area.
    bool ok = writeRegister(kRegRoiX, (kSensorWidth - size.width) / 2);
    ok = writeRegister(kRegRoiY, (kSensorHeight - size.height) / 2) && ok;
    ok = writeRegister(kRegRoiWidth, size.width) && ok;
    ok = writeRegister(kRegRoiHeight, size.height) && ok;
    return ok ? CM_OK : CM_E_FAILED;
}

int CMCameraISSR::GetSupportedFormats(std::vector<int>* formats)
{
    if (!formats)
        return CM_E_INVALIDARG;
    formats->push_back(FMT_YUYV);
    return CM_OK;
}

int CMCameraISSR::GetFormat(int& format)
{
    format = FMT_YUYV;
    return CM_OK;
}

int CMCameraISSR::SetFormat(int) { return CM_OK; }

// ---- exposure and white balance ----

int CMCameraISSR::setExposure(bool automatic)
{
    if (sdkIndex() < 0)
        return CM_E_STREAM;
    return writeRegister(kRegExposureMode, automatic ? kExposureAutomatic : kExposureManual) ? CM_OK : CM_E_FAILED;
}

int CMCameraISSR::getExposure(bool& automatic)
{
    if (sdkIndex() < 0)
        return CM_E_STREAM;
    int32_t mode = 0;
    const bool ok = readRegister(kRegExposureMode, mode);
    automatic = (mode & kExposureAutomatic) == kExposureAutomatic;
    return ok ? CM_OK : CM_E_FAILED;
}

int CMCameraISSR::setWhiteBalance(bool automatic)
{
    if (sdkIndex() < 0)
        return CM_E_STREAM;
    bool ok = true;
    switch (getWhiteBalanceMode()) {
    case 2: ok = writeRegister(kRegWhiteBalanceMode, kWhiteBalanceOneShot); break;
    case 1: ok = writeRegister(kRegWhiteBalanceMode, automatic ? kWhiteBalanceAutomatic : kWhiteBalanceManual); break;
    default: break;
    }
    return ok ? CM_OK : CM_E_FAILED;
}

int CMCameraISSR::getWhiteBalance(bool& automatic)
{
    if (sdkIndex() < 0)
        return CM_E_STREAM;
    int32_t mode = 0;
    const bool ok = readRegister(kRegWhiteBalanceMode, mode);
    automatic = mode == kWhiteBalanceAutomatic;
    return ok ? CM_OK : CM_E_FAILED;
}

// ---- properties ----

bool CMCameraISSR::IsPropertySupport(tagCMProperty p) { return findProperty(p) != nullptr; }

int CMCameraISSR::GetPropertyRange(tagCMProperty p, int* min, int* max, int* def, int*)
{
    if (sdkIndex() < 0 || !min || !max || !def)
        return CM_E_INVALIDARG;
    const PropertyRegister* entry = findProperty(p);
    if (!entry)
        return CM_E_NOTSUPPORTED;
    *min = entry->min;
    *max = entry->max;
    *def = entry->def;
    return CM_OK;
}

int CMCameraISSR::GetProperty(tagCMProperty p, int* value)
{
    if (sdkIndex() < 0 || !value)
        return CM_E_INVALIDARG;
    const PropertyRegister* entry = findProperty(p);
    if (!entry)
        return CM_E_NOTSUPPORTED;
    int32_t raw = 0;
    const bool ok = readRegister(entry->reg, raw);
    *value = entry->reg == kRegSharpness ? (raw & kSharpnessValueMask) : raw;
    return ok ? CM_OK : CM_E_FAILED;
}

int CMCameraISSR::SetProperty(tagCMProperty p, int value)
{
    if (sdkIndex() < 0)
        return CM_E_INVALIDARG;
    const PropertyRegister* entry = findProperty(p);
    if (!entry)
        return CM_E_NOTSUPPORTED;
    const int32_t raw =
        entry->reg == kRegSharpness ? static_cast<int32_t>(static_cast<uint32_t>(value) | kSharpnessWriteBits) : value;
    return writeRegister(entry->reg, raw) ? CM_OK : CM_E_FAILED;
}

// ---- frames ----

int32_t CMCameraISSR::onFrame(const uint8_t* frame, int32_t frameSize, void* userData, int32_t)
{
    auto* camera = static_cast<CMCameraISSR*>(userData);
    if (!camera || camera->sdkIndex() < 0 || !frame)
        return 0;
    camera->handleFrame(frame, frameSize);
    return 0;
}

void CMCameraISSR::handleFrame(const uint8_t* frame, int32_t frameSize)
{
    if (frameSize < kLeaderSize)
        return;
    const uint32_t pixelFormat = leaderField(frame, kLeaderPixelFormat);
    // Said for the first frame and on a change of format, never per frame, and
    // dropped rather than waited for: the delivery thread must not stall on
    // a diagnostics sink nobody reads.
    if (m_reportedFormat.exchange(pixelFormat) != pixelFormat)
        platform::DebugPrintfNoWait("U3V_LEADER Format 0x%x\n", pixelFormat);
    const uint32_t width = leaderField(frame, kLeaderWidth);
    const uint32_t height = leaderField(frame, kLeaderHeight);
    // The image describes the payload only: the host reads dataSize bytes
    // from data, which starts after the leader.
    const auto payloadSize = static_cast<unsigned>(frameSize - kLeaderSize);
    if (width == 0 || height == 0 || uint64_t(width) * height * 2 > payloadSize) {
        if (!m_reportedBadFrame.exchange(true))
            platform::DebugPrintfNoWait("USB camera: frame of %ux%u in %u payload bytes dropped\n", width, height,
                                        payloadSize);
        return;
    }
    m_reportedBadFrame = false;
    CWImage image(static_cast<int>(width), static_cast<int>(height), const_cast<uint8_t*>(frame + kLeaderSize),
                  payloadSize, payloadSize, true, pixelFormat == kPixelFormatYuyv ? FMT_YUYV : FMT_YUY2, 0);
    deliverFrame(&image, DeliveryOrder::GrabThenCallback, true);
}
