// Opening large picture files and freezing the live picture on the real main
// window. For each file: the time from handing the path to the open command
// (what the file dialog does on OK) to the first pass the view drew with
// the picture, and the longest time the window's message loop did not run
// meanwhile (the window answering). Then, with the emulated USB3 camera at
// 1920 x 1080 and 60 frames/s, the time from the freeze command to the first
// pass drawn with the frozen picture, and how many passes that took.
#include "app/shell/AppConfig.h"
#include "app/shell/MainWnd.h"
#include "app/shell/PictureSource.h"
#include "app/shell/Startup.h"
#include "app/shell/picture/PictureCommands.h"
#include "app/shell/session/CameraSession.h"
#include "app/view/ImageRenderUI.h"
#include "ui/Application.h"
#include "ui/Controls.h"
#include "ui/PaintManager.h"
#include "ui/ResourceManager.h"

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <tiffio.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Runs the message loop until `done` or `seconds`; `stall` gets the longest
// time one turn of the loop took.
bool RunUntil(const std::function<bool()>& done, double seconds, double* stall = nullptr)
{
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < end) {
        const auto turn = Clock::now();
        ui::Application::processEventsFor(2);
        if (stall)
            *stall = std::max(*stall, Ms(Clock::now() - turn));
        if (done())
            return true;
    }
    return false;
}

// A picture with detail everywhere, so the JPEG is as large as a camera's.
cv::Mat Specimen(int width, int height)
{
    cv::Mat picture(height, width, CV_8UC3);
    cv::randu(picture, cv::Scalar::all(0), cv::Scalar::all(255));
    for (int y = 0; y < height; ++y) {
        auto* row = picture.ptr<cv::Vec3b>(y);
        for (int x = 0; x < width; ++x)
            row[x] = row[x] / 4 + cv::Vec3b(uchar(x * 191 / width), uchar(y * 191 / height), 96);
    }
    return picture;
}

bool WriteTiff(const std::string& path, const cv::Mat& bgr)
{
    TIFF* tiff = TIFFOpen(path.c_str(), "w");
    if (!tiff)
        return false;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(bgr.cols));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(bgr.rows));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 64u);
    TIFFSetField(tiff, TIFFTAG_XRESOLUTION, 4.0f);
    TIFFSetField(tiff, TIFFTAG_YRESOLUTION, 4.0f);
    TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_NONE);
    TIFFSetField(tiff, TIFFTAG_IMAGEDESCRIPTION, "ImageJ=1.54f\nunit=micron\n");
    std::vector<uint8_t> row(size_t(bgr.cols) * 3);
    bool ok = true;
    for (int y = 0; ok && y < bgr.rows; ++y) {
        const auto* in = bgr.ptr<cv::Vec3b>(y);
        for (int x = 0; x < bgr.cols; ++x) {
            row[size_t(x) * 3] = in[x][2];
            row[size_t(x) * 3 + 1] = in[x][1];
            row[size_t(x) * 3 + 2] = in[x][0];
        }
        ok = TIFFWriteScanline(tiff, row.data(), uint32_t(y), 0) == 1;
    }
    TIFFClose(tiff);
    return ok;
}

struct Figures {
    std::vector<double> ms, stalls;
    void print(const char* what) const
    {
        std::vector<double> sorted = ms;
        std::sort(sorted.begin(), sorted.end());
        const double median = sorted.empty() ? 0 : sorted[sorted.size() / 2];
        const double worst = sorted.empty() ? 0 : sorted.back();
        const double stall = stalls.empty() ? 0 : *std::max_element(stalls.begin(), stalls.end());
        std::printf("%s: %zu runs, median %.0f ms, slowest %.0f ms; longest window stall %.0f ms\n", what, ms.size(),
                    median, worst, stall);
    }
};

