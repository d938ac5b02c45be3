// lensbridge_tool: the camera stack from the command line. Lists every camera
// lensbridge sees, opens one, prints its formats, sizes and properties, sets
// properties, captures frames or a snapshot to raw files and reports the
// measured frame rate.
#include "CameraChoice.h"
#include "FrameCapture.h"
#include "PropertyNames.h"
#include "camera/PropertyPageHook.h"
#include "camera/factory/CMFactory.h"
#include "optics/GroundTruth.h"
#include "optics/Slide.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

int usage()
{
    std::fprintf(stderr, "usage: lensbridge_tool list [--boxes]\n"
                         "       lensbridge_tool info <camera>\n"
                         "       lensbridge_tool set <camera> <property>=<value>...\n"
                         "       lensbridge_tool controls <camera>   the device's own controls (video cameras)\n"
                         "       lensbridge_tool capture <camera> <count> <prefix> [options]\n"
                         "       lensbridge_tool snap <camera> <file> [options]\n"
                         "       lensbridge_tool truth slide <file>   the emulated slide, every specimen sharp\n"
                         "       lensbridge_tool truth field <sequence> <file> [--size <w>x<h>]\n"
                         "                the field an emulated video frame (its buffer sequence number)\n"
                         "                showed at rest focus, without noise and uneven light\n"
                         "camera:   <group>:<index> as listed, rtsp://<url>, or box:<address>\n"
                         "options:  --size <w>x<h>   preview size before capturing\n"
                         "          --set <property>=<value>   (repeatable) before capturing\n"
                         "          --timeout <seconds>   how long to wait for frames (default 30)\n"
                         "property: a name from 'info' or its number; also auto-exposure=0|1 and\n"
                         "          auto-white-balance=0|1\n");
    return 2;
}

struct Options {
    std::vector<std::string> positional;
    std::vector<std::string> settings;
    int width = 0, height = 0;
    int timeoutSeconds = 30;
    bool boxes = false;
};

bool parseOptions(int argc, char** argv, Options& options)
{
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--boxes") {
            options.boxes = true;
        } else if (arg == "--size" && hasValue) {
            char rest = 0;
            if (std::sscanf(argv[++i], "%dx%d%c", &options.width, &options.height, &rest) != 2)
                return false;
        } else if (arg == "--set" && hasValue) {
            options.settings.emplace_back(argv[++i]);
        } else if (arg == "--timeout" && hasValue) {
            options.timeoutSeconds = std::atoi(argv[++i]);
            if (options.timeoutSeconds <= 0)
                return false;
        } else if (arg.rfind("--", 0) == 0) {
            return false;
        } else {
            options.positional.push_back(arg);
        }
    }
    return true;
}

int listCameras(const Options& options)
{
    std::vector<_tag_VideoDeviceList> groups;
    CMFactory::GetVideoDeviceList(&groups);
    if (groups.empty())
        std::printf("no local cameras\n");
    for (size_t g = 0; g < groups.size(); ++g) {
        std::printf("group %zu: %s (type %d), %zu camera(s)\n", g, groups[g].name, groups[g].type,
                    groups[g].devices.size());
        for (size_t i = 0; i < groups[g].devices.size(); ++i) {
            const _tag_VideoDeviceInfo& d = groups[g].devices[i];
            std::printf("  %zu:%zu  %s  [%04x:%04x]\n", g, i, d.name, d.vid, d.pid);
        }
    }
    if (options.boxes) {
        if (!CMFactory::StartDeviceScan(0)) {
            std::fprintf(stderr, "wireless box scan failed to start\n");
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        std::vector<_tag_VideoDeviceInfo> boxes;
        CMFactory::GetDevicesList(&boxes);
        CMFactory::StopDeviceScan();
        std::printf("wireless boxes: %zu\n", boxes.size());
        for (const _tag_VideoDeviceInfo& b : boxes)
            std::printf("  box:%s  %s\n", b.address, b.name);
    }
    return 0;
}

// Opens the camera and calls Init; null after printing why not.
CameraHandle openCamera(const std::string& choice, CMFrameCallback callback, void* user)
{
    std::string error;
    CameraHandle camera = createCamera(choice, error);
    if (!camera) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return nullptr;
    }
    if (int rc = camera->Init(callback, user, 0, 0); rc != 0) {
        std::fprintf(stderr, "camera %s failed to open (%d)\n", choice.c_str(), rc);
        return nullptr;
    }
    return camera;
}

