#include "usbsdk/emulator/EmulatorEnvironment.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <sstream>

#include "platform/DebugOutput.h"
#include "usbsdk/emulator/EmulatedBus.h"

namespace usbsdk::emulator {
namespace {

bool parseInt(const std::string& text, long& out)
{
    char* end = nullptr;
    out = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && end && *end == '\0';
}

} // namespace

bool configFromEnvironment(EmulatorConfig& config, std::string& error)
{
    if (const char* size = std::getenv("SENSORLINK_EMULATE_SIZE")) {
        unsigned w = 0, h = 0;
        char extra = 0;
        if (std::sscanf(size, "%ux%u%c", &w, &h, &extra) != 2 || w < 1 || h < 1 || w > 8192 || h > 8192) {
            error = "SENSORLINK_EMULATE_SIZE must be <width>x<height>, each 1..8192";
            return false;
        }
        config.width = w;
        config.height = h;
    }
    if (const char* fps = std::getenv("SENSORLINK_EMULATE_FPS")) {
        char* end = nullptr;
        const double v = std::strtod(fps, &end);
        if (!end || *end || v < 0 || v > 1000) {
            error = "SENSORLINK_EMULATE_FPS must be a number 0..1000";
            return false;
        }
        config.fps = v;
    }
    if (const char* stamp = std::getenv("SENSORLINK_EMULATE_STAMP"))
        config.stamp = std::string(stamp) == "1";
    if (const char* usb = std::getenv("SENSORLINK_EMULATE_USB")) {
        const std::string v(usb);
        if (v == "2") {
            config.bcdUSB = 0x0210;
        } else if (v == "3") {
            config.bcdUSB = 0x0300;
        } else {
            error = "SENSORLINK_EMULATE_USB must be 2 or 3";
            return false;
        }
    }
    if (const char* ids = std::getenv("SENSORLINK_EMULATE_IDS")) {
        unsigned vid = 0, pid = 0;
        if (std::sscanf(ids, "%x:%x", &vid, &pid) != 2 || vid > 0xFFFF || pid > 0xFFFF) {
            error = "SENSORLINK_EMULATE_IDS must be <vid>:<pid> in hex";
            return false;
        }
        config.vendorId = static_cast<uint16_t>(vid);
        config.productId = static_cast<uint16_t>(pid);
    }
    if (!optics::opticsFromEnvironment("SENSORLINK_EMULATE_", config.optics, error))
        return false;
    if (const char* events = std::getenv("SENSORLINK_EMULATE_EVENTS"))
        config.eventsPath = events;
    if (const char* faults = std::getenv("SENSORLINK_EMULATE_FAULTS")) {
        std::stringstream list(faults);
        std::string item;
        while (std::getline(list, item, ',')) {
            if (item.empty())
                continue;
            const auto eq = item.find('=');
            long n = 0;
            if (eq == std::string::npos || !parseInt(item.substr(eq + 1), n) || n < 0) {
                error = "bad SENSORLINK_EMULATE_FAULTS entry: " + item;
                return false;
            }
            const std::string key = item.substr(0, eq);
            if (key == "short_payload_every")
                config.shortPayloadEvery = static_cast<int>(n);
            else if (key == "fail_stream_every")
                config.failStreamEvery = static_cast<int>(n);
            else if (key == "bad_ack_every")
                config.badAckEvery = static_cast<int>(n);
            else if (key == "unplug_after")
                config.unplugAfterFrames = static_cast<int>(n);
            else if (key == "replug_after_ms")
                config.replugAfterMs = static_cast<int>(n);
            else if (key == "unplug_every")
                config.unplugEveryFrames = static_cast<int>(n);
            else {
                error = "unknown SENSORLINK_EMULATE_FAULTS entry: " + key;
                return false;
            }
        }
    }
    return true;
}

std::shared_ptr<UsbBus> busFromEnvironment()
{
    const char* count = std::getenv("SENSORLINK_EMULATE");
    long n = 0;
    if (!count || !parseInt(count, n) || n <= 0)
        return nullptr;
    // One bus per process (while the variables stay the same): a camera
    // unplugged during one SDK session is still unplugged in the next.
    std::string key;
    for (const char* name :
         {"SENSORLINK_EMULATE", "SENSORLINK_EMULATE_SIZE", "SENSORLINK_EMULATE_FPS", "SENSORLINK_EMULATE_STAMP",
          "SENSORLINK_EMULATE_USB", "SENSORLINK_EMULATE_IDS", "SENSORLINK_EMULATE_FAULTS",
          "SENSORLINK_EMULATE_SAME_IDS", "SENSORLINK_EMULATE_EVENTS", "SENSORLINK_EMULATE_CONTROL"}) {
        const char* value = std::getenv(name);
        key += value ? value : "-";
        key += '\n';
    }
    for (const char* const* suffix = optics::opticsVariableSuffixes(); *suffix; ++suffix) {
        const char* value = std::getenv((std::string("SENSORLINK_EMULATE_") + *suffix).c_str());
        key += value ? value : "-";
        key += '\n';
    }
    static std::mutex lock;
    static std::string cachedKey;
    // Sessions hold their own reference, so a capture thread still running at
    // exit keeps the bus alive past this one; unloading the library frees it.
    static std::shared_ptr<UsbBus> cached;
    std::lock_guard guard(lock);
    if (cached && key == cachedKey)
        return cached;
    EmulatorConfig config;
    std::string error;
    if (!configFromEnvironment(config, error)) {
        platform::DebugPrintf("sensorlink: %s; using defaults\n", error.c_str());
        config = EmulatorConfig{};
    }
    const char* sameIds = std::getenv("SENSORLINK_EMULATE_SAME_IDS");
    const bool distinctIds = !sameIds || std::string(sameIds) != "1";
    auto bus = std::make_shared<EmulatedBus>();
    for (long i = 0; i < n && i < 255; ++i) {
        EmulatorConfig c = config;
        c.serial = "EMU" + std::to_string(1000 + i);
        if (distinctIds)
            c.productId = static_cast<uint16_t>(config.productId + i);
        bus->addCamera(c);
    }
    if (const char* control = std::getenv("SENSORLINK_EMULATE_CONTROL"))
        bus->setControlFile(control);
    cached = bus;
    cachedKey = key;
    return bus;
}

} // namespace usbsdk::emulator
