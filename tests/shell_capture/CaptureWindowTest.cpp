// The capture commands and the adjustment panel on the real main window,
// with an emulated USB3 camera that stamps its register values into every
// frame: what the operator does and what reaches the camera and the disk.
#include "../shell/ShellTestFolders.h"

#include "app/shell/AppConfig.h"
#include "app/shell/MainWnd.h"
#include "app/shell/Startup.h"
#include "app/shell/session/CameraSession.h"
#include "app/view/ImageRenderUI.h"
#include "camera/CMCameraBase.h"
#include "tests/shell_session/MainWindowHarness.h"
#include "ui/Controls.h"
#include "ui/Menu.h"
#include "ui/ResourceManager.h"
#include "ui/testing/UiDriver.h"
#include "usbsdk/emulator/FrameStamp.h"

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>
#include <QSlider>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <tiffio.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;
using shell::CMainWnd;
using shell::Config;
using ui::testing::Driver;

PELLUMO_UI_TEST_APPLICATION();

namespace {

// Where a test pulls the emulated camera's plug ("unplugged 0").
const std::string kControlFile =
    (fs::temp_directory_path() / ("pellumo-capture-plug-" + std::to_string(::getpid()))).string();

// Set before the camera library first looks for cameras.
const bool kEmulated = [] {
    ::setenv("SENSORLINK_EMULATE", "1", 1);
    ::setenv("SENSORLINK_EMULATE_STAMP", "1", 1);
    ::setenv("SENSORLINK_EMULATE_SIZE", "640x480", 1);
    ::setenv("SENSORLINK_EMULATE_FPS", "30", 1);
    ::setenv("SENSORLINK_EMULATE_CONTROL", kControlFile.c_str(), 1);
    return true;
}();

std::string run(const std::string& command)
{
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe))
            output += buffer;
        ::pclose(pipe);
    }
    return output;
}

std::map<std::string, std::string> probe(const std::string& file)
{
    std::map<std::string, std::string> values;
    std::istringstream lines(run("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                                 "stream=codec_name,profile,width,height,nb_read_frames:format=duration "
                                 "-of default=nw=1 '" +
                                 file + "' 2>&1"));
    std::string line;
    while (std::getline(lines, line))
        if (auto eq = line.find('='); eq != std::string::npos)
            values[line.substr(0, eq)] = line.substr(eq + 1);
    return values;
}

class CaptureWindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(kEmulated);
        shelltest::OpenMainWindow(window);
        if (HasFatalFailure())
            return;
        Config().ImagePath_MyDoc = 1;
        shell::CameraSession& session = *window->Session();
        ASSERT_TRUE(Driver::processEventsUntil([&] { return !session.Devices().empty(); }));
        int group = -1;
        for (size_t g = 0; g < session.Devices().size(); ++g)
            if (session.Devices()[g].type == VIDEO_DEVICE_GROUP_SENSORLINK && !session.Devices()[g].devices.empty())
                group = int(g);
        ASSERT_GE(group, 0);
        ASSERT_EQ(session.OpenLocal(group, 0), shell::kSessionOpened);
        ASSERT_TRUE(Driver::processEventsUntil([&] { return session.Camera() && session.FramesDelivered() > 3; }));
        Driver::processEvents();
    }
    void TearDown() override { shelltest::CloseMainWindow(window); }
    CControlUI* find(const char* name) { return window->PaintManager().FindControl(name); }
    std::string status() { return find("StatusBarLabelInfo")->GetText(); }
    CMCameraBase* camera() { return window->Session()->Camera(); }

    // The register values of the next frames, until `done` says so.
    bool waitForStamp(const std::function<bool(const usbsdk::emulator::FrameStamp&)>& done, int frames = 30)
    {
        for (int i = 0; i < frames; ++i) {
            CWImage snap;
            snap.externalBuffer = false;
            if (camera()->Snap(&snap) != 0)
                continue;
            const auto stamp = usbsdk::emulator::FrameStamp::read(snap.data, snap.dataSize);
            if (stamp && done(*stamp))
                return true;
        }
        return false;
    }
    std::optional<usbsdk::emulator::FrameStamp> nextStamp()
    {
        std::optional<usbsdk::emulator::FrameStamp> stamp;
        waitForStamp([&](const auto& s) {
            stamp = s;
            return true;
        });
        return stamp;
    }
    // The path of the "Save to" line once the saver wrote the file.
    std::string waitForSavedFile()
    {
        const std::string prefix = CResourceManager::GetInstance()->GetTextOrId("STR_SAVED_TO") + " ";
        std::string path;
        Driver::processEventsUntil([&] {
            const std::string line = status();
            if (line.rfind(prefix, 0) != 0)
                return false;
            path = line.substr(prefix.size());
            return true;
        });
        return path;
    }
    QSlider* qslider(const char* name) { return qobject_cast<QSlider*>(find(name)->GetWidget()); }

    shelltest::TempHome home;
    shelltest::LocaleEnv locale{"en_US.UTF-8"};
    std::unique_ptr<CMainWnd> window;
};

} // namespace

