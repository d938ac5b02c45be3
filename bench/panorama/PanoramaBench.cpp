// Quality and cost of live stitching on the emulated microscope: the stage
// follows the emulator's serpentine (6 × 6 fields half a field apart, back
// over the first row), every `step`-th frame is handed to the stitcher (the
// frames a worker takes while the camera runs on), and what it placed is
// compared with where the frames truly lay and with the slide under them.
#include "app/panorama/Stitcher.h"
#include "bench/support/ProcessCpuTime.h"
#include "optics/Microscope.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

const cv::Size kFrame(1920, 1080);
constexpr double kPixelsPerFrame = 8;

struct Figures {
    int frames = 0, placed = 0, wrongBy5 = 0;
    double maxError = 0, meanError = 0, closingError = 0;
    double ncc = 0, seamStep = 0, covered = 0;
    double cpuMsPerFrame = 0, wallMsPerFrame = 0, wallMsWorst = 0;
    // Wall time of the frames placed and of those not placed (lost, too fast).
    double placedMs = 0, unplacedMs = 0, unplacedMsWorst = 0;
    cv::Size size;
};

Figures run(double shake, int step)
{
    optics::OpticsSettings settings;
    settings.stage = {6, 6, kPixelsPerFrame};
    settings.noiseLevels = 4;
    settings.shakePixels = shake;
    settings.on = true;
    optics::Microscope microscope(settings, 30);
    // The frames of one pass along the path: the serpentine and the first row again.
    const optics::StagePath path(settings.stage, kFrame);
    double length = 0;
    for (size_t i = 1; i < path.waypoints().size(); ++i)
        length += cv::norm(path.waypoints()[i] - path.waypoints()[i - 1]);
    const auto frames = uint64_t(length / kPixelsPerFrame);
    const double lastLegLength = cv::norm(path.waypoints().back() - path.waypoints()[path.waypoints().size() - 2]);

    panorama::Stitcher stitcher;
    Figures f;
    cv::Point origin;
    bool started = false;
    double errorSum = 0, cpu = 0, wall = 0;
    std::vector<cv::Rect> fields;
    cv::Mat rgb, rgba;
    for (uint64_t frame = 0; frame <= frames; frame += step) {
        microscope.render(frame, kFrame, 0.5, rgb);
        cv::cvtColor(rgb, rgba, cv::COLOR_RGB2RGBA);
        const cv::Point truth = microscope.fieldAt(frame, kFrame, 0.5).topLeft;
        const double cpuBefore = benchscenes::ProcessCpuSeconds();
        const auto wallBefore = std::chrono::steady_clock::now();
        const panorama::FrameOutcome outcome = stitcher.add(rgba);
        const double frameWall =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wallBefore).count();
        cpu += benchscenes::ProcessCpuSeconds() - cpuBefore;
        wall += frameWall;
        f.wallMsWorst = std::max(f.wallMsWorst, frameWall);
        ++f.frames;
        if (outcome != panorama::FrameOutcome::Placed) {
            f.unplacedMs += frameWall;
            f.unplacedMsWorst = std::max(f.unplacedMsWorst, frameWall);
            if (std::getenv("PANORAMA_BENCH_TRACE"))
                std::printf("frame %llu not placed (%d) truth %d,%d\n", (unsigned long long)frame, int(outcome),
                            (truth - origin).x, (truth - origin).y);
            continue;
        }
        if (!started) {
            origin = truth - stitcher.field().tl();
            started = true;
        }
        const double error = cv::norm(stitcher.field().tl() - (truth - origin));
        if (std::getenv("PANORAMA_BENCH_TRACE") && (error > 0.5))
            std::printf("frame %llu error %.1f placed %d,%d truth %d,%d\n", (unsigned long long)frame, error,
                        stitcher.field().x, stitcher.field().y, (truth - origin).x, (truth - origin).y);
        ++f.placed;
        f.placedMs += frameWall;
        errorSum += error;
        f.maxError = std::max(f.maxError, error);
        f.wrongBy5 += error > 5;
        // The first row once more, at the end of the pass.
        if (frame * kPixelsPerFrame > length - lastLegLength)
            f.closingError = std::max(f.closingError, error);
        fields.push_back(stitcher.field());
    }
    f.meanError = f.placed ? errorSum / f.placed : 0;
    f.cpuMsPerFrame = 1000 * cpu / std::max(1, f.frames);
    f.wallMsPerFrame = wall / std::max(1, f.frames);

    // The panorama against the slide as the optics show it, over the covered area.
    const cv::Rect bounds = stitcher.canvas().bounds();
    f.size = bounds.size();
    std::vector<uint8_t> pixels;
    stitcher.canvas().copyPicture(pixels);
    const cv::Mat picture(bounds.size(), CV_8UC4, pixels.data());
    optics::FieldOfView whole = microscope.fieldAt(0, kFrame, 0.5);
    whole.topLeft = bounds.tl() + origin;
    cv::Mat truth;
    microscope.renderField(whole, bounds.size(), truth);
    cv::Mat a, b, covered, score;
    cv::cvtColor(picture, a, cv::COLOR_RGBA2GRAY);
    cv::cvtColor(truth, b, cv::COLOR_RGB2GRAY);
    cv::threshold(a, covered, 0, 255, cv::THRESH_BINARY);
    f.covered = double(cv::countNonZero(covered)) / bounds.area();
    cv::matchTemplate(a, b, score, cv::TM_CCOEFF_NORMED, covered);
    f.ncc = score.at<float>(0, 0);

    // Seams: the step of (panorama - slide) across every placed field's
    // edges, where both sides are covered.
    cv::Mat difference;
    cv::subtract(a, b, difference, cv::noArray(), CV_32F);
    double stepSum = 0;
    int edges = 0;
    auto across = [&](cv::Rect inside, cv::Rect outside) {
        inside &= cv::Rect(cv::Point(), bounds.size());
        outside &= cv::Rect(cv::Point(), bounds.size());
        if (inside.area() < 100 || outside.area() < 100 || cv::countNonZero(covered(outside)) < outside.area() ||
            cv::countNonZero(covered(inside)) < inside.area())
            return;
        stepSum += std::abs(cv::mean(difference(inside))[0] - cv::mean(difference(outside))[0]);
        ++edges;
    };
    for (size_t i = 0; i < fields.size(); i += 25) {
        const cv::Rect r = fields[i] - bounds.tl();
        across({r.x, r.y, 2, r.height}, {r.x - 2, r.y, 2, r.height});
        across({r.br().x - 2, r.y, 2, r.height}, {r.br().x, r.y, 2, r.height});
        across({r.x, r.y, r.width, 2}, {r.x, r.y - 2, r.width, 2});
        across({r.x, r.br().y - 2, r.width, 2}, {r.x, r.br().y, r.width, 2});
    }
    f.seamStep = edges ? stepSum / edges : 0;
    return f;
}

