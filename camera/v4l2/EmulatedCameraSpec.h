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
    uint32_t fourcc;
    std::vector<std::pair<int, int>> sizes; // discrete sizes, in the order enumerated
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
    // Still method: formats and sizes; empty = the camera has none.
    std::vector<EmulatedFormat> stillFormats;
    // Roll selects a register, Focus reads and writes its 16-bit value.
    bool registerTunnel = false;
    std::vector<std::pair<int, int>> registerDefaults; // (register, value)
};

// Generic camera `number` (the name carries it) of profile 0 (YUYV and MJPEG
// up to 1920 × 1080), 1 (YUYV at 640 × 480 only) or 2 (H.264 and MJPEG).
EmulatedCameraSpec genericCameraSpec(int profile, int number);
// The model camera with these USB ids, if it is one.
std::optional<EmulatedCameraSpec> modelCameraSpec(int vid, int pid);
// The emulated cameras the environment asks for: LENSBRIDGE_EMULATE_VIDEO=<n>
// generic cameras (camera i takes profile i mod 3), then the models listed in
// LENSBRIDGE_EMULATE_VIDEO_MODELS ("eba1:7585,04f2:a14b"; unknown ids and
// entries that do not parse are skipped).
std::vector<EmulatedCameraSpec> emulatedSpecsFromEnvironment();

} // namespace v4l2