TEST_F(CaptureWindowTest, SlidersReachTheCameraLiveExceptExposureTimeWhichWaitsForTheRelease)
{
    Driver ui(*window);
    ASSERT_TRUE(ui.click("drawerHeadExposure"));
    EXPECT_TRUE(ui.isShown("AdjustSldGain"));
    EXPECT_TRUE(find("AdjustSldGain")->IsEnabled());
    // Gain follows the thumb while it is dragged.
    QSlider* gain = qslider("AdjustSldGain");
    const int gainTarget = (gain->minimum() + gain->maximum()) / 2 + 1;
    gain->setSliderDown(true);
    gain->setSliderPosition(gainTarget);
    EXPECT_TRUE(waitForStamp([&](const auto& s) { return s.gain == gainTarget; })) << "live while dragging";
    gain->setSliderDown(false);
    EXPECT_EQ(find("AdjustValGain")->GetText(), std::to_string(gainTarget));

    // Exposure time only with automatic exposure off, and only on release.
    auto* ae = dynamic_cast<COptionUI*>(find("AdjustOptionAE"));
    if (ae->IsSelected()) {
        ASSERT_TRUE(ui.click("AdjustOptionAE"));
    }
    EXPECT_TRUE(waitForStamp([](const auto& s) { return s.exposureMode == 0; }));
    ASSERT_TRUE(find("AdjustSldExpTime")->IsEnabled());
    QSlider* exposure = qslider("AdjustSldExpTime");
    const int before = nextStamp()->exposureTime;
    const int exposureTarget = before == exposure->maximum() ? exposure->minimum() : exposure->maximum();
    exposure->setSliderDown(true);
    exposure->setSliderPosition(exposureTarget);
    EXPECT_TRUE(waitForStamp([&](const auto& s) { return s.exposureTime == exposureTarget; }, 8) == false)
        << "nothing sent while dragging";
    exposure->setSliderDown(false);
    EXPECT_TRUE(waitForStamp([&](const auto& s) { return s.exposureTime == exposureTarget; }));

    // Switching automatic exposure on disables the time and enables the target.
    ASSERT_TRUE(ui.click("AdjustOptionAE"));
    EXPECT_FALSE(find("AdjustSldExpTime")->IsEnabled());
    EXPECT_TRUE(waitForStamp([](const auto& s) { return s.exposureMode != 0; }));

    // Defaults go back to the camera.
    int min = 0, max = 0, def = 0, step = 0;
    camera()->GetPropertyRange(CM_PROP_GAIN, &min, &max, &def, &step);
    ASSERT_TRUE(ui.click("AdjustBtnReset"));
    EXPECT_TRUE(waitForStamp([&](const auto& s) { return s.gain == def; }));
    EXPECT_EQ(dynamic_cast<CSliderUI*>(find("AdjustSldGain"))->GetValue(), def);

    // A USB3 camera has no colour modes: the box says so by its grey text,
    // where an enabled box writes in white.
    ASSERT_TRUE(ui.click("drawerHeadColorMode"));
    Driver::processEvents();
    CControlUI* colourMode = find("combo_color_mode");
    ASSERT_TRUE(ui.isShown("combo_color_mode"));
    EXPECT_FALSE(colourMode->IsEnabled());
    auto brightest = [&] {
        const QImage image = colourMode->GetWidget()->grab().toImage();
        int most = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                most = std::max(most, qGray(image.pixel(x, y)));
        return most;
    };
    EXPECT_LT(brightest(), 160) << "the disabled box looks like an enabled one";
    colourMode->SetEnabled(true);
    EXPECT_GT(brightest(), 200);
    colourMode->SetEnabled(false);
}

