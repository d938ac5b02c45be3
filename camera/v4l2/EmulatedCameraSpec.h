#pragma once
// What an emulated video camera offers: formats and sizes, controls with
// ranges, menus and defaults, a still method, the register tunnel of the
// model cameras, its USB ids.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace v4l2 {

struct EmulatedFormat {
    enum class Sizes { Discrete, Stepwise, Continuous };
    uint32_t fourcc;
    // Discrete: every size, in the order enumerated. Stepwise and
    // Continuous: the smallest and the largest size of the range.
    std::vector<std::pair<int, int>> sizes;
    int framesPerSecond = 0; // 0: the camera's rate
    Sizes kind = Sizes::Discrete;
    int stepWidth = 1, stepHeight = 1; // the grid of a stepwise range
};

struct EmulatedControl {
    uint32_t id;
    uint32_t type; // V4L2_CTRL_TYPE_INTEGER, _BOOLEAN, _MENU, _BUTTON
    std::string name;
    int min, max, step, def;
    std::vector<std::pair<int, std::string>> menu; // menu items that exist (gaps allowed)
};

// The camera terminal's roll control. The kernel's UVC driver does not map
// it, so on real devices it is never there; the emulated model cameras
// offer it under this id to carry the register tunnel.
constexpr uint32_t kRollControlId = 0x08000000 + 0x524f; // V4L2_CID_PRIVATE_BASE + 'RO'

struct EmulatedCameraSpec {
    std::string name;
    int vid = 0;
    int pid = 0;
    std::vector<EmulatedFormat> formats;
    std::vector<EmulatedControl> controls;
    int framesPerSecond = 30;
    // MJPEG pictures show a textured specimen with a phase stamp instead of
    // the colour patches (the big cameras: JPEGs as large as real ones).
    bool specimen = false;
    // Still method: formats and sizes; empty = the camera has none.
    std::vector<EmulatedFormat> stillFormats;
    // Roll selects a register, Focus reads and writes its 16-bit value.
    bool registerTunnel = false;
    std::vector<std::pair<int, int>> registerDefaults; // (register, value)
    // The USB port it is plugged into ("usb:1-2.3"); empty: its node path
    // stands for it.
    std::string port;
};

// Generic camera `number` (the name carries it) of profile 0 (YUYV and MJPEG
// up to 1920 × 1080), 1 (YUYV at 640 × 480 only) or 2 (H.264 and MJPEG).
EmulatedCameraSpec genericCameraSpec(int profile, int number);
// A camera by profile name, or nullopt for a name it does not know:
//  "webcam"  a 720p webcam listing YUYV first (10 frames/s at 1280 × 720)
//            and MJPEG at 30;
//  "formats" NV12, YU12, GREY and H.264 up to 1280 × 720, and MJPEG on a
//            stepwise size range;
//  "5mp"     MJPEG up to 2592 × 1944 at 30 frames/s;
//  "4k"      MJPEG up to 3840 × 2160 at 30 frames/s.
std::optional<EmulatedCameraSpec> namedCameraSpec(const std::string& profile, int number);
// The model camera with these USB ids, if it is one.
std::optional<EmulatedCameraSpec> modelCameraSpec(int vid, int pid);
// The emulated cameras the environment asks for: LENSBRIDGE_EMULATE_VIDEO=<n>
// generic cameras (camera i takes profile i mod 3), then the models listed in
// LENSBRIDGE_EMULATE_VIDEO_MODELS ("eba1:7585,04f2:a14b"; unknown ids and
// entries that do not parse are skipped), then the named profiles of
// LENSBRIDGE_EMULATE_VIDEO_PROFILES ("webcam,4k"; unknown names skipped).
// With LENSBRIDGE_EMULATE_VIDEO_SAME_IDS=1 every generic camera has the ids
// of the first (two identical cameras on two ports).
std::vector<EmulatedCameraSpec> emulatedSpecsFromEnvironment();

} // namespace v4l2