bool applySetting(CMCameraBase& camera, const std::string& setting)
{
    const size_t eq = setting.find('=');
    if (eq == std::string::npos) {
        std::fprintf(stderr, "'%s': expected <property>=<value>\n", setting.c_str());
        return false;
    }
    const std::string name = setting.substr(0, eq);
    char* end = nullptr;
    const long value = std::strtol(setting.c_str() + eq + 1, &end, 0);
    if (eq + 1 == setting.size() || *end != '\0') {
        std::fprintf(stderr, "'%s': the value is not a number\n", setting.c_str());
        return false;
    }
    int rc = 0;
    if (name == "auto-exposure") {
        rc = camera.setExposure(value != 0);
    } else if (name == "auto-white-balance") {
        rc = camera.setWhiteBalance(value != 0);
    } else if (const auto property = parseProperty(name)) {
        rc = camera.SetProperty(*property, static_cast<int>(value));
    } else {
        std::fprintf(stderr, "unknown property '%s'\n", name.c_str());
        return false;
    }
    if (rc != 0) {
        std::fprintf(stderr, "%s: the camera refused (%d)\n", setting.c_str(), rc);
        return false;
    }
    std::printf("%s set\n", setting.c_str());
    return true;
}

int showInfo(CMCameraBase& camera)
{
    const _tag_VideoDeviceInfo info = camera.GetDeviceInfo();
    std::printf("camera: %s [%04x:%04x]%s%s\n", info.name, info.vid, info.pid, info.address[0] ? " " : "",
                info.address);
    std::vector<int> formats;
    camera.GetSupportedFormats(&formats);
    int format = FMT_UNKNOWN;
    camera.GetFormat(format);
    std::printf("formats:");
    for (int f : formats)
        std::printf(" %s%s", CMFactory::GetImageFormatDesc(f), f == format ? "*" : "");
    std::printf("\n");
    std::vector<_tag_CMSIZE> sizes;
    camera.GetSupportedPreviewSizes(&sizes);
    int w = 0, h = 0;
    camera.GetPreviewSize(w, h);
    std::printf("preview sizes:");
    for (const _tag_CMSIZE& s : sizes)
        std::printf(" %dx%d%s", s.width, s.height, s.width == w && s.height == h ? "*" : "");
    std::printf("\ncurrent preview size: %dx%d\n", w, h);
    bool automatic = false;
    if (camera.getExposure(automatic) == 0)
        std::printf("auto-exposure: %d\n", automatic ? 1 : 0);
    if (camera.getWhiteBalance(automatic) == 0)
        std::printf("auto-white-balance: %d\n", automatic ? 1 : 0);
    std::printf("properties (value, min..max, default):\n");
    int count = 0;
    const PropertyName* names = propertyNames(count);
    for (int i = 0; i < count; ++i) {
        if (!camera.IsPropertySupport(names[i].id))
            continue;
        int value = 0, min = 0, max = 0, def = 0, step = 1;
        const int got = camera.GetProperty(names[i].id, &value);
        std::printf("  %2d %-16s ", names[i].id, names[i].name);
        if (got == 0)
            std::printf("%6d", value);
        else
            std::printf("%6s", "?");
        std::vector<int> values;
        if (camera.GetPropertyRange(names[i].id, &min, &max, &def, &step) == 0) {
            std::printf("  %d..%d, default %d\n", min, max, def);
        } else if (camera.GetPropertyRangeEnumInt(names[i].id, values) == 0) {
            std::printf("  one of");
            for (int v : values)
                std::printf(" %d", v);
            std::printf("\n");
        } else {
            std::printf("\n");
        }
    }
    return 0;
}

// Prints the controls a camera's property page would show.
void printControls(void*, const char* title, CMControlPanel* panel)
{
    std::printf("controls of %s (id, kind, value, range, default):\n", title);
    static const char* const kinds[] = {"integer", "boolean", "menu", "button"};
    for (const CMControlDescription& c : panel->controls()) {
        int value = 0;
        const bool read = panel->getControl(c.id, &value) == 0;
        std::printf("  0x%08x %-8s %-32s ", c.id, kinds[c.kind], c.name.c_str());
        if (read)
            std::printf("%6d", value);
        else
            std::printf("%6s", "?");
        std::printf("  %d..%d step %d, default %d%s\n", c.minimum, c.maximum, c.step, c.defaultValue,
                    c.inactive ? " (inactive)" : "");
        for (const auto& [item, label] : c.menu)
            std::printf("      %d: %s\n", item, label.c_str());
    }
}

int showControls(CMCameraBase& camera)
{
    if (!camera.HasPropertyPages()) {
        std::fprintf(stderr, "this camera has no controls of its own\n");
        return 1;
    }
    CMSetPropertyPageHook(&printControls);
    camera.ShowPropertyPages(nullptr, nullptr);
    CMSetPropertyPageHook(nullptr);
    return 0;
}

bool prepare(CMCameraBase& camera, const Options& options)
{
    if (options.width > 0) {
        if (int rc = camera.SetPreviewSize(options.width, options.height); rc != 0) {
            std::fprintf(stderr, "preview size %dx%d refused (%d)\n", options.width, options.height, rc);
            return false;
        }
    }
    for (const std::string& setting : options.settings)
        if (!applySetting(camera, setting))
            return false;
    return true;
}

