// The pictures the main window shows besides the live one, on the real window
// with an emulated USB3 camera streaming behind them: what the view draws,
// what the status bar says, and which measurements belong to which picture.
#include "ShellTestFolders.h"

#include "app/measure/SFPrimitiveContainer.h"
#include "app/shell/AppConfig.h"
#include "app/shell/CommandLine.h"
#include "app/shell/PictureSource.h"
#include "app/shell/picture/PictureCommands.h"
#include "app/shell/session/CameraSession.h"
#include "app/view/ImageRenderUI.h"
#include "camera/CMCameraBase.h"
#include "tests/shell_session/MainWindowHarness.h"
#include "ui/Controls.h"

#include <SFML/Graphics/Image.hpp>
#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

using shell::PictureSource;
using shell::SourceKind;
using shell::StillPicture;
using ui::testing::Driver;

PELLUMO_UI_TEST_APPLICATION();

namespace {

const bool kEmulated = [] {
    ::setenv("SENSORLINK_EMULATE", "1", 1);
    ::setenv("SENSORLINK_EMULATE_SIZE", "640x480", 1);
    ::setenv("SENSORLINK_EMULATE_FPS", "30", 1);
    return true;
}();

// A one-page TIFF of `samples` per pixel at `bits` bits, every sample
// `value`, with the given scale tags (an empty description writes none).
bool writeTiff(const std::string& path, int width, int height, int samples, int bits, int value,
               const std::string& description, float resolution, int unit)
{
    TIFF* tiff = TIFFOpen(path.c_str(), "w");
    if (!tiff)
        return false;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(width));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(height));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, samples == 1 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, uint32_t(height));
    if (!description.empty())
        TIFFSetField(tiff, TIFFTAG_IMAGEDESCRIPTION, description.c_str());
    if (resolution > 0) {
        TIFFSetField(tiff, TIFFTAG_XRESOLUTION, resolution);
        TIFFSetField(tiff, TIFFTAG_YRESOLUTION, resolution);
        TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, uint16_t(unit));
    }
    const size_t rowBytes = size_t(width) * samples * (bits / 8);
    std::vector<uint8_t> row(rowBytes);
    for (size_t i = 0; i < size_t(width) * samples; ++i) {
        if (bits == 16)
            reinterpret_cast<uint16_t*>(row.data())[i] = uint16_t(value);
        else
            row[i] = uint8_t(value);
    }
    bool ok = true;
    for (int y = 0; y < height; ++y)
        ok = ok && TIFFWriteScanline(tiff, row.data(), uint32_t(y), 0) == 1;
    TIFFClose(tiff);
    return ok;
}

std::shared_ptr<StillPicture> solidPicture(int width, int height, sf::Color colour)
{
    auto picture = std::make_shared<StillPicture>();
    picture->width = width;
    picture->height = height;
    picture->rgba.resize(size_t(width) * size_t(height) * 4);
    for (size_t i = 0; i < picture->rgba.size(); i += 4) {
        picture->rgba[i] = colour.r;
        picture->rgba[i + 1] = colour.g;
        picture->rgba[i + 2] = colour.b;
        picture->rgba[i + 3] = 255;
    }
    return picture;
}

class PictureWindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(kEmulated);
        shelltest::OpenMainWindow(window);
        if (HasFatalFailure())
            return;
        view = dynamic_cast<CImageRenderUI*>(window->PaintManager().FindControl("ImageRenderView"));
        ASSERT_NE(view, nullptr);
        ASSERT_NE(window->Pictures(), nullptr);
    }
    void TearDown() override { shelltest::CloseMainWindow(window); }

    void openCamera() { shelltest::OpenUsbCameraOnMeasurePage(*window, *view); }
    std::string field(const char* name) { return window->PaintManager().FindControl(name)->GetText(); }
    // The window point that shows image pixel (x, y).
    POINT at(float x, float y) const
    {
        const ViewFit fit = view->currentFit();
        const RECT pos = view->GetPos();
        return POINT{pos.left + int(std::lround(fit.originX + x * fit.zoom)),
                     pos.top + int(std::lround(fit.originY + y * fit.zoom))};
    }
    void drawLine(POINT from, POINT to)
    {
        Driver ui(*window);
        ASSERT_TRUE(ui.click("MeasureBtnLine"));
        ui.mouseMove(from);
        ui.mousePress(from);
        ui.mouseRelease(from);
        ui.mouseMove(to);
        ui.mousePress(to);
        ui.mouseRelease(to);
        Driver::processEvents();
    }
    // The colour the view draws at its centre, from a view snapshot.
    sf::Color centreColour()
    {
        const std::string path = home.root + "/view.png";
        const int served = view->snapshotsServed();
        view->requestSnapshot(path);
        EXPECT_TRUE(Driver::processEventsUntil([&] { return view->snapshotsServed() > served; }));
        sf::Image image;
        if (!image.loadFromFile(path))
            return sf::Color::Transparent;
        return image.getPixel(image.getSize().x / 2, image.getSize().y / 2);
    }
    // The difference between the darkest and the brightest pixel the view
    // draws over picture row 300 where x runs from 2000 to 2400.
    int stripeContrast()
    {
        const std::string path = home.root + "/view.png";
        const int served = view->snapshotsServed();
        view->requestSnapshot(path);
        EXPECT_TRUE(Driver::processEventsUntil([&] { return view->snapshotsServed() > served; }));
        sf::Image image;
        if (!image.loadFromFile(path))
            return -1;
        const ViewFit fit = view->currentFit();
        const unsigned y = unsigned(std::lround(fit.originY + 300 * fit.zoom));
        const int from = std::max(0, int(std::lround(fit.originX + 2000 * fit.zoom)));
        const int to = std::min(int(image.getSize().x), int(std::lround(fit.originX + 2400 * fit.zoom)));
        int low = 255, high = 0;
        for (int x = from; x < to && y < image.getSize().y; ++x) {
            low = std::min(low, int(image.getPixel(unsigned(x), y).r));
            high = std::max(high, int(image.getPixel(unsigned(x), y).r));
        }
        return high - low;
    }
    // Opens `path` as the command line and the menu do, and waits for the worker.
    void open(const std::string& path)
    {
        shell::PictureCommands& commands = *window->PictureCommandsPart();
        ASSERT_TRUE(commands.Open(path));
        ASSERT_TRUE(Driver::processEventsUntil([&] { return !commands.IsBusy(); }));
        Driver::processEvents();
    }
    std::string status() { return field("StatusBarLabelInfo"); }
    // The file named by the "Save to" line once it is written.
    std::string savedFile()
    {
        const std::string prefix = "Save to ";
        std::string path;
        Driver::processEventsUntil([&] {
            if (status().rfind(prefix, 0) != 0)
                return false;
            path = status().substr(prefix.size());
            return true;
        });
        return path;
    }
    float firstLength()
    {
        const MeasureData data = view->container().measureData(0);
        return data.lengths.empty() ? -1.0f : data.lengths[0];
    }

    shelltest::TempHome home;
    std::unique_ptr<shell::CMainWnd> window;
    CImageRenderUI* view = nullptr;
};

TEST_F(PictureWindowTest, StillPicturesReplaceTheLiveOneAndKeepTheirOwnMeasurements)
{
    PictureSource& pictures = *window->Pictures();
    EXPECT_EQ(field(PictureSource::kSourceField), "No camera");
    openCamera();
    EXPECT_EQ(field(PictureSource::kSourceField), "Live");
    drawLine(at(100, 100), at(300, 100));
    ASSERT_EQ(view->container().count(), 1);
    const float liveLength = firstLength();
    EXPECT_NEAR(liveLength, 200.0f, 3.0f);

    // A picture the program made starts without measurements and stays on
    // screen while the camera keeps streaming.
    const sf::Color magenta(255, 0, 255);
    ASSERT_TRUE(pictures.showStill(SourceKind::FocusStack, solidPicture(320, 240, magenta)));
    EXPECT_EQ(field(PictureSource::kSourceField), "Focus stack");
    EXPECT_EQ(view->container().count(), 0);
    const unsigned long frames = window->Session()->FramesDelivered();
    ASSERT_TRUE(Driver::processEventsUntil([&] { return window->Session()->FramesDelivered() > frames + 10; }));
    EXPECT_EQ(centreColour(), magenta);
    int width = 0, height = 0;
    view->pictureSize(width, height);
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 240);
    drawLine(at(10, 10), at(60, 10));
    ASSERT_EQ(view->container().count(), 1);
    EXPECT_NEAR(firstLength(), 50.0f, 2.0f);
    pictures.setModeText("Focus 812");
    EXPECT_EQ(field(PictureSource::kModeField), "Focus 812");

    // Live again: its own line, in live pixels, and the camera's picture.
    pictures.showLive();
    EXPECT_EQ(field(PictureSource::kSourceField), "Live");
    ASSERT_EQ(view->container().count(), 1);
    EXPECT_NEAR(firstLength(), liveLength, 0.01f);
    ASSERT_TRUE(Driver::processEventsUntil([&] { return centreColour() != magenta; }));
    view->pictureSize(width, height);
    EXPECT_EQ(width, 640);

    // A frozen frame starts with a copy of the live set; a change to it does
    // not reach the live set.
    ASSERT_TRUE(pictures.showStill(SourceKind::Frozen, solidPicture(640, 480, sf::Color::Blue)));
    EXPECT_EQ(field(PictureSource::kSourceField), "Frozen");
    ASSERT_EQ(view->container().count(), 1);
    EXPECT_NEAR(firstLength(), liveLength, 0.01f);
    view->container().clearAll(true);
    pictures.showLive();
    EXPECT_EQ(view->container().count(), 1);

    // A picture file is named by its file name and gets its set back when
    // it is shown again.
    auto file = solidPicture(100, 80, sf::Color::Yellow);
    file->path = home.root + "/slide.tif";
    ASSERT_TRUE(pictures.showStill(SourceKind::File, file));
    EXPECT_EQ(field(PictureSource::kSourceField), "slide.tif");
    EXPECT_EQ(view->container().count(), 0);
    drawLine(at(10, 10), at(10, 50));
    ASSERT_EQ(view->container().count(), 1);
    pictures.showLive();
    ASSERT_TRUE(pictures.showStill(SourceKind::File, file));
    ASSERT_EQ(view->container().count(), 1);
    EXPECT_NEAR(firstLength(), 40.0f, 2.0f);
    EXPECT_FALSE(pictures.showStill(SourceKind::File, std::make_shared<StillPicture>()));
    EXPECT_EQ(field(PictureSource::kSourceField), "slide.tif");
}