TEST_F(CaptureWindowTest, SnapshotsInFourTypesWithAutomaticNamesAndACalibratedTiff)
{
    // A calibration of 0.25 micron per preview pixel is in force, as the
    // measure page sets it when one is chosen.
    auto* view = dynamic_cast<CImageRenderUI*>(find("ImageRenderView"));
    ASSERT_NE(view, nullptr);
    view->container().setCalibration("um", 0.25f);

    Driver ui(*window);
    const std::regex automatic(R"(\d{8}-\d{6}-\d{1,3}\.(tif|png|bmp|jpg))");
    const char* extensions[] = {".tif", ".png", ".bmp", ".jpg"};
    for (int type = 0; type < 4; ++type) {
        Config().FileType = type;
        find("StatusBarLabelInfo")->SetText("");
        if (type % 2)
            ASSERT_TRUE(ui.click("ToolbarBtnCapture"));
        else
            ASSERT_TRUE(ui.pressKey(VK_RETURN));
        const std::string path = waitForSavedFile();
        ASSERT_FALSE(path.empty()) << status();
        EXPECT_EQ(fs::path(path).parent_path(), fs::path(home.documentsImages()).parent_path());
        EXPECT_EQ(fs::path(path).extension(), extensions[type]);
        EXPECT_TRUE(std::regex_match(fs::path(path).filename().string(), automatic)) << path;

        // The file holds the converted picture (the stamp's first row aside).
        const cv::Mat file = cv::imread(path, cv::IMREAD_COLOR);
        ASSERT_EQ(file.cols, 640) << path;
        ASSERT_EQ(file.rows, 480);
        CWImage shown;
        ASSERT_TRUE(window->Session()->Pipeline().copyDisplayImage(shown));
        double difference = 0;
        for (int y = 8; y < 480; y += 4)
            for (int x = 0; x < 640; x += 4) {
                const uint8_t* rgba = shown.data + (size_t(y) * 640 + x) * 4;
                const cv::Vec3b bgr = file.at<cv::Vec3b>(y, x);
                difference += std::abs(rgba[0] - bgr[2]) + std::abs(rgba[1] - bgr[1]) + std::abs(rgba[2] - bgr[0]);
            }
        difference /= (472 / 4) * (640 / 4) * 3;
        EXPECT_LT(difference, type == 3 ? 4.0 : 1.0) << path;
    }

    // The TIFF carries the scale: 4 pixels per micron.
    std::string tiffPath;
    for (const auto& entry : fs::directory_iterator(home.documentsImages()))
        if (entry.path().extension() == ".tif")
            tiffPath = entry.path();
    TIFF* tiff = TIFFOpen(tiffPath.c_str(), "r");
    ASSERT_NE(tiff, nullptr);
    float xres = 0;
    uint16_t unit = 0;
    char* description = nullptr;
    EXPECT_TRUE(TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &xres));
    EXPECT_NEAR(xres, 4.0, 1e-6);
    EXPECT_TRUE(TIFFGetField(tiff, TIFFTAG_RESOLUTIONUNIT, &unit));
    EXPECT_EQ(unit, RESUNIT_NONE);
    ASSERT_TRUE(TIFFGetField(tiff, TIFFTAG_IMAGEDESCRIPTION, &description));
    EXPECT_NE(std::string(description).find("unit=micron"), std::string::npos);
    TIFFClose(tiff);
    // ImageJ, where installed, reads the same scale.
    if (!run("command -v imagej").empty()) {
        const std::string macro = home.root + "/scale.ijm";
        FILE* f = std::fopen(macro.c_str(), "w");
        std::fprintf(f, "open('%s'); getPixelSize(u, w, h); print(u + ' ' + w); eval('script', 'System.exit(0);');\n",
                     tiffPath.c_str());
        std::fclose(f);
        const std::string out = run("timeout 60 imagej -b '" + macro + "' 2>/dev/null");
        EXPECT_NE(out.find("0.25"), std::string::npos) << out;
    }
}