// Opens `path` `runs` times (the live picture between runs) and times each.
Figures OpenRuns(shell::CMainWnd& window, CImageRenderUI& view, const std::string& path, int width, int runs)
{
    Figures figures;
    shell::PictureCommands& commands = *window.PictureCommandsPart();
    shell::PictureSource& pictures = *window.Pictures();
    for (int run = 0; run < runs; ++run) {
        pictures.showLive();
        RunUntil([] { return false; }, 0.3);
        double stall = 0;
        const auto start = Clock::now();
        int passes = -1;
        if (!commands.Open(path))
            break;
        const bool drawn = RunUntil(
            [&] {
                int w = 0, h = 0;
                view.pictureSize(w, h);
                if (passes < 0 && !commands.IsBusy() && pictures.kind() == shell::SourceKind::File && w == width)
                    passes = view.passesDrawn();
                return passes >= 0 && view.passesDrawn() > passes;
            },
            30, &stall);
        if (!drawn) {
            CControlUI* info = window.PaintManager().FindControl("StatusBarLabelInfo");
            std::fprintf(stderr, "%s was not shown: %s\n", path.c_str(), info ? info->GetText().c_str() : "");
            break;
        }
        figures.ms.push_back(Ms(Clock::now() - start));
        figures.stalls.push_back(stall);
    }
    return figures;
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    ::setenv("SENSORLINK_EMULATE", "1", 1);
    ::setenv("SENSORLINK_EMULATE_SIZE", "1920x1080", 1);
    ::setenv("SENSORLINK_EMULATE_FPS", "60", 1);
    ::unsetenv("LENSBRIDGE_EMULATE_VIDEO");
    char home[] = "/tmp/pellumo-picture-bench-XXXXXX";
    if (!::mkdtemp(home))
        return 1;
    ::setenv("HOME", home, 1);
    ::setenv("XDG_CONFIG_HOME", (std::string(home) + "/config").c_str(), 1);

    const std::string jpeg = std::string(home) + "/20mp.jpg", tiff = std::string(home) + "/8192.tif";
    std::printf("writing the pictures...\n");
    if (!cv::imwrite(jpeg, Specimen(5472, 3648), {cv::IMWRITE_JPEG_QUALITY, 90}) ||
        !WriteTiff(tiff, Specimen(8192, 8192))) {
        std::fprintf(stderr, "the pictures could not be written in %s\n", home);
        return 1;
    }
    std::printf("20 MP JPEG %.1f MB, 8192 x 8192 TIFF %.1f MB\n", double(std::filesystem::file_size(jpeg)) / 1e6,
                double(std::filesystem::file_size(tiff)) / 1e6);

    ui::Application app(argc, argv);
    CPaintManagerUI::SetInstance(&app);
    shell::RegisterSkin();
    shell::Config().SetDefaults();
    shell::Config().MaximizeWindow = 0;
    shell::Config().ExitPrompt = 1;
    auto window = std::make_unique<shell::CMainWnd>();
    window->Create(nullptr, "Pellumo", UI_WNDSTYLE_FRAME, 0);
    window->ShowWindow(true);
    shell::CameraSession& session = *window->Session();
    CImageRenderUI* view = session.View();
    if (!view || !RunUntil([&] { return view->isRendering(); }, 15)) {
        std::fprintf(stderr, "the view does not draw (no X display?)\n");
        return 1;
    }
    OpenRuns(*window, *view, jpeg, 5472, runs).print("20 MP JPEG (5472 x 3648), dialog to drawn");
    OpenRuns(*window, *view, tiff, 8192, runs).print("8192 x 8192 TIFF, dialog to drawn");

    // Freezing a live 1080p60 picture.
    auto usbGroup = [&] {
        for (size_t g = 0; g < session.Devices().size(); ++g)
            if (session.Devices()[g].type == VIDEO_DEVICE_GROUP_SENSORLINK && !session.Devices()[g].devices.empty())
                return int(g);
        return -1;
    };
    window->Pictures()->showLive();
    if (!RunUntil([&] { return usbGroup() >= 0; }, 15) || session.OpenLocal(usbGroup(), 0) != shell::kSessionOpened ||
        !RunUntil([&] { return session.Camera() && session.FramesDelivered() > 60; }, 15)) {
        std::fprintf(stderr, "the emulated camera did not stream\n");
        return 1;
    }
    Figures freeze;
    std::vector<int> passesTaken;
    // A pass already under way when the freeze comes draws the live frame:
    // the first pass that took its picture after the still was put up counts.
    std::atomic<int> stillPass{-1};
    view->setPassObserver([&] {
        if (stillPass.load() < 0 && view->isShowingStill())
            stillPass.store(view->passesDrawn());
    });
    for (int run = 0; run < 4 * runs; ++run) {
        RunUntil([] { return false; }, 0.25);
        const int passes = view->passesDrawn();
        stillPass.store(-1);
        const auto start = Clock::now();
        window->PictureCommandsPart()->ToggleFreeze();
        double stall = 0;
        if (!RunUntil([&] { return stillPass.load() >= 0 && view->passesDrawn() > stillPass.load(); }, 5, &stall))
            break;
        freeze.ms.push_back(Ms(Clock::now() - start));
        freeze.stalls.push_back(stall);
        passesTaken.push_back(stillPass.load() + 1 - passes);
        window->PictureCommandsPart()->ToggleFreeze();
    }
    freeze.print("freeze at 1920 x 1080, 60 frames/s, command to drawn");
    std::sort(passesTaken.begin(), passesTaken.end());
    std::printf("passes from the command until the frozen picture was drawn (1: the next pass): median %d, most %d\n",
                passesTaken.empty() ? 0 : passesTaken[passesTaken.size() / 2],
                passesTaken.empty() ? 0 : passesTaken.back());

    view->setPassObserver(nullptr);
    window->DestroyWindow();
    window.reset();
    CResourceManager::GetInstance()->Release();
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return 0;
}
