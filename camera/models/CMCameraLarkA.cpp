#include "camera/models/CMCameraLarkA.h"

#include "camera/models/RegisterTunnel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr int kRegColorMode = 1;
constexpr int kRegPowerLine = 6;
constexpr int kRegAutoExposure = 7;
constexpr int kRegWhiteBalance = 8;
constexpr int kRegColorTemperature = 74;
constexpr int kWhiteBalanceOneShot = 2;
constexpr int kColorTemperatureEntries = 64;

struct RegisterProperty {
    tagCMProperty property;
    int reg;
    int min, max, def;
};

constexpr RegisterProperty kRegisters[] = {
    {CM_PROP_CONTRAST, 67, 0, 15, 8},   {CM_PROP_SATURATION, 66, 0, 15, 8},
    {CM_PROP_GAMMA, 72, 0, 63, 16},     {CM_PROP_SHARPNESS, 65, 0, 7, 2},
    {CM_PROP_GAIN, 14, 0, 63, 0},       {CM_PROP_EXPOSURE_TARGET, 68, 0, 15, 10},
    {CM_PROP_EXPOSURE, 12, 1, 999, 33}, {CM_PROP_RED_GAIN, 69, 0, 63, 24},
    {CM_PROP_BLUE_GAIN, 71, 0, 63, 26}, {CM_PROP_WB_TEMPERATURE, kRegColorTemperature, 0, 63, 25},
    {CM_PROP_DENOISE, 73, 0, 7, 5},
};

const RegisterProperty* findRegister(tagCMProperty p)
{
    for (const RegisterProperty& entry : kRegisters)
        if (entry.property == p)
            return &entry;
    return nullptr;
}

struct ResoOffset {
    int w1, h1, w2, h2, dx, dy;
    float scale;
};

constexpr ResoOffset kResoOffsets[] = {
    {1600, 1200, 4608, 3456, -29, 14, 2.88f}, {1920, 1080, 4608, 3456, -29, -418, 2.4f},
    {2304, 1728, 4608, 3456, -29, 7, 2.0f},   {4608, 3456, 4608, 3456, 0, 0, 1.0f},
    {1600, 1200, 2304, 1728, 0, 0, 1.44f},    {1920, 1080, 2304, 1728, 0, -216, 1.2f},
    {2304, 1728, 2304, 1728, 0, 0, 1.0f},     {4608, 3456, 2304, 1728, 0, 0, 0.5f},
    {1600, 1200, 1920, 1080, 0, 180, 1.2f},   {1920, 1080, 1920, 1080, 0, 0, 1.0f},
    {2304, 1728, 1920, 1080, 0, 180, 0.833f}, {4608, 3456, 1920, 1080, 0, 180, 0.42f},
    {1600, 1200, 1600, 1200, 0, 0, 1.0f},     {1920, 1080, 1600, 1200, 0, -150, 0.833f},
    {2304, 1728, 1600, 1200, 0, 0, 0.694f},   {4608, 3456, 1600, 1200, 0, 0, 0.347f},
};

constexpr _tag_CMSIZE kHiddenSizes[] = {{640, 480}, {1024, 768}, {1280, 720}, {1280, 1024}, {1952, 1304}, {2736, 1824}};

void removeHidden(std::vector<_tag_CMSIZE>& sizes, size_t from)
{
    auto hidden = [](const _tag_CMSIZE& s) {
        return std::any_of(std::begin(kHiddenSizes), std::end(kHiddenSizes),
                           [&](const _tag_CMSIZE& h) { return h.width == s.width && h.height == s.height; });
    };
    sizes.erase(std::remove_if(sizes.begin() + static_cast<long>(from), sizes.end(), hidden), sizes.end());
}

int boundedCopy(char* buf, int bufSize, const char* text)
{
    if (!buf || bufSize <= 0)
        return CM_E_NOTSUPPORTED;
    std::snprintf(buf, static_cast<size_t>(bufSize), "%s", text);
    return CM_OK;
}

} // namespace

CMCameraLarkA::CMCameraLarkA(int deviceIndex) : CMCameraDirectShow(deviceIndex) {}

CMCameraLarkB::CMCameraLarkB(int deviceIndex) : CMCameraLarkA(deviceIndex) { m_stillFormat = FMT_MJPG; }