TEST_F(CaptureWindowTest, ASeriesOfThreeAtOneSecondFromTheSnapMenu)
{
    Config().ConshotCount = 3;
    Config().ConshotInterval = 1;
    Config().FileType = 1;
    Driver ui(*window);
    ASSERT_TRUE(ui.click("ToolbarBtnCaptureSet"));
    Driver::processEvents();
    // The snap menu: picture sizes first (this camera takes no stills: the
    // preview size, disabled), the file type ticked.
    CMenuWnd* menu = Driver::openMenu();
    ASSERT_NE(menu, nullptr);
    CMenuElementUI* sizes = menu->GetMenuUI()->GetItemAt(0);
    ASSERT_NE(sizes, nullptr);
    EXPECT_EQ(sizes->GetName(), "Menu_Picture_Size");
    ASSERT_EQ(sizes->GetCount(), 1);
    EXPECT_EQ(sizes->GetItemAt(0)->GetText(), "640 x 480");
    EXPECT_FALSE(sizes->GetItemAt(0)->IsEnabled());
    EXPECT_TRUE(menu->FindMenuItem("Cap_Menu_Item_Png")->GetChecked());
    EXPECT_FALSE(menu->FindMenuItem("Cap_Menu_Item_Jpg")->GetChecked());
    ASSERT_TRUE(Driver::pickMenuItem("Cap_Menu_Item_ConShootStart"));
    Driver::processEvents();
    EXPECT_FALSE(find("ToolbarBtnRecord")->IsEnabled()) << "no recording during a series";
    EXPECT_TRUE(Driver::processEventsUntil([&] { return find("ToolbarBtnRecord")->IsEnabled(); }, 15000));
    Driver::processEventsUntil([&] { return !waitForSavedFile().empty(); });
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(home.documentsImages()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names.size(), 3u);
    // The names carry the times: one picture per tick of the 1 s timer.
    auto secondsOf = [](const std::string& name) {
        const int hms = std::stoi(name.substr(9, 6));
        return (hms / 10000) * 3600 + (hms / 100 % 100) * 60 + hms % 100 + std::stoi(name.substr(16)) / 1000.0;
    };
    for (size_t i = 1; i < names.size(); ++i)
        EXPECT_GE(secondsOf(names[i]) - secondsOf(names[i - 1]), 0.5) << names[i - 1] << " " << names[i];
}