int capture(const std::string& choice, int count, const std::string& prefix, const Options& options)
{
    FrameCapture frames(count, prefix);
    CameraHandle camera = openCamera(choice, &FrameCapture::callback, &frames);
    if (!camera || !prepare(*camera, options))
        return 1;
    if (int rc = camera->startPreview(); rc != 0) {
        std::fprintf(stderr, "preview failed to start (%d)\n", rc);
        return 1;
    }
    const bool complete = frames.wait(std::chrono::seconds(options.timeoutSeconds));
    // Keep streaming a little longer so the rate is measured over a few seconds.
    if (complete)
        frames.waitForSpan(std::chrono::seconds(3), std::chrono::seconds(5));
    const float cameraRate = camera->GetFrameRate();
    camera->stopPreview();
    camera.reset();
    for (const std::string& line : frames.report())
        std::printf("%s\n", line.c_str());
    std::printf("%d frame(s), measured %.1f frames/s (camera reports %.1f)\n", frames.written(), frames.measuredRate(),
                cameraRate);
    if (!complete) {
        std::fprintf(stderr, "%s\n",
                     frames.failed() ? "writing a frame failed" : "timed out before all frames arrived");
        return 1;
    }
    return 0;
}

int snap(const std::string& choice, const std::string& path, const Options& options)
{
    CameraHandle camera = openCamera(choice, nullptr, nullptr);
    if (!camera || !prepare(*camera, options))
        return 1;
    if (int rc = camera->startPreview(); rc != 0) {
        std::fprintf(stderr, "preview failed to start (%d)\n", rc);
        return 1;
    }
    CWImage image; // the copy Snap makes belongs to us
    const int rc = camera->Snap(&image);
    camera->stopPreview();
    if (rc != 0 || !image.data) {
        std::fprintf(stderr, "snapshot failed (%d)\n", rc);
        return 1;
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    bool ok = file && std::fwrite(image.data, 1, image.dataSize, file) == image.dataSize;
    if (file)
        ok = std::fclose(file) == 0 && ok;
    const unsigned bytes = image.dataSize;
    delete[] image.data;
    image.data = nullptr;
    if (!ok) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }
    std::printf("%s (%dx%d %s, %u bytes)\n", path.c_str(), image.width, image.height,
                CMFactory::GetImageFormatDesc(image.format), bytes);
    return 0;
}

// Ground truth of the emulated video cameras' optics.
int writeTruth(const std::vector<std::string>& args, const Options& options)
{
    bool written = false;
    if (args[0] == "slide" && args.size() == 2) {
        written = optics::writeSharpSlide(args[1]);
    } else if (args[0] == "field" && args.size() == 3) {
        char* end = nullptr;
        const unsigned long long sequence = std::strtoull(args[1].c_str(), &end, 10);
        if (args[1].empty() || *end)
            return usage();
        const cv::Size size(options.width > 0 ? options.width : 1920, options.height > 0 ? options.height : 1080);
        optics::OpticsSettings settings;
        std::string error;
        if (!optics::opticsFromEnvironment("LENSBRIDGE_EMULATE_VIDEO_", settings, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        optics::FieldOfView field;
        constexpr double kVideoFramesPerSecond = 30; // the generic emulated cameras'
        written = optics::writeFieldOfFrame(settings, kVideoFramesPerSecond, sequence, size,
                                            optics::focusOfLevel(optics::kRestLevel), args[2], field);
        if (written)
            std::printf("%s\n", optics::describeField(sequence, field, size).c_str());
    } else {
        return usage();
    }
    if (!written)
        std::fprintf(stderr, "cannot write %s\n", args.back().c_str());
    return written ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return usage();
    const std::string command = argv[1];
    Options options;
    if (!parseOptions(argc, argv, options))
        return usage();
    const std::vector<std::string>& args = options.positional;

    if (command == "list" && args.empty())
        return listCameras(options);
    if (command == "info" && args.size() == 1) {
        CameraHandle camera = openCamera(args[0], nullptr, nullptr);
        return camera ? showInfo(*camera) : 1;
    }
    if (command == "controls" && args.size() == 1) {
        CameraHandle camera = openCamera(args[0], nullptr, nullptr);
        return camera ? showControls(*camera) : 1;
    }
    if (command == "set" && args.size() >= 2) {
        CameraHandle camera = openCamera(args[0], nullptr, nullptr);
        if (!camera)
            return 1;
        for (size_t i = 1; i < args.size(); ++i)
            if (!applySetting(*camera, args[i]))
                return 1;
        return 0;
    }
    if (command == "capture" && args.size() == 3) {
        const int count = std::atoi(args[1].c_str());
        if (count <= 0)
            return usage();
        return capture(args[0], count, args[2], options);
    }
    if (command == "snap" && args.size() == 2)
        return snap(args[0], args[1], options);
    if (command == "truth" && args.size() >= 2)
        return writeTruth(args, options);
    return usage();
}