TEST_F(PictureWindowTest, PictureFilesOpenInTheirOwnScaleAndSaveWithIt)
{
    const std::string folder = home.root + "/pictures/";
    std::filesystem::create_directories(folder);
    shell::Config().ImagePath_MyDoc = 1;
    shell::Config().FileType = 0; // TIFF
    shell::Config().FileSave_Rule = 0;
    Driver ui(*window);

    // Grey, colour and alpha from OpenCV's writers, each checked on the view.
    cv::imwrite(folder + "grey.png", cv::Mat(120, 160, CV_8UC1, cv::Scalar(90)));
    cv::imwrite(folder + "colour.jpg", cv::Mat(480, 640, CV_8UC3, cv::Scalar(200, 30, 20))); // B, G, R
    cv::imwrite(folder + "alpha.png", cv::Mat(100, 100, CV_8UC4, cv::Scalar(0, 255, 0, 255)));
    open(folder + "grey.png");
    EXPECT_EQ(field(PictureSource::kSourceField), "grey.png");
    ASSERT_TRUE(ui.click("MainTabOptMeasure")) << "measuring a picture needs no camera";
    EXPECT_EQ(centreColour(), sf::Color(90, 90, 90));
    // Ctrl+O, through the file dialog.
    Driver::answerNextModal(Driver::ChooseFile(folder + "colour.jpg"));
    ASSERT_TRUE(ui.pressKey('O', KEYSTATE_CONTROL));
    ASSERT_TRUE(Driver::processEventsUntil([&] { return field(PictureSource::kSourceField) == "colour.jpg"; }));
    const sf::Color colour = centreColour();
    EXPECT_NEAR(colour.r, 20, 4);
    EXPECT_NEAR(colour.g, 30, 4);
    EXPECT_NEAR(colour.b, 200, 4);
    // The tool bar's open button, through the same dialog.
    Driver::answerNextModal(Driver::ChooseFile(folder + "alpha.png"));
    ASSERT_TRUE(ui.click("ToolbarBtnOpen"));
    ASSERT_TRUE(Driver::processEventsUntil([&] { return field(PictureSource::kSourceField) == "alpha.png"; }));
    EXPECT_EQ(centreColour(), sf::Color::Green);
    // Longer than any graphics driver's texture: drawn from a reduced copy,
    // measured in its own pixels. Black and white stripes two pixels wide
    // (x 2000 to 2400) are grey in that copy; zoomed in, the view draws them
    // from the full picture.
    cv::Mat wide(600, 17000, CV_8UC1, cv::Scalar(200));
    for (int x = 2000; x < 2400; ++x)
        wide.col(x).setTo(cv::Scalar((x / 2) % 2 ? 255 : 0));
    cv::imwrite(folder + "wide.png", wide);
    open(folder + "wide.png");
    EXPECT_EQ(centreColour(), sf::Color(200, 200, 200));
    int wideWidth = 0, wideHeight = 0;
    view->pictureSize(wideWidth, wideHeight);
    EXPECT_EQ(wideWidth, 17000);
    EXPECT_EQ(wideHeight, 600);
    EXPECT_LT(stripeContrast(), 100);
    ASSERT_TRUE(ui.mouseMove(at(2200, 300)));
    ASSERT_TRUE(ui.pressKey('1', KEYSTATE_CONTROL));
    EXPECT_EQ(view->zoomPercent(), 100);
    EXPECT_TRUE(Driver::processEventsUntil([&] { return stripeContrast() > 200; }));
    ASSERT_TRUE(ui.pressKey('0', KEYSTATE_CONTROL));

    // A 16-bit ImageJ TIFF: its display range and its scale (4 pixels per micron).
    ASSERT_TRUE(writeTiff(folder + "imagej.tif", 400, 300, 1, 16, 2000,
                          "ImageJ=1.54f\nunit=micron\nmin=1000.0\nmax=3000.0\n", 4.0f, RESUNIT_NONE));
    open(folder + "imagej.tif");
    EXPECT_EQ(field(PictureSource::kSourceField), "imagej.tif");
    EXPECT_EQ(centreColour(), sf::Color(128, 128, 128));
    sf::String unit;
    EXPECT_NEAR(view->container().calibration(unit), 0.25f, 1e-6f);
    EXPECT_EQ(unit, sf::String(L"\u00B5m"));
    drawLine(at(100, 100), at(200, 100));
    ASSERT_EQ(view->container().count(), 1);
    EXPECT_NEAR(firstLength(), 25.0f, 0.6f);

    // Enter saves the picture shown, at its size and with its scale.
    ASSERT_TRUE(ui.pressKey(VK_RETURN));
    const std::string saved = savedFile();
    ASSERT_FALSE(saved.empty()) << status();
    TIFF* tiff = TIFFOpen(saved.c_str(), "r");
    ASSERT_NE(tiff, nullptr);
    uint32_t width = 0;
    float resolution = 0;
    char* description = nullptr;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &resolution);
    TIFFGetField(tiff, TIFFTAG_IMAGEDESCRIPTION, &description);
    EXPECT_EQ(width, 400u);
    EXPECT_FLOAT_EQ(resolution, 4.0f);
    EXPECT_NE(std::string(description ? description : "").find("unit=micron"), std::string::npos);
    TIFFClose(tiff);

    // 72 per inch says nothing: the calibration in force (pixels) returns.
    ASSERT_TRUE(writeTiff(folder + "editor.tif", 200, 100, 3, 8, 60, "", 72.0f, RESUNIT_INCH));
    Driver::answerNextModal(Driver::ClickControl("okbtn")); // the line was not saved: leave anyway
    open(folder + "editor.tif");
    EXPECT_EQ(field(PictureSource::kSourceField), "editor.tif");
    EXPECT_FLOAT_EQ(view->container().calibration(unit), 1.0f);
    EXPECT_EQ(unit, sf::String("px"));

    // Bad input: a clear message, and the picture and its measurements stay.
    drawLine(at(10, 10), at(50, 10));
    ASSERT_EQ(view->container().count(), 1);
    std::ofstream(folder + "empty.png").close();
    std::ofstream(folder + "notes.png") << "not a picture at all";
    std::vector<char> png;
    {
        std::ifstream in(folder + "grey.png", std::ios::binary);
        png.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::ofstream(folder + "cut.png", std::ios::binary).write(png.data(), std::streamsize(png.size() / 2));
    // A JPEG cut inside its picture data (the decoder would fill the rest in grey).
    cv::Mat noise(96, 128, CV_8UC3);
    cv::randu(noise, 0, 255);
    std::vector<uchar> jpeg;
    ASSERT_TRUE(cv::imencode(".jpg", noise, jpeg));
    std::ofstream(folder + "cut.jpg", std::ios::binary)
        .write(reinterpret_cast<const char*>(jpeg.data()), std::streamsize(jpeg.size() * 2 / 3));
    std::vector<char> huge = png;
    huge[16] = huge[17] = 0; // IHDR width 0x0000FFFF... and height: 65535 × 65535
    huge[18] = huge[19] = char(0xFF);
    huge[20] = huge[21] = 0;
    huge[22] = huge[23] = char(0xFF);
    std::ofstream(folder + "huge.png", std::ios::binary).write(huge.data(), std::streamsize(huge.size()));
    std::filesystem::create_directories(folder + "folder.png");
    const std::pair<const char*, const char*> bad[] = {
        {"missing.png", "The file does not exist"},
        {"empty.png", "The file is empty"},
        {"notes.png", "Not a JPEG, PNG, BMP or TIFF picture"},
        {"cut.png", "The picture is damaged or cut short"},
        {"cut.jpg", "The picture is damaged or cut short"},
        {"huge.png", "The picture is larger than 120 megapixels"},
        {"folder.png", "The file cannot be read"},
    };
    for (const auto& [name, message] : bad) {
        open(folder + name);
        EXPECT_EQ(status(), std::string(message) + ": " + folder + name);
        EXPECT_EQ(field(PictureSource::kSourceField), "editor.tif") << name;
        EXPECT_EQ(view->container().count(), 1) << name;
    }
    EXPECT_EQ(centreColour(), sf::Color(60, 60, 60));
}

