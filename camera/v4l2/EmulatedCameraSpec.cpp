#include "camera/v4l2/EmulatedCameraSpec.h"

#include <linux/videodev2.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace v4l2 {
namespace {

constexpr int kEmulatedVendorId = 0x1209;
constexpr int kEmulatedProductBase = 0x7600;
constexpr int kMaxEmulatedCameras = 20;

using Sizes = std::vector<std::pair<int, int>>;
const Sizes kUpTo1080p{{640, 480}, {1280, 720}, {1920, 1080}};

EmulatedControl integer(uint32_t id, const char* name, int min, int max, int step, int def)
{
    return {id, V4L2_CTRL_TYPE_INTEGER, name, min, max, step, def, {}};
}

EmulatedControl boolean(uint32_t id, const char* name, int def)
{
    return {id, V4L2_CTRL_TYPE_BOOLEAN, name, 0, 1, 1, def, {}};
}

EmulatedControl menu(uint32_t id, const char* name, int min, int max, int def,
                     std::vector<std::pair<int, std::string>> items)
{
    return {id, V4L2_CTRL_TYPE_MENU, name, min, max, 1, def, std::move(items)};
}

EmulatedControl powerLine(int max, int def)
{
    std::vector<std::pair<int, std::string>> items{{0, "Disabled"}, {1, "50 Hz"}, {2, "60 Hz"}};
    if (max >= 3)
        items.emplace_back(3, "Auto");
    return menu(V4L2_CID_POWER_LINE_FREQUENCY, "Power Line Frequency", 0, max, def, std::move(items));
}

// UVC cameras mostly offer manual and aperture-priority exposure.
EmulatedControl exposureModes(std::vector<std::pair<int, std::string>> items, int def)
{
    return menu(V4L2_CID_EXPOSURE_AUTO, "Auto Exposure", 0, 3, def, std::move(items));
}

std::vector<EmulatedControl> whiteBalanceControls()
{
    return {boolean(V4L2_CID_AUTO_WHITE_BALANCE, "White Balance, Automatic", 1),
            integer(V4L2_CID_WHITE_BALANCE_TEMPERATURE, "White Balance Temperature", 2800, 6500, 10, 4600),
            integer(V4L2_CID_BACKLIGHT_COMPENSATION, "Backlight Compensation", 0, 2, 1, 1)};
}

void append(std::vector<EmulatedControl>& to, const std::vector<EmulatedControl>& more)
{
    to.insert(to.end(), more.begin(), more.end());
}

EmulatedCameraSpec larkA(int pid, const char* name)
{
    EmulatedCameraSpec spec;
    spec.name = name;
    spec.vid = 0xEBA1;
    spec.pid = pid;
    // Preview sizes include two the program hides.
    const Sizes preview{{640, 480}, {1280, 720}, {1600, 1200}, {1920, 1080}};
    spec.formats = {{V4L2_PIX_FMT_MJPEG, preview}, {V4L2_PIX_FMT_YUYV, preview}};
    const Sizes still{{1600, 1200}, {1920, 1080}, {2304, 1728}, {2736, 1824}};
    spec.stillFormats = {{V4L2_PIX_FMT_YUYV, still}, {V4L2_PIX_FMT_MJPEG, still}};
    spec.controls = {integer(kRollControlId, "Roll, Absolute", 0, 255, 1, 0),
                     integer(V4L2_CID_FOCUS_ABSOLUTE, "Focus, Absolute", -32768, 65535, 1, 0), powerLine(2, 1)};
    spec.registerTunnel = true;
    spec.registerDefaults = {{1, 0},  {6, 1},   {7, 1},   {8, 1},   {12, 33}, {14, 0}, {65, 2}, {66, 8},
                             {67, 8}, {68, 10}, {69, 24}, {71, 26}, {72, 16}, {73, 5}, {74, 25}};
    return spec;
}

EmulatedCameraSpec pulseWhiteBalanceModel(int vid, int pid, const char* name, bool exposureOnFocus)
{
    EmulatedCameraSpec spec;
    spec.name = name;
    spec.vid = vid;
    spec.pid = pid;
    spec.formats = {{V4L2_PIX_FMT_MJPEG, kUpTo1080p}, {V4L2_PIX_FMT_YUYV, kUpTo1080p}};
    spec.controls = {integer(V4L2_CID_BRIGHTNESS, "Brightness", -64, 64, 1, 0),
                     integer(V4L2_CID_CONTRAST, "Contrast", 0, 95, 1, 32),
                     integer(V4L2_CID_SATURATION, "Saturation", 0, 100, 1, 64),
                     integer(V4L2_CID_GAIN, "Gain", 0, 100, 1, 0), powerLine(2, 1)};
    append(spec.controls, whiteBalanceControls());
    if (exposureOnFocus) // this model carries its exposure time on the focus control
        spec.controls.push_back(integer(V4L2_CID_FOCUS_ABSOLUTE, "Focus, Absolute", 0, 240, 1, 2));
    else
        append(spec.controls, {exposureModes({{1, "Manual Mode"}, {3, "Aperture Priority Mode"}}, 3),
                               integer(V4L2_CID_EXPOSURE_ABSOLUTE, "Exposure Time, Absolute", 3, 2047, 1, 250)});
    return spec;
}

} // namespace