TEST_F(CaptureWindowTest, RecordingFromTheToolbarAndWithF9)
{
    Driver ui(*window);
    auto* record = dynamic_cast<COptionUI*>(find("ToolbarBtnRecord"));
    std::vector<std::string> files;
    // The overlay's clock, held still here: the status bar's line reads it.
    CImageRenderUI* view = window->Session()->View();
    const auto base = std::chrono::steady_clock::now();
    auto advanced = std::make_shared<std::atomic<long long>>(0); // milliseconds; read by the render thread
    view->setElapsedClock([base, advanced] { return base + std::chrono::milliseconds(advanced->load()); });
    for (int round = 0; round < 2; ++round) {
        // Started by one, stopped by the other.
        if (round == 0)
            ASSERT_TRUE(ui.click("ToolbarBtnRecord"));
        else
            ASSERT_TRUE(ui.pressKey(VK_F9));
        ASSERT_TRUE(record->IsSelected());
        EXPECT_FALSE(find("ToolbarBtnCapture")->IsEnabled());
        EXPECT_FALSE(find("combo_preview_size")->IsEnabled());
        // The encoder opens on the session's worker; the clock runs from then.
        ASSERT_TRUE(Driver::processEventsUntil([&] { return view->isRecordingIndicatorShown(); }));
        const unsigned long start = window->Session()->FramesDelivered();
        if (round == 0) {
            // Seconds of the overlay's clock show in the status bar as the
            // clock passes them, whatever the recorder counted so far.
            *advanced += 65'300;
            EXPECT_TRUE(Driver::processEventsUntil([&] { return status().find("1:05") != std::string::npos; }, 3000))
                << status();
        }
        Driver::processEventsUntil([&] { return window->Session()->FramesDelivered() > start + 120; }, 20000);
        EXPECT_NE(status().find("frames written"), std::string::npos) << status();
        if (round == 0)
            ASSERT_TRUE(ui.pressKey(VK_F9));
        else
            ASSERT_TRUE(ui.click("ToolbarBtnRecord"));
        EXPECT_FALSE(record->IsSelected());
        EXPECT_TRUE(find("ToolbarBtnCapture")->IsEnabled());
        const std::string path = waitForSavedFile();
        ASSERT_FALSE(path.empty()) << status();
        EXPECT_EQ(fs::path(path).extension(), ".mp4");
        files.push_back(path);
    }
    view->setElapsedClock([] { return std::chrono::steady_clock::now(); });
    for (const std::string& file : files) {
        const auto info = probe(file);
        EXPECT_EQ(info.at("codec_name"), "h264");
        EXPECT_EQ(info.at("profile"), "Constrained Baseline");
        EXPECT_EQ(info.at("width"), "640");
        EXPECT_EQ(info.at("height"), "480");
        const double duration = std::stod(info.at("duration"));
        const double frames = std::stod(info.at("nb_read_frames"));
        EXPECT_GE(duration, 3.0);
        EXPECT_NEAR(frames / duration, 30.0, 9.0) << "frames " << frames << " in " << duration << " s";
    }
}

TEST_F(CaptureWindowTest, ARecordingStoppedWhileItsEncoderOpensIsKeptAndOneThatCannotOpenSaysSo)
{
    Driver ui(*window);
    auto* record = dynamic_cast<COptionUI*>(find("ToolbarBtnRecord"));
    // The encoder opens on the session's worker: held up there, both presses
    // come before it has opened.
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    ASSERT_TRUE(window->Session()->RunWithCamera([released](CMCameraBase&) { released.wait(); }));
    ASSERT_TRUE(ui.pressKey(VK_F9));
    ASSERT_TRUE(ui.pressKey(VK_F9));
    EXPECT_FALSE(record->IsSelected());
    EXPECT_FALSE(find("ToolbarBtnCapture")->IsEnabled()) << "the recorder is still opening";
    release.set_value();
    const std::string path = waitForSavedFile();
    ASSERT_FALSE(path.empty()) << status();
    EXPECT_TRUE(fs::exists(path));
    EXPECT_FALSE(window->Session()->Pipeline().isRecording());
    EXPECT_TRUE(find("ToolbarBtnCapture")->IsEnabled());

    // A chosen name where no file can be made.
    const std::string failed = CResourceManager::GetInstance()->GetTextOrId("STR_RECORD_FAIL");
    Config().FileSave_Rule = 1;
    Driver::answerNextModal(Driver::ChooseFile("/proc/clip.mp4"));
    ASSERT_TRUE(ui.pressKey(VK_F9));
    EXPECT_TRUE(Driver::processEventsUntil([&] { return status() == failed; })) << status();
    Config().FileSave_Rule = 0;
    EXPECT_FALSE(record->IsSelected());
    EXPECT_TRUE(find("ToolbarBtnCapture")->IsEnabled());
    EXPECT_FALSE(window->Session()->Pipeline().isRecording());
}