TEST_F(PictureWindowTest, FreezingKeepsTheRecordingAndEnterSavesTheFrozenFrame)
{
    shell::Config().ImagePath_MyDoc = 1;
    shell::Config().FileType = 1; // PNG
    shell::Config().FileSave_Rule = 0;
    openCamera();
    Driver ui(*window);
    ASSERT_TRUE(ui.pressKey(VK_F9));
    ASSERT_TRUE(Driver::processEventsUntil([&] { return window->Session()->Pipeline().isRecording(); }));
    ASSERT_TRUE(ui.click("ToolbarBtnFreeze"));
    EXPECT_EQ(field(PictureSource::kSourceField), "Frozen");
    EXPECT_TRUE(view->isShowingStill());
    const int64_t written = window->Session()->Pipeline().recordingStats().framesWritten;
    ASSERT_TRUE(Driver::processEventsUntil(
        [&] { return window->Session()->Pipeline().recordingStats().framesWritten > written + 10; }));
    // The live snapshot is off while recording; the frozen frame saves.
    EXPECT_FALSE(window->PaintManager().FindControl("ToolbarBtnCapture")->IsEnabled());
    ASSERT_TRUE(ui.pressKey(VK_RETURN));
    const std::string saved = savedFile();
    ASSERT_FALSE(saved.empty()) << status();
    const cv::Mat frozen = cv::imread(saved, cv::IMREAD_UNCHANGED);
    EXPECT_EQ(frozen.cols, 640);
    EXPECT_EQ(frozen.rows, 480);
    EXPECT_TRUE(ui.findAs<COptionUI>("ToolbarBtnFreeze")->IsSelected());
    ASSERT_TRUE(ui.pressKey(0x75)); // F6
    EXPECT_EQ(field(PictureSource::kSourceField), "Live");
    EXPECT_FALSE(view->isShowingStill());
    EXPECT_FALSE(ui.findAs<COptionUI>("ToolbarBtnFreeze")->IsSelected());
    EXPECT_TRUE(window->Session()->Pipeline().isRecording());
    ASSERT_TRUE(ui.pressKey(VK_F9));
    EXPECT_TRUE(Driver::processEventsUntil([&] { return !window->Session()->Pipeline().isRecording(); }));
}