EmulatedCameraSpec genericCameraSpec(int profile, int number)
{
    EmulatedCameraSpec spec;
    char name[64];
    spec.vid = kEmulatedVendorId;
    spec.pid = kEmulatedProductBase + number;
    switch (profile) {
    case 1:
        std::snprintf(name, sizeof name, "Emulated VGA Camera %d", number);
        spec.formats = {{V4L2_PIX_FMT_YUYV, {{640, 480}}}};
        spec.controls = {integer(V4L2_CID_BRIGHTNESS, "Brightness", 0, 255, 1, 128),
                         integer(V4L2_CID_CONTRAST, "Contrast", 0, 255, 1, 128),
                         integer(V4L2_CID_SATURATION, "Saturation", 0, 255, 1, 128),
                         integer(V4L2_CID_GAIN, "Gain", 0, 255, 1, 32),
                         powerLine(3, 3),
                         exposureModes({{0, "Auto Mode"}, {1, "Manual Mode"}}, 0),
                         integer(V4L2_CID_EXPOSURE_ABSOLUTE, "Exposure Time, Absolute", 1, 5000, 1, 156)};
        break;
    case 2:
        std::snprintf(name, sizeof name, "Emulated H.264 Camera %d", number);
        spec.formats = {{V4L2_PIX_FMT_H264, kUpTo1080p}, {V4L2_PIX_FMT_MJPEG, {{640, 480}, {1280, 720}}}};
        spec.controls = {integer(V4L2_CID_BRIGHTNESS, "Brightness", 0, 255, 1, 128),
                         integer(V4L2_CID_IRIS_ABSOLUTE, "Iris, Absolute", 0, 10, 1, 5),
                         integer(V4L2_CID_ZOOM_ABSOLUTE, "Zoom, Absolute", 100, 400, 1, 100), powerLine(2, 2)};
        break;
    default:
        std::snprintf(name, sizeof name, "Emulated USB Camera %d", number);
        spec.formats = {{V4L2_PIX_FMT_YUYV, kUpTo1080p}, {V4L2_PIX_FMT_MJPEG, kUpTo1080p}};
        // The brightness default lies outside its range, as some firmware reports it.
        spec.controls = {integer(V4L2_CID_BRIGHTNESS, "Brightness", 0, 255, 1, 300),
                         integer(V4L2_CID_CONTRAST, "Contrast", 0, 95, 1, 32),
                         integer(V4L2_CID_SATURATION, "Saturation", 0, 100, 1, 64),
                         integer(V4L2_CID_HUE, "Hue", -180, 180, 1, 0),
                         integer(V4L2_CID_GAMMA, "Gamma", 72, 500, 1, 100),
                         integer(V4L2_CID_SHARPNESS, "Sharpness", 0, 7, 1, 2),
                         integer(V4L2_CID_GAIN, "Gain", 0, 100, 1, 0),
                         powerLine(2, 1),
                         exposureModes({{1, "Manual Mode"}, {3, "Aperture Priority Mode"}}, 3),
                         integer(V4L2_CID_EXPOSURE_ABSOLUTE, "Exposure Time, Absolute", 3, 2047, 1, 250),
                         boolean(V4L2_CID_FOCUS_AUTO, "Focus, Automatic Continuous", 1),
                         integer(V4L2_CID_FOCUS_ABSOLUTE, "Focus, Absolute", 0, 250, 5, 0),
                         integer(V4L2_CID_ZOOM_ABSOLUTE, "Zoom, Absolute", 100, 400, 1, 100)};
        append(spec.controls, whiteBalanceControls());
        break;
    }
    spec.name = name;
    return spec;
}

