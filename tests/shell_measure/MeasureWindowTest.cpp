// Measuring in the real main window on an emulated USB3 camera whose picture
// is a stage micrometer with a tick every 10 image pixels: calibrating on it,
// measuring with the tools, the results list, CSV export, the colour dialog,
// delete-all, the paired-circles menu, the chosen calibration across a
// restart and the scale bar in a view snapshot. The process runs in a
// decimal-comma locale.
#include "ShellTestFolders.h"

#include "app/measure/CalibrationStore.h"
#include "app/measure/SFPrimitiveContainer.h"
#include "app/measure/ScaleBar.h"
#include "app/shell/AppConfig.h"
#include "app/shell/MainWnd.h"
#include "app/shell/Startup.h"
#include "app/shell/measure_page/NumberFormat.h"
#include "app/shell/session/CameraListPanel.h"
#include "app/shell/session/CameraSession.h"
#include "app/view/ImageRenderUI.h"
#include "tests/shell_session/MainWindowHarness.h"
#include "ui/Controls.h"
#include "ui/List.h"
#include "ui/Menu.h"
#include "ui/ResourceManager.h"
#include "ui/testing/UiDriver.h"

#include <SFML/Graphics/Image.hpp>
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

using shell::CMainWnd;
using shell::Config;
using ui::testing::Driver;

namespace {

// Qt takes the process locale from the environment when the test application
// starts, after this.
const bool commaLocale = (::setenv("LC_ALL", "ru_RU.UTF-8", 1), true);

} // namespace

PELLUMO_UI_TEST_APPLICATION();

namespace {

constexpr float kTickRow = 730.0f - 60.0f; // image rows near the scale, inside any region of interest

class MeasureWindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        ::setenv("SENSORLINK_EMULATE", "1", 1);
        ::setenv("SENSORLINK_EMULATE_FPS", "30", 1);
        ASSERT_TRUE(shell::RegisterSkin());
        Config().SetDefaults();
        ASSERT_TRUE(Config().Load());
        openWindow();
    }
    void TearDown() override
    {
        Driver::clearAnswers();
        closeWindow();
        CResourceManager::GetInstance()->Release();
        ::unsetenv("SENSORLINK_EMULATE");
        ::unsetenv("SENSORLINK_EMULATE_FPS");
    }
    void openWindow()
    {
        Config().MaximizeWindow = 0;
        Config().Language = 0;
        Config().ExitPrompt = 1;
        window = std::make_unique<CMainWnd>();
        ASSERT_NE(window->Create(nullptr, "Pellumo", UI_WNDSTYLE_FRAME, 0), nullptr);
        window->ShowWindow(true);
        Driver::processEvents();
        view = dynamic_cast<CImageRenderUI*>(window->PaintManager().FindControl("ImageRenderView"));
        ASSERT_NE(view, nullptr);
    }
    void closeWindow()
    {
        if (window && window->IsWindow())
            window->DestroyWindow();
        window.reset();
        view = nullptr;
        Driver::processEvents();
    }
    // The first emulated USB3 camera, showing frames.
    void openCamera() { shelltest::OpenUsbCameraOnMeasurePage(*window, *view); }
    SFPrimitiveContainer& container() { return view->container(); }
    // The window point that shows image pixel (x, y).
    POINT at(float x, float y) const
    {
        const ViewFit fit = view->currentFit();
        const RECT pos = view->GetPos();
        return POINT{pos.left + int(std::lround(fit.originX + x * fit.zoom)),
                     pos.top + int(std::lround(fit.originY + y * fit.zoom))};
    }
    POINT viewToWindow(sf::Vector2f v) const
    {
        const RECT pos = view->GetPos();
        return POINT{pos.left + int(std::lround(v.x)), pos.top + int(std::lround(v.y))};
    }
    // Hover, press, release: one click of the operator.
    void click(POINT p)
    {
        Driver ui(*window);
        ui.mouseMove(p);
        ui.mousePress(p);
        ui.mouseRelease(p);
        Driver::processEvents();
    }
    void drag(POINT from, POINT to)
    {
        Driver ui(*window);
        ui.mouseMove(from);
        ui.mousePress(from);
        ui.mouseMove(POINT{(from.x + to.x) / 2, (from.y + to.y) / 2});
        ui.mouseMove(to);
        ui.mouseRelease(to);
        Driver::processEvents();
    }
    void park() { Driver(*window).mouseMove(at(-400, -400)); }
    // A calibration named `name`: the calibration line laid over 100 ticks
    // (1000 image pixels) and `physical` typed as its real length.
    void calibrate(const std::string& name, const std::string& physical, int unit)
    {
        Driver ui(*window);
        ASSERT_TRUE(ui.click("MeasureBtnCaliEdit"));
        Driver::processEvents();
        sf::VertexArray line;
        container().withPrimitive(0, [&](const SFPrimitiveBase& p) { line = p.shapeVertices(); });
        ASSERT_GE(line.getVertexCount(), 2u);
        drag(viewToWindow(line[1].position), at(1100, kTickRow));
        drag(viewToWindow(line[0].position), at(100, kTickRow));
        ASSERT_TRUE(ui.selectComboIndex("ComboCaliPhyLenUnit", unit));
        ASSERT_TRUE(ui.clearText("CaliEdtName"));
        ASSERT_TRUE(ui.typeText("CaliEdtName", name));
        ASSERT_TRUE(ui.clearText("CaliEdtPhyLen"));
        ASSERT_TRUE(ui.typeText("CaliEdtPhyLen", physical));
    }
    std::string text(const char* name) { return Driver(*window).find(name)->GetText(); }
    // Closes the window, saves the settings as the program does at exit, and
    // starts again from scratch: resources, settings, window.
    void restart()
    {
        closeWindow();
        ASSERT_TRUE(Config().Save());
        CResourceManager::GetInstance()->Release();
        ASSERT_TRUE(shell::RegisterSkin());
        Config().SetDefaults();
        ASSERT_TRUE(Config().Load());
        openWindow();
    }
    float factorInForce()
    {
        sf::String unit;
        return container().calibration(unit);
    }
    // Clicks a calibration page button that opens a file dialog answered
    // with `path`; returns the text of the message box it shows ("" if none).
    std::string withFile(const char* button, const std::string& path)
    {
        Driver ui(*window);
        Driver::answerNextModal(Driver::ChooseFile(path));
        std::string message;
        Driver::ModalAnswer box = Driver::ClickControl("okbtn");
        box.inspect = [&](CWindowWnd&, CPaintManagerUI& pm) { message = pm.FindControl("Tex_Message")->GetText(); };
        Driver::answerNextModal(box);
        EXPECT_TRUE(ui.click(button));
        Driver::processEvents();
        Driver::clearAnswers();
        return message;
    }
    // The question the close button asks (answered with Cancel), asked as
    // when the user has not turned it off.
    std::string exitQuestion()
    {
        Config().ExitPrompt = 0;
        std::string question;
        Driver::ModalAnswer answer = Driver::ClickControl("cancelbtn");
        answer.inspect = [&](CWindowWnd&, CPaintManagerUI& pm) { question = pm.FindControl("Tex_Message")->GetText(); };
        Driver::answerNextModal(answer);
        EXPECT_TRUE(Driver(*window).click("closebtn"));
        Driver::processEventsUntil([] { return Driver::pendingAnswers() == 0; });
        Driver::processEvents();
        Config().ExitPrompt = 1;
        EXPECT_TRUE(window->IsWindow()) << "Cancel keeps the window open";
        return question;
    }
    void deleteCalibrationRow(int row)
    {
        Driver ui(*window);
        ASSERT_TRUE(ui.selectListRow("CaliDataList", row));
        Driver::answerNextModal(Driver::ClickControl("okbtn"));
        ASSERT_TRUE(ui.click("CaliBtnDel"));
        Driver::processEvents();
    }

    shelltest::TempHome home;
    std::unique_ptr<CMainWnd> window;
    CImageRenderUI* view = nullptr;
};