int CMCameraLarkA::GetSupportedPreviewSizes(std::vector<_tag_CMSIZE>* sizes)
{
    if (!sizes)
        return CM_E_INVALIDARG;
    const size_t before = sizes->size();
    CMCameraDirectShow::GetSupportedPreviewSizes(sizes);
    removeHidden(*sizes, before);
    return sizes->size() > before ? CM_OK : CM_E_NOTSUPPORTED;
}

int CMCameraLarkA::GetSupportedStillCaptureSizes(std::vector<_tag_CMSIZE>* sizes)
{
    if (!sizes)
        return CM_E_INVALIDARG;
    const size_t before = sizes->size();
    CMCameraDirectShow::GetSupportedStillCaptureSizes(sizes);
    removeHidden(*sizes, before);
    return sizes->size() > before ? CM_OK : CM_E_NOTSUPPORTED;
}

bool CMCameraLarkA::getResoOffset(int w1, int h1, int w2, int h2, int& dx, int& dy, float& scale)
{
    for (const ResoOffset& row : kResoOffsets)
        if (row.w1 == w1 && row.h1 == h1 && row.w2 == w2 && row.h2 == h2) {
            dx = row.dx;
            dy = row.dy;
            scale = row.scale;
            return true;
        }
    return false;
}

bool CMCameraLarkA::isSupportStillCapture_Internal() { return stillReady(); }

// Only an open device can show that it lacks the tunnel; the tables (units,
// aliases, ranges) answer without one.
bool CMCameraLarkA::hasTunnel()
{
    v4l2::VideoDeviceIo* io = deviceIo();
    return !io || models::tunnelPresent(io);
}

// ---- exposure and white balance ----

int CMCameraLarkA::setExposure(bool automatic)
{
    if (!hasTunnel())
        return CMCameraDirectShow::setExposure(automatic);
    models::writeRegister(deviceIo(), kRegAutoExposure, automatic ? 1 : 0);
    return CM_OK;
}

int CMCameraLarkA::getExposure(bool& automatic)
{
    if (!hasTunnel())
        return CMCameraDirectShow::getExposure(automatic);
    automatic = models::readRegister(deviceIo(), kRegAutoExposure) == 1;
    return CM_OK;
}

int CMCameraLarkA::getWhiteBalanceMode() { return hasTunnel() ? 2 : CMCameraDirectShow::getWhiteBalanceMode(); }

int CMCameraLarkA::setWhiteBalance(bool automatic)
{
    if (!hasTunnel())
        return CMCameraDirectShow::setWhiteBalance(automatic);
    const int mode = getWhiteBalanceMode();
    if (mode == 2)
        models::writeRegister(deviceIo(), kRegWhiteBalance, kWhiteBalanceOneShot);
    else if (mode == 1)
        models::writeRegister(deviceIo(), kRegWhiteBalance, automatic ? 1 : 0);
    return CM_OK;
}

int CMCameraLarkA::getWhiteBalance(bool& automatic)
{
    if (!hasTunnel())
        return CMCameraDirectShow::getWhiteBalance(automatic);
    if (getWhiteBalanceMode() != 1)
        return CM_E_NOTSUPPORTED;
    automatic = models::readRegister(deviceIo(), kRegWhiteBalance) == 1;
    return CM_OK;
}

// ---- properties ----

bool CMCameraLarkA::IsPropertySupport(tagCMProperty p)
{
    if (!hasTunnel())
        return CMCameraDirectShow::IsPropertySupport(p);
    switch (p) {
    case CM_PROP_BRIGHTNESS: return false;
    // Red and blue gain work, but the camera does not list them.
    case CM_PROP_RED_GAIN:
    case CM_PROP_BLUE_GAIN: return CMCameraDirectShow::IsPropertySupport(p);
    case CM_PROP_WB_TEMPERATURE: return models::readRegister(deviceIo(), kRegColorTemperature) < 64;
    case CM_PROP_COLOR_MODE:
    case CM_PROP_POWERLINE: return true;
    default: return findRegister(p) ? true : CMCameraDirectShow::IsPropertySupport(p);
    }
}

