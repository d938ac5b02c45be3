// sensorlink_tool: a small command-line tool for the USB cameras the SDK
// drives. See `sensorlink_tool help`.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "DeviceDetails.h"
#include "FrameFiles.h"
#include "GroundTruth.h"
#include "usbsdk/Vexel.h"

namespace {

void usage()
{
    std::printf("usage: sensorlink_tool <command> [arguments]\n"
                "  list [-v]                          cameras the SDK finds (-v: descriptors and endpoints)\n"
                "  get <camera> <register>            read a register (hex 0x1140 or decimal)\n"
                "  set <camera> <register> <value>    write a register\n"
                "  capture <camera> <count> <prefix> [--raw] [--timeout <s>]\n"
                "                                     save <count> frames as <prefix>-NNNN.ppm (and .raw)\n"
                "  firmware <camera> <target> <file>  download firmware: target 1 RAM, 2 I2C EEPROM, 3 SPI flash\n"
                "  truth slide <file>                 the emulated slide, every specimen sharp (.png, .ppm, .tif)\n"
                "  truth field <frame> <file>         the field an emulated frame (its block id) showed,\n"
                "                                     without noise and uneven light\n"
                "Set SENSORLINK_EMULATE=<n> to work with emulated cameras (see the README).\n");
}

bool parseNumber(const char* text, long& out)
{
    char* end = nullptr;
    out = std::strtol(text, &end, 0);
    return *text && end && *end == '\0';
}

const char* resultText(int32_t rc)
{
    switch (rc) {
    case VEXEL_OK: return "success";
    case VEXEL_E_NOT_INITIALISED: return "not initialised / no command endpoint";
    case VEXEL_E_STATE: return "wrong state";
    case VEXEL_E_NO_MEMORY: return "out of memory or no USB access";
    case VEXEL_E_ARGUMENT: return "bad argument";
    case VEXEL_E_LOGIN_INDEX: return "camera index outside 0..15";
    case VEXEL_E_NO_SESSION: return "camera not found or not opened";
    case VEXEL_E_TRANSACTION: return "register transaction failed";
    case VEXEL_E_SEARCH_OPEN: return "a camera could not be opened";
    case VEXEL_E_NO_ENDPOINT: return "camera lacks the needed endpoints";
    case VEXEL_E_FIRMWARE: return "firmware download failed";
    case VEXEL_E_BLOCK_LENGTH: return "block write length mismatch";
    default: return "unknown result";
    }
}

int fail(const char* what, int32_t rc)
{
    std::fprintf(stderr, "sensorlink_tool: %s: %s (0x%08X)\n", what, resultText(rc), static_cast<uint32_t>(rc));
    return 1;
}

// Initialises the SDK and uninitialises it at scope exit.
struct SdkScope {
    int32_t rc = Vexel_Init();
    ~SdkScope()
    {
        if (rc == VEXEL_OK)
            Vexel_UnInit();
    }
};

int32_t login(long camera)
{
    CameraInfo list[VEXEL_MAX_CAMERAS]{};
    const int32_t n = Vexel_SearchCamera(list);
    if (n < 0)
        return n;
    if (camera < 0 || camera >= n)
        return VEXEL_E_NO_SESSION;
    return Vexel_LoginCamera(&list[camera]);
}

int commandList(bool verbose)
{
    SdkScope sdk;
    if (sdk.rc != VEXEL_OK)
        return fail("init", sdk.rc);
    CameraInfo list[VEXEL_MAX_CAMERAS]{};
    const int32_t n = Vexel_SearchCamera(list);
    if (n < 0)
        return fail("search", n);
    std::printf("%d camera(s)\n", n);
    for (int i = 0; i < n; ++i)
        std::printf("  %d: vendor 0x%04x product 0x%04x\n", list[i].index, list[i].vendorId, list[i].productId);
    if (verbose && n > 0)
        sensorlink_tool::printDeviceDetails(n);
    return 0;
}

int commandGet(long camera, long reg)
{
    SdkScope sdk;
    if (sdk.rc != VEXEL_OK)
        return fail("init", sdk.rc);
    const int32_t index = login(camera);
    if (index < 0)
        return fail("login", index);
    int32_t value = 0;
    const int32_t rc = Vexel_GetParam(index, static_cast<uint32_t>(reg), &value);
    if (rc != VEXEL_OK)
        return fail("get", rc);
    std::printf("0x%04lx = %d (0x%08x)\n", reg, value, static_cast<uint32_t>(value));
    return 0;
}

int commandSet(long camera, long reg, long value)
{
    SdkScope sdk;
    if (sdk.rc != VEXEL_OK)
        return fail("init", sdk.rc);
    const int32_t index = login(camera);
    if (index < 0)
        return fail("login", index);
    const int32_t rc = Vexel_SetParam(index, static_cast<uint32_t>(reg), static_cast<int32_t>(value));
    if (rc != VEXEL_OK)
        return fail("set", rc);
    return 0;
}

struct CaptureState {
    std::mutex mutex;
    std::vector<std::vector<uint8_t>> frames;
    size_t wanted = 0;
};

int onFrame(const uint8_t* frame, int32_t size, void* userData, int32_t)
{
    auto* state = static_cast<CaptureState*>(userData);
    std::lock_guard lock(state->mutex);
    if (state->frames.size() < state->wanted)
        state->frames.emplace_back(frame, frame + size);
    return 0;
}

int commandCapture(long camera, long count, const std::string& prefix, bool raw, long timeoutSeconds)
{
    SdkScope sdk;
    if (sdk.rc != VEXEL_OK)
        return fail("init", sdk.rc);
    const int32_t index = login(camera);
    if (index < 0)
        return fail("login", index);
    CaptureState state;
    state.wanted = static_cast<size_t>(count);
    Vexel_SetCaptureCallback(index, &onFrame, &state, 0);
    int32_t rc = Vexel_StartCapture(index);
    if (rc != VEXEL_OK)
        return fail("start capture", rc);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    for (;;) {
        {
            std::lock_guard lock(state.mutex);
            if (state.frames.size() >= state.wanted)
                break;
        }
        if (std::chrono::steady_clock::now() > deadline || Vexel_GetCaptureConnectState(index) != VEXEL_STATE_RUNNING)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Vexel_StopCapture(index);
    std::lock_guard lock(state.mutex);
    for (size_t i = 0; i < state.frames.size(); ++i) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, "-%04zu", i + 1);
        const auto& f = state.frames[i];
        const std::string base = prefix + suffix;
        if (!sensorlink_tool::writePpmFrame(base + ".ppm", f.data(), f.size()) ||
            (raw && !sensorlink_tool::writeRawFrame(base + ".raw", f.data(), f.size()))) {
            std::fprintf(stderr, "sensorlink_tool: cannot write %s\n", base.c_str());
            return 1;
        }
        std::printf("%s.ppm (%zu bytes as delivered)\n", base.c_str(), f.size());
    }
    if (state.frames.size() < state.wanted) {
        std::fprintf(stderr, "sensorlink_tool: only %zu of %ld frames arrived\n", state.frames.size(), count);
        return 1;
    }
    return 0;
}