TEST_F(CaptureWindowTest, ARecordingEndedByALostCameraSaysBothAndWhereItWent)
{
    Driver ui(*window);
    ASSERT_TRUE(ui.pressKey(VK_F9));
    const unsigned long start = window->Session()->FramesDelivered();
    ASSERT_TRUE(Driver::processEventsUntil([&] { return window->Session()->FramesDelivered() > start + 30; }));
    std::ofstream(kControlFile) << "unplugged 0\n";
    window->PostMessage(platform::WM_DEVICECHANGE, 0x8000);
    ASSERT_TRUE(Driver::processEventsUntil([&] { return window->Session()->IsLost(); }, 30000));
    Driver::processEvents();
    const std::string lost = CResourceManager::GetInstance()->GetTextOrId("STR_CAMERA_DISCONNECTED");
    const std::string saved = CResourceManager::GetInstance()->GetTextOrId("STR_SAVED_TO") + " ";
    const std::string line = status();
    EXPECT_EQ(line.rfind(lost, 0), 0u) << line;
    const size_t at = line.find(saved);
    ASSERT_NE(at, std::string::npos) << "the recording's file is named: " << line;
    EXPECT_TRUE(fs::exists(line.substr(at + saved.size()))) << line;
    EXPECT_FALSE(dynamic_cast<COptionUI*>(find("ToolbarBtnRecord"))->IsSelected());

    fs::remove(kControlFile);
    window->PostMessage(platform::WM_DEVICECHANGE, 0x8000);
    ASSERT_TRUE(Driver::processEventsUntil([&] { return camera() && !window->Session()->IsLost(); }, 20000));
    const std::string back = CResourceManager::GetInstance()->GetTextOrId("STR_CAMERA_RECONNECTED");
    EXPECT_TRUE(Driver::processEventsUntil([&] { return status() == back; })) << status();
}