// Two stored calibrations, the first in force: 0.5 mm and 3 µm per pixel.
class CalibratedPictureWindowTest : public PictureWindowTest {
protected:
    void SetUp() override
    {
        const std::string data = home.root + "/Documents/Pellumo Files/data";
        std::filesystem::create_directories(data);
        std::ofstream(data + "/calibrations.ini") << "[data]\nA = 0.5\nB = 3\n[unit]\nA = 2\nB = 3\n";
        PictureWindowTest::SetUp();
    }
    float factor()
    {
        sf::String unit;
        return view->container().calibration(unit);
    }
    POINT viewCentre() const
    {
        const RECT pos = view->GetPos();
        return POINT{(pos.left + pos.right) / 2, (pos.top + pos.bottom) / 2};
    }
};

TEST_F(CalibratedPictureWindowTest, AFileMeasuresInItsOwnScaleOrTheCalibrationInForceAndSavesWithItsMeasurements)
{
    const std::string folder = home.root + "/pictures/";
    std::filesystem::create_directories(folder);
    shell::Config().ImagePath_MyDoc = 1;
    shell::Config().FileType = 0; // TIFF
    shell::Config().FileSave_Rule = 0;
    ASSERT_TRUE(writeTiff(folder + "imagej.tif", 400, 300, 1, 16, 2000,
                          "ImageJ=1.54f\nunit=micron\nmin=1000.0\nmax=3000.0\n", 4.0f, RESUNIT_NONE));
    ASSERT_TRUE(writeTiff(folder + "editor.tif", 200, 100, 3, 8, 60, "", 72.0f, RESUNIT_INCH));
    Driver ui(*window);
    EXPECT_FLOAT_EQ(factor(), 0.5f);

    // Dropped on the picture: measured in its own scale, which the unit
    // label names; one click uses the calibration in force, another the
    // file's scale again.
    ASSERT_TRUE(ui.dropFiles({folder + "imagej.tif"}, viewCentre()));
    ASSERT_TRUE(Driver::processEventsUntil([&] { return field(PictureSource::kSourceField) == "imagej.tif"; }));
    EXPECT_EQ(centreColour(), sf::Color(128, 128, 128));
    EXPECT_FLOAT_EQ(factor(), 0.25f);
    EXPECT_EQ(field("CaliDataListUnit"), "\u00B5m  (scale from the file)");
    ASSERT_TRUE(ui.click(PictureSource::kScaleButton));
    EXPECT_FLOAT_EQ(factor(), 0.5f);
    EXPECT_EQ(field("CaliDataListUnit"), "mm");
    ASSERT_TRUE(ui.click(PictureSource::kScaleButton));
    EXPECT_FLOAT_EQ(factor(), 0.25f);

    // A calibration picked meanwhile is the one in force when the file's
    // scale is left, not the one in force when the file was opened.
    ASSERT_TRUE(ui.click("MainTabOptMeasure"));
    ASSERT_TRUE(ui.selectComboIndex("ComboCaliDataList", 1));
    EXPECT_FLOAT_EQ(factor(), 3.0f);
    ASSERT_TRUE(ui.click(PictureSource::kScaleButton));
    EXPECT_FLOAT_EQ(factor(), 0.25f);
    open(folder + "editor.tif");
    EXPECT_FLOAT_EQ(factor(), 3.0f);
    EXPECT_EQ(field("CaliDataListUnit"), "um");
    EXPECT_FALSE(ui.isShown(PictureSource::kScaleButton));

    // Measured on the calibrated file, leaving asks first; Cancel stays.
    open(folder + "imagej.tif");
    drawLine(at(100, 100), at(300, 100));
    ASSERT_EQ(view->container().count(), 1);
    EXPECT_NEAR(firstLength(), 50.0f, 0.6f);
    Driver::answerNextModal(Driver::ClickControl("cancelbtn"));
    ASSERT_TRUE(ui.pressKey(0x75)); // F6
    EXPECT_EQ(field(PictureSource::kSourceField), "imagej.tif");

    // Saved with its measurements: the full-size picture with the line and
    // the scale bar drawn in, its scale kept, the results beside it.
    ASSERT_TRUE(ui.click("Btn_Title_Main_Menu"));
    Driver::processEvents();
    ASSERT_TRUE(Driver::pickMenuItem("Main_Menu_Item_Save_Measured"));
    const std::string saved = savedFile();
    ASSERT_FALSE(saved.empty()) << status();
    const cv::Mat picture = cv::imread(saved, cv::IMREAD_COLOR); // B, G, R
    ASSERT_EQ(picture.cols, 400);
    ASSERT_EQ(picture.rows, 300);
    EXPECT_EQ(picture.at<cv::Vec3b>(50, 50), cv::Vec3b(128, 128, 128));
    bool lineDrawn = false;
    for (int y = 98; y <= 102; ++y) {
        const cv::Vec3b pixel = picture.at<cv::Vec3b>(y, 200);
        lineDrawn = lineDrawn || (pixel[1] > 200 && pixel[0] < 100 && pixel[2] < 100);
    }
    EXPECT_TRUE(lineDrawn) << "the line's colour crosses x = 200 at y = 100";
    int barPixels = 0; // the scale bar, bottom right
    for (int y = 250; y < 300; ++y)
        for (int x = 200; x < 400; ++x)
            barPixels += picture.at<cv::Vec3b>(y, x) != cv::Vec3b(128, 128, 128);
    EXPECT_GT(barPixels, 100);
    TIFF* tiff = TIFFOpen(saved.c_str(), "r");
    ASSERT_NE(tiff, nullptr);
    float resolution = 0;
    TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &resolution);
    TIFFClose(tiff);
    EXPECT_FLOAT_EQ(resolution, 4.0f);
    std::ifstream csvFile(std::filesystem::path(saved).replace_extension(".csv"));
    const std::string csv((std::istreambuf_iterator<char>(csvFile)), std::istreambuf_iterator<char>());
    EXPECT_NE(csv.find("(Unit: \u00B5m)"), std::string::npos) << csv;
    // The line's row: ... "[x,y]",width,height,radius,area,perimeter,length,...
    std::istringstream row(csv.substr(csv.rfind('"') + 2));
    std::string cell;
    for (int i = 0; i < 6; ++i)
        std::getline(row, cell, ',');
    EXPECT_NEAR(std::atof(cell.c_str()), 50.0, 0.6) << csv;

    // Saved, it is left without a question.
    const int modals = Driver::modalCount();
    ASSERT_TRUE(ui.pressKey(0x75));
    EXPECT_EQ(field(PictureSource::kSourceField), "No camera");
    EXPECT_EQ(Driver::modalCount(), modals);

    // A name chosen in the save dialog replaces the file there.
    shell::Config().FileSave_Rule = 1;
    std::ofstream(folder + "over.png") << "an older file";
    open(folder + "editor.tif");
    Driver::answerNextModal(Driver::ChooseFile(folder + "over.png"));
    ASSERT_TRUE(ui.pressKey(VK_RETURN));
    EXPECT_EQ(savedFile(), folder + "over.png");
    EXPECT_EQ(cv::imread(folder + "over.png").cols, 200);
    EXPECT_FALSE(std::filesystem::exists(folder + "over-1.png"));
}