void print(const char* name, const Figures& f)
{
    std::printf("%s: %d frames, %d placed (%d more than 5 px off); field error max %.2f px, mean %.3f px, "
                "closing (first row again) %.2f px\n"
                "  panorama %d x %d, covered %.1f %%, NCC against the slide %.4f, mean step across seams %.2f "
                "grey levels\n"
                "  registration and placing per frame: CPU %.1f ms, wall %.1f ms (worst %.1f ms): %.1f frames/s\n"
                "  wall per frame placed %.1f ms; per frame not placed %.1f ms (worst %.1f ms)\n",
                name, f.frames, f.placed, f.wrongBy5, f.maxError, f.meanError, f.closingError, f.size.width,
                f.size.height, 100 * f.covered, f.ncc, f.seamStep, f.cpuMsPerFrame, f.wallMsPerFrame, f.wallMsWorst,
                f.cpuMsPerFrame > 0 ? 1000 / f.cpuMsPerFrame : 0, f.placed ? f.placedMs / f.placed : 0,
                f.frames > f.placed ? f.unplacedMs / (f.frames - f.placed) : 0, f.unplacedMsWorst);
}

} // namespace

int main(int argc, char** argv)
{
    const int step = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2;
    std::printf("6 x 6 serpentine, 1920 x 1080, %.0f px per camera frame, every %d. frame stitched\n", kPixelsPerFrame,
                step);
    print("noise 4", run(0, step));
    print("noise 4, shake 2", run(2, step));
    return 0;
}