TEST_F(CaptureWindowTest, FullDiskStopsARecordingWithItsReasonAndAMissingFolderFailsASnapshot)
{
    Driver ui(*window);
    // An image folder that cannot be made: the snapshot says it failed.
    std::ofstream(home.root + "/plain-file") << "x";
    Config().ImagePath_MyDoc = 0;
    Config().ImagePath = home.root + "/plain-file/images";
    find("StatusBarLabelInfo")->SetText("");
    ASSERT_TRUE(ui.pressKey(VK_RETURN));
    EXPECT_EQ(status(), CResourceManager::GetInstance()->GetTextOrId("STR_SNAP_FAIL"));
    Config().ImagePath_MyDoc = 1;

    // The folder button where the desktop has no file manager: the opener
    // (a stand-in that fails as xdg-open does then) ends with status 3, or
    // there is no opener at all. Both say where the pictures are.
    const std::string noOpener = CResourceManager::GetInstance()->GetTextOrId("STR_NO_FILE_MANAGER");
    const std::string saying = noOpener.substr(0, noOpener.find("%s"));
    const std::string bin = home.root + "/bin";
    std::filesystem::create_directories(bin);
    std::ofstream(bin + "/xdg-open") << "#!/bin/sh\nexit 3\n";
    std::filesystem::permissions(bin + "/xdg-open", std::filesystem::perms::owner_all);
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", (bin + ":" + path).c_str(), 1);
    find("StatusBarLabelInfo")->SetText("");
    ASSERT_TRUE(ui.click("ToolbarBtnFiles"));
    EXPECT_TRUE(Driver::processEventsUntil([&] { return status().rfind(saying, 0) == 0; }, 10000)) << status();
    std::filesystem::remove(bin + "/xdg-open");
    ::setenv("PATH", bin.c_str(), 1);
    find("StatusBarLabelInfo")->SetText("");
    ASSERT_TRUE(ui.click("ToolbarBtnFiles"));
    EXPECT_EQ(status().rfind(saying, 0), 0u) << status();
    ::setenv("PATH", path.c_str(), 1);

    // The disk fills a few seconds into a recording (a file-size limit: EFBIG).
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto* previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved;
    limit.rlim_cur = 40 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    auto* record = dynamic_cast<COptionUI*>(find("ToolbarBtnRecord"));
    ASSERT_TRUE(ui.click("ToolbarBtnRecord"));
    ASSERT_TRUE(record->IsSelected());
    const std::string stopped = "Recording stopped, the disk is full: ";
    const bool stoppedByItself = Driver::processEventsUntil([&] { return status().rfind(stopped, 0) == 0; }, 30000);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    ASSERT_TRUE(stoppedByItself) << status();
    EXPECT_FALSE(record->IsSelected());
    EXPECT_TRUE(find("ToolbarBtnCapture")->IsEnabled());
    // "<n> frames kept in <file>": the file plays exactly those.
    std::smatch parts;
    const std::string line = status();
    ASSERT_TRUE(std::regex_match(line, parts, std::regex(stopped + R"((\d+) frames kept in (.+\.mp4))"))) << line;
    EXPECT_GT(std::stoi(parts[1]), 0);
    EXPECT_EQ(probe(parts[2]).at("nb_read_frames"), parts[1].str());
}

TEST_F(CaptureWindowTest, AScreenshotOfTheViewAndTheWrongSizeBox)
{
    Driver ui(*window);
    const std::string path = home.root + "/view.png";
    ASSERT_TRUE(ui.click("MainTabOptMeasure"));
    Driver::answerNextModal(Driver::ChooseFile(path));
    ASSERT_TRUE(ui.click("MeasureBtnScreenShot"));
    EXPECT_TRUE(Driver::processEventsUntil([&] { return fs::exists(path) && fs::file_size(path) > 0; }));
    EXPECT_FALSE(cv::imread(path).empty());

    // Recording needs a preview of at most 1920 × 1080.
    ASSERT_TRUE(ui.click("MainTabOptCamera"));
    if (!ui.isShown("combo_preview_size")) {
        ASSERT_TRUE(ui.click("drawerHeadPreviewResolution"));
    }
    ASSERT_TRUE(ui.selectComboIndex("combo_preview_size", 8)); // 1920 x 1440
    int w = 0, h = 0;
    camera()->GetPreviewSize(w, h);
    ASSERT_EQ(h, 1440);
    Driver::answerNextModal(Driver::ClickControl("okbtn"));
    ASSERT_TRUE(ui.click("ToolbarBtnRecord"));
    Driver::processEvents();
    EXPECT_EQ(Driver::pendingAnswers(), 0) << "the wrong-size box was shown";
    EXPECT_FALSE(dynamic_cast<COptionUI*>(find("ToolbarBtnRecord"))->IsSelected());
}

