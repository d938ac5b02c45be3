#include "GroundTruth.h"

#include "optics/GroundTruth.h"
#include "optics/Slide.h"
#include "usbsdk/emulator/EmulatorEnvironment.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace sensorlink_tool {

int commandTruth(int argc, char** argv)
{
    usbsdk::emulator::EmulatorConfig config;
    std::string error;
    if (!usbsdk::emulator::configFromEnvironment(config, error)) {
        std::fprintf(stderr, "sensorlink_tool: %s\n", error.c_str());
        return 1;
    }
    bool written = false;
    std::string file;
    if (argc == 4 && std::strcmp(argv[2], "slide") == 0) {
        file = argv[3];
        written = optics::writeSharpSlide(file);
        if (written)
            std::printf("slide %dx%d, every specimen sharp\n", optics::kSlideWidth, optics::kSlideHeight);
    } else if (argc == 5 && std::strcmp(argv[2], "field") == 0) {
        char* end = nullptr;
        const unsigned long long frame = std::strtoull(argv[3], &end, 10);
        if (!*argv[3] || *end) {
            std::fprintf(stderr, "sensorlink_tool: the frame is its block id, a number\n");
            return 1;
        }
        file = argv[4];
        const cv::Size size(static_cast<int>(config.width), static_cast<int>(config.height));
        optics::FieldOfView field;
        // The camera's focus rests where no sweep moves it.
        written = optics::writeFieldOfFrame(config.optics, config.fps, frame, size,
                                            optics::focusOfLevel(optics::kRestLevel), file, field);
        if (written)
            std::printf("%s\n", optics::describeField(frame, field, size).c_str());
    } else {
        std::fprintf(stderr, "usage: sensorlink_tool truth slide <file> | truth field <frame> <file>\n");
        return 2;
    }
    if (!written) {
        std::fprintf(stderr, "sensorlink_tool: cannot write %s\n", file.c_str());
        return 1;
    }
    return 0;
}

} // namespace sensorlink_tool