// The emulated LarkA model (a video camera) opened instead of the USB3
// camera: it takes stills at 1600 x 1200 up to 2736 x 1824 beside its preview. In force: a calibration
// of 0.5 mm per pixel made at the preview size, 1600 x 1200.
class StillCameraWindowTest : public PictureWindowTest {
protected:
    void SetUp() override
    {
        ::setenv("LENSBRIDGE_EMULATE_VIDEO_MODELS", "eba1:7585", 1);
        const std::string data = home.root + "/Documents/Pellumo Files/data";
        std::filesystem::create_directories(data);
        std::ofstream(data + "/calibrations.ini") << "[data]\nA = 0.5\n[unit]\nA = 2\n[size]\nA = 1600x1200\n";
        PictureWindowTest::SetUp();
        if (HasFatalFailure())
            return;
        shell::CameraSession& session = *window->Session();
        int group = -1;
        ASSERT_TRUE(Driver::processEventsUntil([&] {
            for (size_t g = 0; g < session.Devices().size(); ++g)
                if (!session.Devices()[g].devices.empty() &&
                    std::string(session.Devices()[g].devices[0].name).find("LarkA") != std::string::npos)
                    group = int(g);
            return group >= 0;
        }));
        ASSERT_EQ(session.OpenLocal(group, 0), shell::kSessionOpened);
        ASSERT_TRUE(Driver::processEventsUntil(
            [&] { return session.Camera() && session.FramesDelivered() > 3 && view->passesDrawn() > 3; }));
        Driver ui(*window);
        ASSERT_TRUE(Driver::processEventsUntil([&] { return ui.find("MainTabOptMeasure")->IsEnabled(); }));
        ASSERT_TRUE(ui.click("MainTabOptMeasure"));
    }
};

