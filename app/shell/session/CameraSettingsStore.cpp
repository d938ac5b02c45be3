#include "app/shell/session/CameraSettingsStore.h"

#include "app/shell/AppConfig.h"
#include "app/shell/RegistryKey.h"
#include "camera/CMCameraBase.h"
#include "platform/UserFolders.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <vector>

namespace shell {
namespace {

constexpr int kLastProperty = CM_PROP_IRIS;
constexpr std::size_t kIdentityChars = 1024;

bool ExposureValue(int property) { return property == CM_PROP_EXPOSURE; }

bool WhiteBalanceValue(int property)
{
    return property == CM_PROP_RED_GAIN || property == CM_PROP_GREEN_GAIN || property == CM_PROP_BLUE_GAIN ||
           property == CM_PROP_WB_TEMPERATURE;
}

std::string PropertyName(int property) { return "Property" + std::to_string(property); }

} // namespace

CameraAdjustments ReadAdjustments(CMCameraBase& camera)
{
    CameraAdjustments adjustments;
    for (int p = 0; p <= kLastProperty; ++p) {
        const auto property = static_cast<tagCMProperty>(p);
        int value = 0;
        if (camera.IsPropertySupport(property) && camera.GetProperty(property, &value) == 0)
            adjustments.properties[p] = value;
    }
    bool automatic = false;
    if (camera.getExposure(automatic) == 0)
        adjustments.autoExposure = automatic ? 1 : 0;
    if (camera.getWhiteBalance(automatic) == 0)
        adjustments.autoWhiteBalance = automatic ? 1 : 0;
    int format = -1;
    if (camera.GetFormat(format) == 0)
        adjustments.format = format;
    _tag_CMSIZE size{0, 0};
    if (camera.GetPreviewSize(size) == 0 && size.width > 0 && size.height > 0) {
        adjustments.previewWidth = size.width;
        adjustments.previewHeight = size.height;
    }
    return adjustments;
}

void ApplyAdjustments(CMCameraBase& camera, const CameraAdjustments& adjustments)
{
    std::vector<int> formats;
    camera.GetSupportedFormats(&formats);
    int current = -1;
    if (adjustments.format >= 0 && std::find(formats.begin(), formats.end(), adjustments.format) != formats.end() &&
        (camera.GetFormat(current) != 0 || current != adjustments.format))
        camera.SetFormat(adjustments.format);
    std::vector<_tag_CMSIZE> sizes;
    camera.GetSupportedPreviewSizes(&sizes);
    _tag_CMSIZE now{0, 0};
    const bool offered = std::any_of(sizes.begin(), sizes.end(), [&](const _tag_CMSIZE& size) {
        return size.width == adjustments.previewWidth && size.height == adjustments.previewHeight;
    });
    if (offered && (camera.GetPreviewSize(now) != 0 || now.width != adjustments.previewWidth ||
                    now.height != adjustments.previewHeight))
        camera.SetPreviewSize(_tag_CMSIZE{adjustments.previewWidth, adjustments.previewHeight});
    if (adjustments.autoExposure >= 0)
        camera.setExposure(adjustments.autoExposure == 1);
    if (adjustments.autoWhiteBalance >= 0)
        camera.setWhiteBalance(adjustments.autoWhiteBalance == 1);
    for (const auto& [p, value] : adjustments.properties) {
        const auto property = static_cast<tagCMProperty>(p);
        if ((ExposureValue(p) && adjustments.autoExposure == 1) ||
            (WhiteBalanceValue(p) && adjustments.autoWhiteBalance == 1) || !camera.IsPropertySupport(property))
            continue;
        camera.SetProperty(property, value);
    }
}

std::string CameraSettingsStore::Root() const
{
    if (!m_root.empty())
        return m_root;
    return RegistryKey::folderForKey(platform::configFolder(),
                                     std::string("Software\\") + AppConfig::kProductName + "\\Cameras");
}

std::string CameraSettingsStore::FolderOf(const std::string& identity) const
{
    // An identity holds '/' and '#': every byte but letters, digits, '.',
    // '-' and '_' is written as %XX, so each camera is one folder.
    std::string name;
    for (unsigned char c : identity) {
        if (std::isalnum(c) || c == '.' || c == '-' || c == '_') {
            name += char(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            name += escaped;
        }
    }
    return Root() + "/" + name;
}

bool CameraSettingsStore::Load(const std::string& identity, CameraAdjustments& adjustments) const
{
    adjustments = CameraAdjustments{};
    std::error_code ec;
    const std::string folder = FolderOf(identity);
    if (identity.empty() || !std::filesystem::is_directory(folder, ec))
        return false;
    RegistryKey key;
    if (!key.create(folder))
        return false;
    std::uint32_t value = 0;
    for (int p = 0; p <= kLastProperty; ++p)
        if (key.queryDword(PropertyName(p), value))
            adjustments.properties[p] = static_cast<std::int32_t>(value);
    if (key.queryDword("AutoExposure", value) && value <= 1)
        adjustments.autoExposure = int(value);
    if (key.queryDword("AutoWhiteBalance", value) && value <= 1)
        adjustments.autoWhiteBalance = int(value);
    if (key.queryDword("Format", value) && value <= 0xFFFF)
        adjustments.format = int(value);
    std::uint32_t height = 0;
    if (key.queryDword("PreviewWidth", value) && key.queryDword("PreviewHeight", height) && value > 0 && height > 0 &&
        value <= 0xFFFF && height <= 0xFFFF) {
        adjustments.previewWidth = int(value);
        adjustments.previewHeight = int(height);
    }
    return !adjustments.empty();
}

bool CameraSettingsStore::Save(const std::string& identity, const CameraAdjustments& adjustments) const
{
    if (identity.empty())
        return false;
    const std::string folder = FolderOf(identity);
    // Values of properties the camera no longer reports must not come back.
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    RegistryKey key;
    if (!key.create(folder))
        return false;
    bool ok = true;
    for (const auto& [p, value] : adjustments.properties)
        ok = key.setDword(PropertyName(p), static_cast<std::uint32_t>(value)) && ok;
    if (adjustments.autoExposure >= 0)
        ok = key.setDword("AutoExposure", std::uint32_t(adjustments.autoExposure)) && ok;
    if (adjustments.autoWhiteBalance >= 0)
        ok = key.setDword("AutoWhiteBalance", std::uint32_t(adjustments.autoWhiteBalance)) && ok;
    if (adjustments.format >= 0)
        ok = key.setDword("Format", std::uint32_t(adjustments.format)) && ok;
    if (adjustments.previewWidth > 0 && adjustments.previewHeight > 0) {
        ok = key.setDword("PreviewWidth", std::uint32_t(adjustments.previewWidth)) && ok;
        ok = key.setDword("PreviewHeight", std::uint32_t(adjustments.previewHeight)) && ok;
    }
    return ok;
}

std::string CameraSettingsStore::LastCamera() const
{
    RegistryKey key;
    std::string identity;
    std::error_code ec;
    if (!std::filesystem::is_directory(Root(), ec) || !key.create(Root()) ||
        !key.queryString("LastCamera", identity, kIdentityChars))
        return {};
    return identity;
}

bool CameraSettingsStore::SetLastCamera(const std::string& identity) const
{
    RegistryKey key;
    return key.create(Root()) && key.setString("LastCamera", identity);
}

} // namespace shell