// Splits one CSV line, keeping quoted fields whole.
std::vector<std::string> csvFields(const std::string& line)
{
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (char c : line) {
        if (c == '"')
            quoted = !quoted;
        else if (c == ',' && !quoted)
            fields.emplace_back();
        else
            fields.back() += c;
    }
    return fields;
}

float number(const std::string& text) { return std::strtof(text.c_str(), nullptr); }

// "[x,y]" of the CSV as the list shows a point.
std::string asListPoint(const std::string& csv)
{
    const size_t comma = csv.find(',');
    return shell::FormatPoint(number(csv.substr(1, comma - 1)), number(csv.substr(comma + 1)));
}

std::vector<std::string> readLines(const std::string& path)
{
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    return lines;
}

} // namespace

TEST_F(MeasureWindowTest, OperatorCalibratesMeasuresExportsAndFindsTheCalibrationAfterARestart)
{
    // Qt took the comma locale from the environment; numbers keep their point.
    ASSERT_NE(std::string(std::setlocale(LC_MONETARY, nullptr)).find("ru_RU"), std::string::npos);
    openCamera();
    Driver ui(*window);

    // The calibration page: a line over 100 ticks, "0,5" mm typed with a comma.
    calibrate("Obj 40x", "0,5", 2);
    EXPECT_TRUE(ui.isShown("PageMeasureCalibration"));
    EXPECT_FALSE(ui.isShown("PageMeasureNormal"));
    EXPECT_FALSE(ui.find("MainTabOptCamera")->IsEnabled());
    const float pixels = number(text("CaliEdtPixLen"));
    EXPECT_NEAR(pixels, 1000, 10) << text("CaliEdtPixLen");
    EXPECT_EQ(text("CaliEdtPixLen"), shell::FormatFixed(pixels, 2));
    EXPECT_EQ(text("CaliEdtCaliData"), shell::FormatFixed(0.5f / pixels, 6));
    EXPECT_EQ(text("CaliEdtCaliUnit"), "mm/px");
    ASSERT_TRUE(ui.click("CaliBtnNew"));
    Driver::processEvents();
    EXPECT_EQ(text("CaliEdtName"), "");
    EXPECT_EQ(text("CaliEdtPhyLen"), "");

    // Names the file cannot keep and names longer than the record are refused.
    const int boxes = Driver::modalCount();
    std::string refusal;
    for (const std::string& bad : {std::string("a=b"), std::string(" lead"), std::string(64, 'x')}) {
        ASSERT_TRUE(ui.typeText("CaliEdtName", bad));
        ASSERT_TRUE(ui.clearText("CaliEdtPhyLen"));
        ASSERT_TRUE(ui.typeText("CaliEdtPhyLen", "1"));
        Driver::ModalAnswer answer = Driver::ClickControl("okbtn");
        answer.inspect = [&](CWindowWnd&, CPaintManagerUI& pm) { refusal = pm.FindControl("Tex_Message")->GetText(); };
        Driver::answerNextModal(answer);
        ASSERT_TRUE(ui.click("CaliBtnNew"));
        Driver::processEvents();
        EXPECT_EQ(refusal, "Input error, please check.") << bad;
        ASSERT_TRUE(ui.clearText("CaliEdtName"));
    }
    EXPECT_EQ(Driver::modalCount(), boxes + 3);

    // A second calibration on the same line; it sorts before the first.
    ASSERT_TRUE(ui.typeText("CaliEdtName", "Obj 10x"));
    ASSERT_TRUE(ui.clearText("CaliEdtPhyLen"));
    ASSERT_TRUE(ui.typeText("CaliEdtPhyLen", "2"));
    ASSERT_TRUE(ui.click("CaliBtnNew"));
    Driver::processEvents();
    EXPECT_EQ(ui.listCellText("CaliDataList", 0, 0), "0");
    EXPECT_EQ(ui.listCellText("CaliDataList", 0, 1), "Obj 10x");
    EXPECT_EQ(ui.listCellText("CaliDataList", 1, 1), "Obj 40x");
    EXPECT_EQ(ui.listCellText("CaliDataList", 1, 3), "mm");
    ASSERT_TRUE(ui.click("CaliBtnBack"));
    Driver::processEvents();
    EXPECT_TRUE(ui.isShown("PageMeasureNormal"));
    EXPECT_TRUE(ui.find("MainTabOptCamera")->IsEnabled());
    const std::string stored = home.root + "/Documents/Pellumo Files/data/calibrations.ini";
    EXPECT_TRUE(std::filesystem::exists(stored));

    // Backed up, a third calibration added to the copy, restored: leaving the
    // page (nothing else changed) saves the restored list.
    const std::string backup = home.root + "/backup.ini";
    ASSERT_TRUE(ui.click("MeasureBtnCaliEdit"));
    Driver::answerNextModal(Driver::ChooseFile(backup));
    ASSERT_TRUE(ui.click("CaliBtnBackup"));
    Driver::processEvents();
    std::string copy;
    for (const std::string& line : readLines(backup)) {
        copy += line + "\n";
        if (line == "[data]")
            copy += "Obj 60x = 0.000500\n";
        if (line == "[unit]")
            copy += "Obj 60x = 2\n";
    }
    std::ofstream(backup, std::ios::trunc) << copy;
    Driver::answerNextModal(Driver::ChooseFile(backup));
    ASSERT_TRUE(ui.click("CaliBtnRecover"));
    Driver::processEvents();
    EXPECT_EQ(ui.listCellText("CaliDataList", 2, 1), "Obj 60x");
    ASSERT_TRUE(ui.click("CaliBtnBack"));
    Driver::processEvents();
    std::ifstream storedFile(stored);
    EXPECT_NE(std::string(std::istreambuf_iterator<char>(storedFile), {}).find("Obj 60x"), std::string::npos);

    // Measuring 50 ticks (500 image pixels) with "Obj 40x": 0.25 mm.
    auto* combo = ui.findAs<CComboUI>("ComboCaliDataList");
    ASSERT_EQ(combo->GetCount(), 3);
    ASSERT_TRUE(ui.selectComboIndex("ComboCaliDataList", 1));
    Driver::processEvents();
    EXPECT_EQ(text("CaliDataListUnit"), "mm");
    ASSERT_TRUE(ui.click("MeasureBtnLine"));
    click(at(200, kTickRow + 40));
    click(at(700, kTickRow + 40));
    park();
    ASSERT_TRUE(ui.click("MeasureBtnRect"));
    click(at(300, kTickRow - 200));
    click(at(500, kTickRow - 100));
    park();
    Driver::processEvents();
    ASSERT_EQ(container().count(), 2);
    const MeasureData line = container().measureData(0);
    ASSERT_EQ(line.lengths.size(), 1u);
    EXPECT_NEAR(line.lengths[0], 0.25f, 0.0025f);
    std::string label;
    container().withPrimitive(0, [&](const SFPrimitiveBase& p) { label = p.labelText(); });
    EXPECT_EQ(label, "L: " + shell::FormatFixed(line.lengths[0], 2) + " mm");

    // The results list: one row per measurement in the list's formats.
    auto* list = ui.findAs<CListUI>("MeasureDataList");
    ASSERT_EQ(list->GetCount(), 2);
    EXPECT_EQ(ui.listCellText("MeasureDataList", 0, 0), "0");
    EXPECT_EQ(ui.listCellText("MeasureDataList", 0, 2), shell::FormatPoint(line.startX, line.startY));
    EXPECT_EQ(ui.listCellText("MeasureDataList", 0, 9), shell::FormatFixed(line.lengths[0], 2));
    const MeasureData rect = container().measureData(1);
    EXPECT_NEAR(rect.width, 0.1f, 0.002f);
    EXPECT_EQ(ui.listCellText("MeasureDataList", 1, 4), shell::FormatFixed(rect.width, 2));
    EXPECT_EQ(ui.listCellText("MeasureDataList", 1, 7), shell::FormatFixed(rect.area, 4));
    EXPECT_EQ(ui.listCellText("MeasureDataList", 1, 9), "");

    // Closing now would lose them, and the question says so; once they are
    // exported it is the plain question again.
    const std::string losing = CResourceManager::GetInstance()->GetTextOrId("STR_SURE_TO_EXIT_LOSING_MEASUREMENTS");
    const std::string plain = CResourceManager::GetInstance()->GetTextOrId("STR_SURE_TO_EXIT");
    EXPECT_EQ(exitQuestion(), losing);

    // CSV: the same values as the list rows, in its own columns and formats.
    const std::string csv = home.root + "/results.csv";
    Driver::answerNextModal(Driver::ChooseFile(csv));
    ASSERT_TRUE(ui.click("MeasureBtnCSV"));
    Driver::processEvents();
    EXPECT_EQ(exitQuestion(), plain);
    const std::vector<std::string> lines = readLines(csv);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "Measurement data list (Unit: mm)");
    const std::vector<std::string> header = csvFields(lines[1]);
    ASSERT_EQ(header.size(), 13u);
    EXPECT_EQ(header[10], "Length1");
    for (int row = 0; row < 2; ++row) {
        const std::vector<std::string> f = csvFields(lines[size_t(row) + 2]);
        ASSERT_EQ(f.size(), 14u) << lines[size_t(row) + 2];
        EXPECT_EQ(f[0], ui.listCellText("MeasureDataList", row, 0));
        EXPECT_EQ(f[1], row == 0 ? "Line" : "Rectangle");
        for (int point = 0; point < 3; ++point)
            EXPECT_EQ(asListPoint(f[size_t(point) + 2]), ui.listCellText("MeasureDataList", row, point + 1));
        EXPECT_EQ(shell::FormatFixed(number(f[5]), 2), ui.listCellText("MeasureDataList", row, 4));
        EXPECT_EQ(shell::FormatFixed(number(f[8]), 4), ui.listCellText("MeasureDataList", row, 7));
        EXPECT_EQ(shell::FormatFixed(number(f[11]), 2), ui.listCellText("MeasureDataList", row, 10));
        if (row == 0) {
            EXPECT_EQ(shell::FormatFixed(number(f[10]), 2), ui.listCellText("MeasureDataList", row, 9));
        }
    }
    // A folder nothing can be written into (the file dialog itself refuses
    // a folder that is not there): the export says it failed.
    Driver::answerNextModal(Driver::ChooseFile("/proc/results.csv"));
    ASSERT_TRUE(ui.click("MeasureBtnCSV"));
    Driver::processEvents();
    EXPECT_EQ(text("StatusBarLabelInfo"), "Failed to export the results");

    // "Obj 10x" chosen survives a restart under its name.
    ASSERT_TRUE(ui.selectComboIndex("ComboCaliDataList", 0));
    Driver::processEvents();
    EXPECT_EQ(Config().curCaliData, 0);
    restart();
    Driver again(*window);
    EXPECT_EQ(again.find("ComboCaliDataList")->GetText(), "Obj 10x");
    EXPECT_EQ(again.find("CaliDataListUnit")->GetText(), "mm");
}