TEST_F(StillCameraWindowTest, FreezingTakesAStillAtTheStillSizeThatMeasuresLikeTheLivePicture)
{
    shell::CameraSession& session = *window->Session();
    std::vector<_tag_CMSIZE> sizes;
    ASSERT_EQ(session.Camera()->GetSupportedPreviewSizes(&sizes), CM_OK);
    const auto preview = std::find_if(sizes.begin(), sizes.end(), [](auto s) { return s.width == 1600; });
    ASSERT_NE(preview, sizes.end());
    ASSERT_TRUE(session.SetPreviewSizeIndex(int(preview - sizes.begin())));
    int width = 0, height = 0;
    ASSERT_TRUE(Driver::processEventsUntil([&] {
        view->pictureSize(width, height);
        return width == 1600 && height == 1200;
    }));
    ASSERT_EQ(session.Camera()->SetStillCaptureSize(2304, 1728), CM_OK); // the same field, 1.44 times the size
    ASSERT_TRUE(Driver::processEventsUntil([&] { return session.Camera() && session.FramesDelivered() > 3; }));
    drawLine(at(100, 100), at(400, 100));
    ASSERT_EQ(view->container().count(), 1);
    const MeasureData live = view->container().measureData(0);
    const float liveLength = firstLength();
    EXPECT_NEAR(liveLength, 150.0f, 2.0f); // 300 pixels of 0.5 mm

    // Frozen: the still, the line on the same spot of it, the same length.
    Driver ui(*window);
    ASSERT_TRUE(ui.pressKey(0x75)); // F6
    ASSERT_TRUE(Driver::processEventsUntil([&] { return field(PictureSource::kSourceField) == "Frozen"; }));
    view->pictureSize(width, height);
    EXPECT_EQ(width, 2304);
    EXPECT_EQ(height, 1728);
    ASSERT_EQ(view->container().count(), 1);
    EXPECT_NEAR(view->container().measureData(0).startX, live.startX * 1.44f, 1.0f);
    EXPECT_NEAR(view->container().measureData(0).endX, live.endX * 1.44f, 1.0f);
    EXPECT_NEAR(firstLength(), liveLength, 0.5f);
    const unsigned long frames = session.FramesDelivered();
    EXPECT_TRUE(Driver::processEventsUntil([&] { return session.FramesDelivered() > frames + 5; }))
        << "the camera streams on behind the still";
    ASSERT_TRUE(ui.pressKey(0x75));
    EXPECT_EQ(field(PictureSource::kSourceField), "Live");
    view->pictureSize(width, height);
    EXPECT_EQ(width, 1600);
    EXPECT_NEAR(view->container().measureData(0).startX, live.startX, 0.01f);
    EXPECT_NEAR(firstLength(), liveLength, 0.01f);
}