std::optional<EmulatedCameraSpec> namedCameraSpec(const std::string& profile, int number)
{
    // Generic controls, on USB ids of their own beyond the generic cameras'.
    EmulatedCameraSpec spec = genericCameraSpec(0, number);
    spec.pid = kEmulatedProductBase + 0x80 + number;
    char name[64];
    if (profile == "webcam") {
        std::snprintf(name, sizeof name, "Emulated HD Webcam %d", number);
        spec.formats = {{V4L2_PIX_FMT_YUYV, {{640, 480}, {1280, 720}}, 10},
                        {V4L2_PIX_FMT_MJPEG, {{640, 480}, {1280, 720}}, 30}};
    } else if (profile == "formats") {
        std::snprintf(name, sizeof name, "Emulated Formats Camera %d", number);
        const Sizes sizes{{640, 480}, {1280, 720}};
        spec.formats = {{V4L2_PIX_FMT_NV12, sizes},
                        {V4L2_PIX_FMT_YUV420, sizes},
                        {V4L2_PIX_FMT_GREY, sizes},
                        {V4L2_PIX_FMT_H264, sizes},
                        {V4L2_PIX_FMT_MJPEG, {{320, 240}, {1280, 720}}, 0, EmulatedFormat::Sizes::Stepwise, 16, 8}};
    } else if (profile == "5mp") {
        std::snprintf(name, sizeof name, "Emulated 5MP Camera %d", number);
        spec.formats = {{V4L2_PIX_FMT_MJPEG, {{640, 480}, {1296, 972}, {1920, 1080}, {2592, 1944}}}};
        spec.specimen = true;
    } else if (profile == "4k") {
        std::snprintf(name, sizeof name, "Emulated 4K Camera %d", number);
        spec.formats = {{V4L2_PIX_FMT_MJPEG, {{640, 480}, {1280, 720}, {1920, 1080}, {3840, 2160}}}};
        spec.specimen = true;
    } else {
        return std::nullopt;
    }
    spec.framesPerSecond = 30;
    spec.name = name;
    return spec;
}

std::optional<EmulatedCameraSpec> modelCameraSpec(int vid, int pid)
{
    if (vid == 0xEBA1 && pid == 0x7585)
        return larkA(pid, "Emulated LarkA Camera");
    if (vid == 0xEBA1 && (pid == 0x7584 || pid == 0x7586))
        return larkA(pid, "Emulated LarkB Camera");
    if (vid == 0x04F2 && pid == 0xA14B)
        return pulseWhiteBalanceModel(vid, pid, "Emulated LarkC Camera", true);
    if (vid == 0x2B16 && pid == 0x6689)
        return pulseWhiteBalanceModel(vid, pid, "Emulated LarkD Camera", false);
    return std::nullopt;
}

std::vector<EmulatedCameraSpec> emulatedSpecsFromEnvironment()
{
    std::vector<EmulatedCameraSpec> specs;
    if (const char* count = std::getenv("LENSBRIDGE_EMULATE_VIDEO")) {
        const int n = std::atoi(count);
        const char* sameIds = std::getenv("LENSBRIDGE_EMULATE_VIDEO_SAME_IDS");
        const bool twins = sameIds && std::string(sameIds) == "1";
        for (int i = 0; i < n && i < kMaxEmulatedCameras; ++i) {
            specs.push_back(genericCameraSpec(i % 3, i));
            if (twins)
                specs.back().pid = kEmulatedProductBase;
        }
    }
    if (const char* models = std::getenv("LENSBRIDGE_EMULATE_VIDEO_MODELS")) {
        std::stringstream list(models);
        std::string item;
        while (std::getline(list, item, ',') && specs.size() < static_cast<size_t>(kMaxEmulatedCameras)) {
            unsigned vid = 0, pid = 0;
            char extra = 0;
            if (std::sscanf(item.c_str(), " %x:%x %c", &vid, &pid, &extra) != 2)
                continue;
            if (auto spec = modelCameraSpec(static_cast<int>(vid), static_cast<int>(pid)))
                specs.push_back(std::move(*spec));
        }
    }
    if (const char* profiles = std::getenv("LENSBRIDGE_EMULATE_VIDEO_PROFILES")) {
        std::stringstream list(profiles);
        std::string item;
        for (int number = 0; std::getline(list, item, ',') && specs.size() < size_t(kMaxEmulatedCameras);)
            if (auto spec = namedCameraSpec(item, number)) {
                specs.push_back(std::move(*spec));
                ++number;
            }
    }
    return specs;
}

} // namespace v4l2
