#include "GroundTruth.h"

#include "optics/Microscope.h"
#include "optics/Slide.h"
#include "usbsdk/emulator/EmulatorEnvironment.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace sensorlink_tool {
namespace {

bool save(const std::string& file, const cv::Mat& rgb)
{
    cv::Mat bgr;
    cv::cvtColor(rgb, bgr, cv::COLOR_RGB2BGR);
    try {
        return cv::imwrite(file, bgr);
    } catch (const cv::Exception&) {
        return false;
    }
}

} // namespace

int commandTruth(int argc, char** argv)
{
    usbsdk::emulator::EmulatorConfig config;
    std::string error;
    if (!usbsdk::emulator::configFromEnvironment(config, error)) {
        std::fprintf(stderr, "sensorlink_tool: %s\n", error.c_str());
        return 1;
    }
    cv::Mat picture;
    std::string file;
    if (argc == 4 && std::strcmp(argv[2], "slide") == 0) {
        file = argv[3];
        picture = optics::Slide::instance().renderSharp({0, 0, optics::kSlideWidth, optics::kSlideHeight});
        std::printf("slide %dx%d, every specimen sharp\n", picture.cols, picture.rows);
    } else if (argc == 5 && std::strcmp(argv[2], "field") == 0) {
        char* end = nullptr;
        const unsigned long long frame = std::strtoull(argv[3], &end, 10);
        if (!*argv[3] || *end) {
            std::fprintf(stderr, "sensorlink_tool: the frame is its block id, a number\n");
            return 1;
        }
        file = argv[4];
        const optics::Microscope microscope(config.optics, config.fps);
        const cv::Size size(static_cast<int>(config.width), static_cast<int>(config.height));
        const optics::FieldOfView field = microscope.fieldAt(frame, size, optics::focusOfLevel(optics::kRestLevel));
        microscope.renderField(field, size, picture);
        std::printf("frame %llu: centre %.2f %.2f (slide pixels), focus %.2f (level %d), magnification %.4f, "
                    "%dx%d\n",
                    frame, field.centre.x, field.centre.y, field.focus, field.level, field.magnification, size.width,
                    size.height);
    } else {
        std::fprintf(stderr, "usage: sensorlink_tool truth slide <file> | truth field <frame> <file>\n");
        return 2;
    }
    if (!save(file, picture)) {
        std::fprintf(stderr, "sensorlink_tool: cannot write %s\n", file.c_str());
        return 1;
    }
    return 0;
}

} // namespace sensorlink_tool
