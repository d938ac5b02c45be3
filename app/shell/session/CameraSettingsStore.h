#pragma once
// The adjustment values of each camera, kept by the camera's identity in the
// program's settings folder ("Software\Pellumo\Cameras\<identity>", one
// value per adjustment, beside the other settings), and which camera was
// opened last. Cameras forget their control values when they lose power;
// the session applies these again when the camera is opened or reconnected.
// UI thread only.
#include <map>
#include <string>

class CMCameraBase;

namespace shell {

// What the adjustment panel sets on a camera, as the camera reports it.
struct CameraAdjustments {
    std::map<int, int> properties; // tagCMProperty → value, supported ones only
    int autoExposure = -1;         // 1 automatic, 0 manual, -1 not known
    int autoWhiteBalance = -1;
    int format = -1;      // pixel-format code of the preview, -1 not known
    int previewWidth = 0; // preview size, 0 not known
    int previewHeight = 0;
    bool empty() const
    {
        return properties.empty() && autoExposure < 0 && autoWhiteBalance < 0 && format < 0 && previewWidth <= 0;
    }
    bool operator==(const CameraAdjustments&) const = default;
};

// Reads the values `camera` holds now (every supported property, the
// exposure and white-balance modes, the preview format and size).
CameraAdjustments ReadAdjustments(CMCameraBase& camera);
// Sets them on `camera`: the preview format and size first (each only when
// the camera offers it), then the modes, then every value the modes leave
// manual (no exposure time under automatic exposure, no gains under
// automatic white balance). Values the camera does not support are skipped.
void ApplyAdjustments(CMCameraBase& camera, const CameraAdjustments& adjustments);

class CameraSettingsStore {
public:
    // The store under the user's configuration folder (read anew on every
    // call, so tests may point XDG_CONFIG_HOME elsewhere).
    CameraSettingsStore() = default;
    // The store in the folder `root` instead.
    explicit CameraSettingsStore(std::string root) : m_root(std::move(root)) {}

    // The values kept for `identity`; false (and `adjustments` empty) when
    // none are kept.
    bool Load(const std::string& identity, CameraAdjustments& adjustments) const;
    // Replaces the values kept for `identity`. False when the folder cannot
    // be written.
    bool Save(const std::string& identity, const CameraAdjustments& adjustments) const;

    // The identity of the camera opened last, "" when none was.
    std::string LastCamera() const;
    bool SetLastCamera(const std::string& identity) const;

private:
    std::string Root() const;
    std::string FolderOf(const std::string& identity) const;
    std::string m_root;
};

} // namespace shell