TEST_F(MeasureWindowTest, ColourCancelRevertsDeleteAllAsksAndTheTwoCirclesMenuPicksTheVariant)
{
    openCamera();
    Driver ui(*window);
    ASSERT_TRUE(ui.click("MeasureBtnLine"));
    click(at(200, 200));
    click(at(400, 200));
    park();
    click(at(200, 400));
    click(at(400, 400));
    park();
    ASSERT_EQ(container().count(), 2);
    // Every choice reads on its box: the colour's name in that colour,
    // lightened where it would not stand out from the box's dark grey.
    auto luminance = [](DWORD argb) {
        auto channel = [](DWORD v) {
            const double c = (v & 0xFF) / 255.0;
            return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(argb >> 16) + 0.7152 * channel(argb >> 8) + 0.0722 * channel(argb);
    };
    auto checkReadable = [&](Driver& dialog) {
        auto* combo = dialog.findAs<CComboUI>("combo_dimension_color");
        const int chosen = combo->GetCurSel();
        for (int entry = 0; entry < combo->GetCount(); ++entry) {
            dialog.selectComboIndex("combo_dimension_color", entry);
            const double text = luminance(combo->GetTextColor()), box = luminance(combo->GetBkColor());
            EXPECT_GE((std::max(text, box) + 0.05) / (std::min(text, box) + 0.05), 4.5) << combo->GetText();
            const DWORD c = combo->GetTextColor();
            if (combo->GetText() == "Blue") {
                EXPECT_TRUE((c & 0xFF) > (c >> 8 & 0xFF) && (c & 0xFF) > (c >> 16 & 0xFF)) << std::hex << c;
            }
            if (combo->GetText() == "Red") {
                EXPECT_TRUE((c >> 16 & 0xFF) > (c >> 8 & 0xFF) && (c >> 16 & 0xFF) > (c & 0xFF)) << std::hex << c;
            }
        }
        dialog.selectComboIndex("combo_dimension_color", chosen);
    };
    auto lineColour = [&](int index) {
        sf::Color colour;
        container().withPrimitive(index, [&](const SFPrimitiveBase& p) { colour = p.currentLineColor(); });
        return colour;
    };

    // Applied to all, then cancelled: only the selected line and new ones revert.
    Driver::ModalAnswer answer = Driver::ClickControl("cancelbtn");
    answer.inspect = [&](CWindowWnd&, CPaintManagerUI& pm) {
        Driver dialog(pm);
        EXPECT_EQ(dialog.findAs<CComboUI>("combo_line_color")->GetCurSel(), 2); // green
        checkReadable(dialog);
        dialog.click("checkbox_applyall");
        dialog.selectComboIndex("combo_line_color", 4); // yellow
        Driver::processEvents();
        EXPECT_EQ(container().lineColor(), sf::Color::Yellow);
        dialog.selectComboIndex("combo_text_color", 0); // black blocks every update
        dialog.selectComboIndex("combo_line_color", 7);
        Driver::processEvents();
        EXPECT_EQ(container().lineColor(), sf::Color::Yellow);
    };
    Driver::answerNextModal(answer);
    ASSERT_TRUE(ui.click("MeasureBtnColorPicker"));
    Driver::processEvents();
    EXPECT_EQ(Driver::pendingAnswers(), 0);
    EXPECT_EQ(container().lineColor(), sf::Color::Green);
    EXPECT_EQ(lineColour(0), sf::Color::Yellow);
    EXPECT_EQ(lineColour(1), sf::Color::Green); // the selected one

    // Delete-all asks first; cancelling keeps everything, an empty list asks nothing.
    Driver::answerNextModal(Driver::ClickControl("cancelbtn"));
    ASSERT_TRUE(ui.click("MeasureBtnDeleteAll"));
    Driver::processEvents();
    EXPECT_EQ(container().count(), 2);
    Driver::answerNextModal(Driver::ClickControl("okbtn"));
    ASSERT_TRUE(ui.click("MeasureBtnDeleteAll"));
    Driver::processEvents();
    EXPECT_EQ(container().count(), 0);
    EXPECT_EQ(ui.findAs<CListUI>("MeasureDataList")->GetCount(), 0);
    const int boxes = Driver::modalCount();
    ASSERT_TRUE(ui.click("MeasureBtnDeleteAll"));
    Driver::processEvents();
    EXPECT_EQ(Driver::modalCount(), boxes);

    // The paired-circles button starts with the three-point variant ticked.
    ASSERT_TRUE(ui.click("MeasureBtnTwoCircles"));
    ASSERT_TRUE(Driver::processEventsUntil([] { return Driver::openMenu() != nullptr; }));
    EXPECT_EQ(container().currentTool(), ToolTwoCircles3);
    EXPECT_TRUE(Driver::openMenu()->FindMenuItem("MTool_TwoCircles3")->GetChecked());
    EXPECT_FALSE(Driver::openMenu()->FindMenuItem("MTool_TwoCircles")->GetChecked());
    ASSERT_TRUE(Driver::pickMenuItem("MTool_TwoCircles"));
    Driver::processEvents();
    EXPECT_EQ(container().currentTool(), ToolTwoCircles);
    click(at(300, 300));
    click(at(350, 300));
    click(at(600, 300));
    click(at(640, 300));
    park();
    ASSERT_EQ(container().count(), 1);
    EXPECT_NEAR(container().measureData(0).distances.at(0), 300, 3);
}

TEST_F(MeasureWindowTest, ViewSnapshotCarriesTheScaleBar)
{
    openCamera();
    Driver ui(*window);
    ScaleBar::Choice choice;
    sf::FloatRect bar;
    ASSERT_TRUE(ScaleBar::place(1.0f, view->currentFit().zoom, "px", view->visiblePicture(), choice, bar));
    const unsigned barX = unsigned(bar.left + bar.width / 2);
    const unsigned barY = unsigned(bar.top + bar.height / 2);
    auto snapshot = [&](const std::string& path) {
        const int served = view->snapshotsServed();
        view->requestSnapshot(path);
        EXPECT_TRUE(Driver::processEventsUntil([&] { return view->snapshotsServed() > served; }));
        sf::Image image;
        EXPECT_TRUE(image.loadFromFile(path));
        return image;
    };
    EXPECT_NE(snapshot(home.root + "/without.png").getPixel(barX, barY), sf::Color::Green);
    ASSERT_TRUE(ui.click("MeasureChkScaleBar"));
    EXPECT_TRUE(view->isScaleBarShown());
    const sf::Image with = snapshot(home.root + "/with.png");
    EXPECT_EQ(with.getPixel(barX, barY), sf::Color::Green);
    EXPECT_EQ(with.getPixel(unsigned(bar.left + 2), barY), sf::Color::Green);

    // The next start shows it again.
    restart();
    EXPECT_TRUE(Driver(*window).findAs<COptionUI>("MeasureChkScaleBar")->IsSelected());
    EXPECT_TRUE(view->isScaleBarShown());
}

TEST_F(MeasureWindowTest, TheCalibrationInForceStaysRightThroughDeletingBackingUpRestoringAndRestarting)
{
    openCamera();
    Driver ui(*window);
    const std::string stored = home.root + "/Documents/Pellumo Files/data/calibrations.ini";
    auto storedText = [&] {
        std::ifstream file(stored);
        return std::string(std::istreambuf_iterator<char>(file), {});
    };
    for (const char* name : {"A", "B", "C", "D"}) {
        calibrate(name, std::to_string(name[0] - 'A' + 1), 2);
        ASSERT_TRUE(ui.click("CaliBtnNew"));
        Driver::processEvents();
        // Written at once, before the page is left.
        EXPECT_NE(storedText().find(std::string(name) + " = "), std::string::npos) << storedText();
        ASSERT_TRUE(ui.click("CaliBtnBack"));
    }
    ASSERT_TRUE(ui.selectComboIndex("ComboCaliDataList", 3)); // "D": 4 mm over 100 ticks
    Driver::processEvents();
    EXPECT_NEAR(factorInForce(), 0.004f, 0.00006f);

    // On a camera whose sizes are windows on its sensor, 50 ticks read the
    // same length at two preview sizes.
    auto measureLine = [&](float y) {
        EXPECT_TRUE(ui.click("MeasureBtnLine"));
        click(at(50, y));
        click(at(550, y));
        park();
        Driver::processEvents();
        return container().measureData(container().count() - 1).lengths.at(0);
    };
    EXPECT_NEAR(measureLine(kTickRow), 2.0f, 0.04f);
    container().clearAll(true);
    shell::CameraSession& session = *window->Session();
    ASSERT_TRUE(session.SetPreviewSizeIndex(0)); // 640 × 480
    ASSERT_TRUE(Driver::processEventsUntil([&] {
        int w = 0, h = 0;
        view->pictureSize(w, h);
        return w == 640;
    }));
    Driver::processEvents();
    const float length = measureLine(240);
    EXPECT_NEAR(length, 2.0f, 0.04f);
    EXPECT_EQ(text("CaliDataListUnit"), "mm");
    const std::string lengthInMm = ui.listCellText("MeasureDataList", 0, 9);
    EXPECT_EQ(lengthInMm, shell::FormatFixed(length, 2));

    // Files without one calibration are refused and change nothing.
    const std::string empty = home.root + "/empty.ini", binary = home.root + "/binary.ini",
                      other = home.root + "/other.ini";
    std::ofstream(empty).flush();
    std::string bytes;
    for (int i = 0; i < 2048; ++i)
        bytes.push_back(char((i * 131) & 0xFF));
    std::ofstream(binary, std::ios::binary) << bytes;
    std::ofstream(other) << "[General]\nGeometry = 1,2,3,4\n[Recent]\nFile1 = /tmp/a.png\n";
    ASSERT_TRUE(ui.click("MeasureBtnCaliEdit"));
    for (const std::string& path : {empty, binary, other}) {
        EXPECT_EQ(withFile("CaliBtnRecover", path), "Failed to open configuration file.") << path;
        EXPECT_EQ(ui.findAs<CListUI>("CaliDataList")->GetCount(), 4) << path;
    }

    // Deleting the calibration in force: pixels, said in the status bar; the
    // results list keeps its rows until the page is left, then shows pixels.
    deleteCalibrationRow(3);
    EXPECT_EQ(text("StatusBarLabelInfo"), "The calibration in use was deleted: lengths are in pixels now.");
    EXPECT_EQ(ui.listCellText("MeasureDataList", 0, 9), lengthInMm);
    ASSERT_TRUE(ui.click("CaliBtnBack"));
    Driver::processEvents();
    EXPECT_EQ(text("CaliDataListUnit"), "px");
    EXPECT_FLOAT_EQ(factorInForce(), 1.0f);
    EXPECT_NEAR(number(ui.listCellText("MeasureDataList", 0, 9)), 500, 5);

    // "B" chosen; "A" deleted and backed up before going back, then "C"
    // deleted and the window closed on the calibration page: after a restart
    // only "B" is left, and it is in force, not whatever took its index.
    ASSERT_TRUE(ui.selectComboIndex("ComboCaliDataList", 1));
    Driver::processEvents();
    const float factorB = factorInForce();
    EXPECT_NEAR(factorB, 0.002f, 0.00003f);
    ASSERT_TRUE(ui.click("MeasureBtnCaliEdit"));
    deleteCalibrationRow(0);
    EXPECT_EQ(withFile("CaliBtnBackup", home.root + "/backup.ini"), "");
    ASSERT_TRUE(ui.click("CaliBtnBack"));
    ASSERT_TRUE(ui.click("MeasureBtnCaliEdit"));
    deleteCalibrationRow(1);
    restart();
    Driver again(*window);
    EXPECT_EQ(again.findAs<CComboUI>("ComboCaliDataList")->GetCount(), 1);
    EXPECT_EQ(again.find("ComboCaliDataList")->GetText(), "B");
    EXPECT_FLOAT_EQ(factorInForce(), factorB);
    EXPECT_EQ(Config().curCaliName, "B");
}

TEST_F(MeasureWindowTest, ToolsSayWhatTheyNeedAndDeleteAndCtrlZActOnTheResults)
{
    openCamera();
    Driver ui(*window);
    ASSERT_TRUE(ui.click("MeasureBtnLine"));
    EXPECT_EQ(text("StatusBarLabelMode"), "Click two points");
    click(at(200, 200));
    click(at(400, 200));
    park();
    click(at(200, 400));
    click(at(400, 400));
    park();
    ASSERT_TRUE(ui.click("MeasureBtnPolygon"));
    EXPECT_EQ(text("StatusBarLabelMode"), "Click the points; right-click to finish");
    ASSERT_TRUE(ui.click("MeasureBtnNone"));
    EXPECT_EQ(text("StatusBarLabelMode"), "");
    ASSERT_EQ(container().count(), 2);

    // The row selected in the results list goes with Delete and comes back
    // with Ctrl+Z, in its place.
    auto* list = dynamic_cast<CListUI*>(ui.find("MeasureDataList"));
    ASSERT_NE(list, nullptr);
    list->SelectItem(0, false, false);
    ASSERT_TRUE(ui.pressKey(VK_DELETE));
    Driver::processEvents();
    ASSERT_EQ(container().count(), 1);
    EXPECT_EQ(list->GetCount(), 1);
    EXPECT_NEAR(container().measureData(0).startY, 400, 2);
    ASSERT_TRUE(ui.pressKey('Z', KEYSTATE_CONTROL));
    Driver::processEvents();
    ASSERT_EQ(container().count(), 2);
    EXPECT_EQ(list->GetCount(), 2);
    EXPECT_NEAR(container().measureData(0).startY, 200, 2);
    // Z alone is no undo.
    ASSERT_TRUE(ui.pressKey('Z'));
    Driver::processEvents();
    EXPECT_EQ(container().count(), 2);
}

// The measurements follow a picture size the user chooses, on a video camera
// whose sizes scale one field: the same aspect ratio scales them, another
// one asks whether to delete them. The program's own switch to the first
// size and back (the processor check's) and a reconnect leave them alone.
TEST_F(MeasureWindowTest, MeasurementsFollowTheSizeTheUserChoosesAndNothingElse)
{
    const std::string control = home.root + "/video-control";
    ::setenv("LENSBRIDGE_EMULATE_VIDEO", "1", 1);
    ::setenv("LENSBRIDGE_EMULATE_VIDEO_CONTROL", control.c_str(), 1);
    struct Unset {
        ~Unset()
        {
            ::unsetenv("LENSBRIDGE_EMULATE_VIDEO");
            ::unsetenv("LENSBRIDGE_EMULATE_VIDEO_CONTROL");
        }
    } unset;
    shell::CameraSession& session = *window->Session();
    window->PostMessage(platform::WM_DEVICECHANGE, 0x8000);
    auto videoGroup = [&] {
        for (size_t g = 0; g < session.Devices().size(); ++g)
            if (session.Devices()[g].type == VIDEO_DEVICE_GROUP_DIRECTSHOW && !session.Devices()[g].devices.empty())
                return int(g);
        return -1;
    };
    ASSERT_TRUE(Driver::processEventsUntil([&] { return videoGroup() >= 0; }, 30000));
    ASSERT_EQ(session.OpenLocal(videoGroup(), 0), shell::kSessionOpened);
    auto sizeIs = [&](int width, int height) {
        int w = 0, h = 0;
        view->pictureSize(w, h);
        return w == width && h == height;
    };
    ASSERT_TRUE(Driver::processEventsUntil(
        [&] { return session.Camera() && !session.IsOpening() && view->passesDrawn() > 3 && sizeIs(1920, 1080); },
        30000))
        << "camera " << (session.Camera() != nullptr) << " frames " << session.FramesDelivered() << " passes "
        << view->passesDrawn() << " lost " << session.IsLost() << " opening " << session.IsOpening() << " kind "
        << int(session.Source().kind) << " failure " << session.LastOpenFailure();
    Driver ui(*window);
    ASSERT_TRUE(Driver::processEventsUntil([&] { return ui.find("MainTabOptMeasure")->IsEnabled(); }));
    ASSERT_TRUE(ui.click("MainTabOptMeasure"));
    ASSERT_TRUE(ui.click("MeasureBtnLine"));
    click(at(480, 270));
    click(at(960, 540));
    park();
    ASSERT_EQ(container().count(), 1);
    auto lineIsAt = [&](float x0, float y0, float x1, float y1) {
        const MeasureData line = container().measureData(0);
        return std::fabs(line.startX - x0) < 3 && std::fabs(line.startY - y0) < 3 && std::fabs(line.endX - x1) < 3 &&
               std::fabs(line.endY - y1) < 3;
    };
    ASSERT_TRUE(lineIsAt(480, 270, 960, 540)) << container().measureData(0).startX;
    const int boxes = Driver::modalCount();

    // The processor check's switch to 640 × 480 and back, as its timer runs it.
    window->PostMessage(platform::WM_TIMER, shell::CameraListPanel::kProcessorCheckTimer);
    ASSERT_TRUE(Driver::processEventsUntil([&] { return sizeIs(640, 480); }));
    ASSERT_TRUE(Driver::processEventsUntil([&] { return sizeIs(1920, 1080); }));
    Driver::processEvents();
    EXPECT_TRUE(lineIsAt(480, 270, 960, 540));

    // Unplugged and back: reopened by itself at its size, nothing moved.
    std::ofstream(control) << "unplugged 0\n";
    window->PostMessage(platform::WM_DEVICECHANGE, 0x8000);
    ASSERT_TRUE(Driver::processEventsUntil([&] { return session.IsLost(); }));
    std::ofstream(control, std::ios::trunc).flush();
    window->PostMessage(platform::WM_DEVICECHANGE, 0x8000);
    const unsigned long before = session.FramesDelivered();
    ASSERT_TRUE(Driver::processEventsUntil(
        [&] { return session.Camera() && !session.IsLost() && session.FramesDelivered() > before + 3; }, 20000));
    Driver::processEvents();
    EXPECT_TRUE(lineIsAt(480, 270, 960, 540));
    EXPECT_EQ(Driver::modalCount(), boxes);

    // The user's choice in the Resolution drawer.
    ASSERT_TRUE(ui.click("MainTabOptCamera"));
    auto choose = [&](int width, int height) {
        auto* sizes = ui.findAs<CComboUI>("combo_preview_size");
        for (int i = 0; sizes && i < sizes->GetCount(); ++i)
            if (sizes->GetItemAt(i)->GetText() == std::to_string(width) + " x " + std::to_string(height)) {
                EXPECT_TRUE(ui.selectComboIndex("combo_preview_size", i));
                EXPECT_TRUE(Driver::processEventsUntil([&] { return sizeIs(width, height); }));
                Driver::processEvents();
                return;
            }
        ADD_FAILURE() << "no size " << width << " x " << height;
    };
    choose(1280, 720);
    EXPECT_TRUE(Driver::processEventsUntil([&] { return lineIsAt(320, 180, 640, 360); }))
        << container().measureData(0).startX << " " << container().measureData(0).startY;
    EXPECT_EQ(ui.listCellText("MeasureDataList", 0, 2),
              shell::FormatPoint(container().measureData(0).startX, container().measureData(0).startY));
    // Another aspect ratio: asked; Cancel keeps them unscaled, OK deletes them.
    Driver::answerNextModal(Driver::ClickControl("cancelbtn"));
    choose(640, 480);
    EXPECT_EQ(Driver::pendingAnswers(), 0);
    EXPECT_TRUE(lineIsAt(320, 180, 640, 360));
    Driver::answerNextModal(Driver::ClickControl("okbtn"));
    choose(1280, 720);
    EXPECT_EQ(Driver::pendingAnswers(), 0);
    EXPECT_EQ(container().count(), 0);
    EXPECT_EQ(ui.findAs<CListUI>("MeasureDataList")->GetCount(), 0);
    EXPECT_EQ(Driver::modalCount(), boxes + 2);
}