// The same camera taking the still trigger and sending no still.
class LostStillCameraWindowTest : public StillCameraWindowTest {
protected:
    void SetUp() override
    {
        ::setenv("LENSBRIDGE_EMULATE_VIDEO_FAULTS", "still_lost", 1);
        StillCameraWindowTest::SetUp();
    }
    void TearDown() override
    {
        StillCameraWindowTest::TearDown();
        ::unsetenv("LENSBRIDGE_EMULATE_VIDEO_FAULTS");
    }
};

// The window answers while a freeze waits for the still, a second freeze is
// refused meanwhile, and the preview frame is frozen once the camera gave
// up. The window then closes with another still on its way.
TEST_F(LostStillCameraWindowTest, AFreezeWaitsForTheStillOffTheWindowAndFreezesThePreviewWithoutIt)
{
    shell::PictureCommands& commands = *window->PictureCommandsPart();
    int liveWidth = 0, height = 0;
    view->pictureSize(liveWidth, height);
    Driver ui(*window);
    ASSERT_TRUE(ui.pressKey(0x75)); // F6
    EXPECT_TRUE(commands.IsFreezing());
    EXPECT_EQ(field(PictureSource::kSourceField), "Live") << "the window waited for the still";
    EXPECT_TRUE(ui.findAs<COptionUI>("ToolbarBtnFreeze")->IsSelected());
    ASSERT_TRUE(ui.pressKey(0x75));
    EXPECT_EQ(status(), "Still waiting for the camera's picture to freeze");
    EXPECT_TRUE(Driver::processEventsUntil([&] { return field(PictureSource::kSourceField) == "Frozen"; }, 20000));
    EXPECT_EQ(status(), "The camera gave no still picture: the preview picture is frozen");
    int width = 0;
    view->pictureSize(width, height);
    EXPECT_EQ(width, liveWidth);
    EXPECT_FALSE(commands.IsFreezing());
    ASSERT_TRUE(ui.pressKey(0x75));
    EXPECT_EQ(field(PictureSource::kSourceField), "Live");
    ASSERT_TRUE(ui.pressKey(0x75));
    EXPECT_TRUE(commands.IsFreezing());
}

TEST(PictureCommandLineTest, QtOptionsAndTheirValuesAreNoFile)
{
    const char* args[] = {"Pellumo",        "-platform", "offscreen", "--demo",
                          "-qmljsdebugger", "slide.tif", "-display",  ":5"};
    const shell::CommandLine line = shell::ParseCommandLine(8, const_cast<char**>(args));
    EXPECT_EQ(line.file, "slide.tif");
    EXPECT_TRUE(line.demo);
    EXPECT_TRUE(line.error.empty());
    const char* two[] = {"Pellumo", "a.tif", "b.tif"};
    EXPECT_EQ(shell::ParseCommandLine(3, const_cast<char**>(two)).error, "b.tif");
}

} // namespace
