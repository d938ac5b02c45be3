#include "optics/OpticsSettings.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace optics {
namespace {

constexpr const char* kSuffixes[] = {"FOCUS", "STAGE", "SHAKE", "NOISE", "SHADING", nullptr};

bool parseNumber(const char* text, double max, double& out)
{
    char* end = nullptr;
    out = std::strtod(text, &end);
    return *text && end && *end == '\0' && out >= 0 && out <= max;
}

bool parseStage(const char* text, StageSettings& stage)
{
    if (std::strcmp(text, "glass") == 0) {
        stage = StageSettings{};
        stage.glass = true;
        return true;
    }
    int columns = 0, rows = 0, consumed = 0;
    if (std::sscanf(text, "serpentine:%dx%d:%n", &columns, &rows, &consumed) != 2 || consumed == 0)
        return false;
    double speed = 0;
    if (columns < 1 || rows < 1 || columns > 100 || rows > 100 || !parseNumber(text + consumed, 1000, speed))
        return false;
    stage = {columns, rows, speed};
    return true;
}

} // namespace

const char* const* opticsVariableSuffixes() { return kSuffixes; }

bool opticsFromEnvironment(const std::string& prefix, OpticsSettings& settings, std::string& error)
{
    OpticsSettings read;
    auto value = [&](const char* suffix) { return std::getenv((prefix + suffix).c_str()); };
    auto refuse = [&](const char* suffix, const char* form) {
        error = prefix + suffix + " must be " + form;
        return false;
    };
    if (const char* v = value("FOCUS")) {
        if (!parseNumber(v, 3600, read.focusPeriodSeconds) || read.focusPeriodSeconds < 0.1)
            return refuse("FOCUS", "a period in seconds, 0.1..3600");
        read.on = true;
    }
    if (const char* v = value("STAGE")) {
        if (!parseStage(v, read.stage))
            return refuse("STAGE", "serpentine:<columns>x<rows>:<pixels per frame> or glass");
        read.on = true;
    }
    if (const char* v = value("SHAKE")) {
        if (!parseNumber(v, 200, read.shakePixels))
            return refuse("SHAKE", "pixels, 0..200");
        read.on = true;
    }
    if (const char* v = value("NOISE")) {
        if (!parseNumber(v, 50, read.noiseLevels))
            return refuse("NOISE", "a standard deviation in grey levels, 0..50");
        read.on = true;
    }
    if (const char* v = value("SHADING")) {
        if (!parseNumber(v, 90, read.shadingPercent))
            return refuse("SHADING", "a corner darkening in per cent, 0..90");
        read.on = true;
    }
    settings = read;
    return true;
}

} // namespace optics