int CMCameraLarkA::GetPropertyRange(tagCMProperty p, int* min, int* max, int* def, int* step)
{
    if (!hasTunnel())
        return CMCameraDirectShow::GetPropertyRange(p, min, max, def, step);
    if (p == CM_PROP_BRIGHTNESS)
        return CM_E_NOTSUPPORTED;
    const RegisterProperty* entry = findRegister(p);
    if (!entry)
        return CMCameraDirectShow::GetPropertyRange(p, min, max, def, step);
    if (min)
        *min = entry->min;
    if (max)
        *max = entry->max;
    if (def)
        *def = entry->def;
    return CM_OK;
}

int CMCameraLarkA::GetPropertyRangeEnumInt(tagCMProperty p, std::vector<int>& values)
{
    if (!hasTunnel())
        return CMCameraDirectShow::GetPropertyRangeEnumInt(p, values);
    if (p == CM_PROP_COLOR_MODE) {
        values = {0, 1, 2};
        return CM_OK;
    }
    if (p == CM_PROP_POWERLINE) {
        values = {1, 2, 3};
        return CM_OK;
    }
    return CMCameraDirectShow::GetPropertyRangeEnumInt(p, values);
}

int CMCameraLarkA::GetProperty(tagCMProperty p, int* value)
{
    if (!hasTunnel())
        return CMCameraDirectShow::GetProperty(p, value);
    if (p == CM_PROP_BRIGHTNESS)
        return CM_E_NOTSUPPORTED;
    const RegisterProperty* entry = findRegister(p);
    if (!entry && p != CM_PROP_COLOR_MODE && p != CM_PROP_POWERLINE)
        return CMCameraDirectShow::GetProperty(p, value);
    if (!value)
        return CM_E_INVALIDARG;
    if (p == CM_PROP_COLOR_MODE) {
        const int mode = models::readRegister(deviceIo(), kRegColorMode);
        *value = mode == 1 || mode == 2 ? mode : 0;
    } else if (p == CM_PROP_POWERLINE) {
        const int line = models::readRegister(deviceIo(), kRegPowerLine);
        *value = line == 1 ? 2 : line == 2 ? 3 : 1;
    } else {
        *value = models::readRegister(deviceIo(), entry->reg);
    }
    return CM_OK;
}

int CMCameraLarkA::SetProperty(tagCMProperty p, int value)
{
    if (!hasTunnel())
        return CMCameraDirectShow::SetProperty(p, value);
    if (p == CM_PROP_BRIGHTNESS)
        return CM_E_NOTSUPPORTED;
    const RegisterProperty* entry = findRegister(p);
    if (p == CM_PROP_COLOR_MODE)
        models::writeRegister(deviceIo(), kRegColorMode, value == 1 || value == 2 ? value : 0);
    else if (p == CM_PROP_POWERLINE)
        models::writeRegister(deviceIo(), kRegPowerLine, value == 2 ? 1 : value == 3 ? 2 : 0);
    else if (entry)
        models::writeRegister(deviceIo(), entry->reg, value);
    else
        return CMCameraDirectShow::SetProperty(p, value);
    return CM_OK;
}

int CMCameraLarkA::GetPropertyUnit(tagCMProperty p, char* buf, int bufSize)
{
    if (!hasTunnel())
        return CMCameraDirectShow::GetPropertyUnit(p, buf, bufSize);
    switch (p) {
    case CM_PROP_GAIN: return boundedCopy(buf, bufSize, "dB");
    case CM_PROP_EXPOSURE: return boundedCopy(buf, bufSize, "ms");
    case CM_PROP_WB_TEMPERATURE: return boundedCopy(buf, bufSize, "K");
    default: return CM_E_NOTSUPPORTED;
    }
}

int CMCameraLarkA::GetPropertyAlias(tagCMProperty p, int value, char* buf, int bufSize)
{
    if (!hasTunnel())
        return CMCameraDirectShow::GetPropertyAlias(p, value, buf, bufSize);
    char text[32];
    switch (p) {
    case CM_PROP_GAIN: std::snprintf(text, sizeof text, "%.2f dB", 20.0 * std::log10(value + 1.0)); break;
    case CM_PROP_EXPOSURE: std::snprintf(text, sizeof text, "%d ms", value); break;
    case CM_PROP_WB_TEMPERATURE:
        if (value < 0 || value >= kColorTemperatureEntries)
            return CM_E_NOTSUPPORTED;
        std::snprintf(text, sizeof text, "%dK", 1800 + 128 * value);
        break;
    default: return CM_E_NOTSUPPORTED;
    }
    return boundedCopy(buf, bufSize, text);
}