TEST(CaptureCrashTest, ARecordingKilledAfterFiveSecondsStillPlaysFourSeconds)
{
    shelltest::TempHome home; // the program's documents folder is in here
    char program[] = RECORD_UNTIL_KILLED;
    char* argv[] = {program, nullptr};
    pid_t child = 0;
    ASSERT_EQ(::posix_spawn(&child, program, nullptr, nullptr, argv, environ), 0);
    std::string file;
    Driver::processEventsUntil(
        [&] {
            std::error_code error;
            for (const auto& entry : fs::directory_iterator(home.documentsImages(), error))
                if (entry.path().extension() == ".mp4")
                    file = entry.path();
            return !file.empty();
        },
        30000);
    if (!file.empty())
        std::this_thread::sleep_for(std::chrono::milliseconds(5200));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_FALSE(file.empty()) << "the program did not start recording";
    EXPECT_TRUE(WIFSIGNALED(status)) << "it was killed, not closed";
    const auto info = probe(file);
    EXPECT_EQ(info.at("codec_name"), "h264");
    ASSERT_TRUE(info.count("duration")) << "the file does not play";
    EXPECT_GE(std::stod(info.at("duration")), 4.0);
    EXPECT_GE(std::stoi(info.at("nb_read_frames")), 4 * 20);
}

TEST_F(CaptureWindowTest, TimeLapseChosenInTheSettingsAndStartedFromTheSnapMenuIsOneVideoWithItsTimeTable)
{
    Config().ConshotCount = 6;
    Driver ui(*window);
    // The series page: time-lapse on, a frame every 150 ms, played at 25 per
    // second; a rate beyond 60 is kept at 60.
    for (const char* rate : {"99", "25"}) {
        Driver::answerNextModal({Driver::ModalAnswer::Kind::Click, "okbtn", 0, [&](CWindowWnd&, CPaintManagerUI& pm) {
                                     dynamic_cast<COptionUI*>(pm.FindControl("setting_ChkTimeLapse"))->Selected(true);
                                     pm.FindControl("setting_EdtTimeLapseInterval")->SetText("150");
                                     pm.FindControl("setting_EdtTimeLapseRate")->SetText(rate);
                                 }});
        ASSERT_TRUE(ui.click("ToolbarBtnCaptureSet"));
        Driver::processEvents();
        ASSERT_TRUE(Driver::pickMenuItem("Cap_Menu_Item_ConShootSet"));
        ASSERT_TRUE(Driver::processEventsUntil([] { return Driver::pendingAnswers() == 0; }));
        EXPECT_EQ(Config().TimeLapseRate, std::string(rate) == "99" ? 60 : 25);
    }
    EXPECT_EQ(Config().TimeLapse, 1);
    EXPECT_EQ(Config().TimeLapseIntervalMs, 150);

    ASSERT_TRUE(ui.click("ToolbarBtnCaptureSet"));
    Driver::processEvents();
    ASSERT_TRUE(Driver::pickMenuItem("Cap_Menu_Item_ConShootStart"));
    Driver::processEvents();
    EXPECT_FALSE(find("ToolbarBtnRecord")->IsEnabled()) << "no recording during a time-lapse";
    EXPECT_TRUE(Driver::processEventsUntil([&] {
        return find("StatusBarLabelMode")->GetText().rfind("Time-lapse: ", 0) == 0;
    })) << "the mode field shows the frames taken";
    const std::string video = waitForSavedFile();
    ASSERT_FALSE(video.empty()) << status();
    EXPECT_TRUE(find("ToolbarBtnRecord")->IsEnabled());
    EXPECT_EQ(find("StatusBarLabelMode")->GetText(), "");

    const std::string probed = run("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                                   "stream=codec_name,r_frame_rate,nb_read_frames -of default=nw=1 '" +
                                   video + "'");
    EXPECT_NE(probed.find("codec_name=h264"), std::string::npos) << probed;
    EXPECT_NE(probed.find("r_frame_rate=25/1"), std::string::npos) << probed;
    EXPECT_NE(probed.find("nb_read_frames=6"), std::string::npos) << probed;
    std::ifstream table(fs::path(video).replace_extension(".csv"));
    std::string line;
    ASSERT_TRUE(std::getline(table, line));
    EXPECT_EQ(line, "frame,time");
    int rows = 0;
    while (std::getline(table, line))
        EXPECT_EQ(line.rfind(std::to_string(++rows) + ",", 0), 0u) << line;
    EXPECT_EQ(rows, 6);
}
