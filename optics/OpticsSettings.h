#pragma once
// What the emulated optics do, as the environment asks for it. The same
// settings exist for both emulators under their own prefix:
//
//   <prefix>FOCUS=<period s>     the focus sweeps over the whole depth and back
//   <prefix>STAGE=serpentine:<columns>x<rows>:<pixels per frame>
//                                the stage moves over that many fields and
//                                comes back over the first row
//   <prefix>STAGE=glass          the stage stands over empty glass (a flat field)
//   <prefix>SHAKE=<pixels>       the field shifts by up to that much between frames
//   <prefix>NOISE=<levels>       sensor noise of that standard deviation
//   <prefix>SHADING=<percent>    the corners darkened by that much, slightly tinted
//
// With none of them set the emulators show their old pictures.
#include <string>

namespace optics {

struct StageSettings {
    int columns = 0, rows = 0; // 0: the stage stands still at the slide's centre
    double pixelsPerFrame = 0;
    bool glass = false; // stands still over empty glass instead
    bool operator==(const StageSettings&) const = default;
};

struct OpticsSettings {
    double focusPeriodSeconds = 0; // 0: no sweep, the focus stays where the camera puts it
    StageSettings stage;
    double shakePixels = 0;
    double noiseLevels = 0;
    double shadingPercent = 0;
    bool on = false; // any of the variables was set

    bool operator==(const OpticsSettings&) const = default;
};

// Reads <prefix>FOCUS … <prefix>SHADING ("SENSORLINK_EMULATE_" or
// "LENSBRIDGE_EMULATE_VIDEO_"). False with `error` naming the variable when a
// value cannot be understood; `settings` is then left as it was.
bool opticsFromEnvironment(const std::string& prefix, OpticsSettings& settings, std::string& error);
// The variable names, for callers that key caches on them.
const char* const* opticsVariableSuffixes(); // null-terminated

} // namespace optics