int commandFirmware(long camera, long target, const char* file)
{
    SdkScope sdk;
    if (sdk.rc != VEXEL_OK)
        return fail("init", sdk.rc);
    const int32_t rc = Vexel_FwUpdate(static_cast<int32_t>(camera), file, static_cast<int32_t>(target));
    if (rc != VEXEL_OK)
        return fail("firmware", rc);
    std::printf("firmware written to target %ld\n", target);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        usage();
        return 2;
    }
    const std::string command = argv[1];
    long a = 0, b = 0, c = 0;
    if (command == "list")
        return commandList(argc > 2 && std::strcmp(argv[2], "-v") == 0);
    if (command == "get" && argc == 4 && parseNumber(argv[2], a) && parseNumber(argv[3], b))
        return commandGet(a, b);
    if (command == "set" && argc == 5 && parseNumber(argv[2], a) && parseNumber(argv[3], b) && parseNumber(argv[4], c))
        return commandSet(a, b, c);
    if (command == "capture" && argc >= 5 && parseNumber(argv[2], a) && parseNumber(argv[3], b) && b > 0) {
        bool raw = false;
        long timeout = 10;
        for (int i = 5; i < argc; ++i) {
            if (std::strcmp(argv[i], "--raw") == 0) {
                raw = true;
            } else if (std::strcmp(argv[i], "--timeout") == 0 && i + 1 < argc && parseNumber(argv[i + 1], timeout)) {
                ++i;
            } else {
                usage();
                return 2;
            }
        }
        return commandCapture(a, b, argv[4], raw, timeout);
    }
    if (command == "truth")
        return sensorlink_tool::commandTruth(argc, argv);
    if (command == "firmware" && argc == 5 && parseNumber(argv[2], a) && parseNumber(argv[3], b))
        return commandFirmware(a, b, argv[4]);
    usage();
    return command == "help" ? 0 : 2;
}
