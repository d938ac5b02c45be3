// Not a test: the pictures of the README. Starts the main window in demo mode,
// waits for the live picture of the first emulated USB3 camera, draws a few
// measurements with the mouse, and writes the main window (camera page and
// measure page) and each dialog as PNG files into the folder given as
// argument. scripts/screenshots.sh runs it under Xvfb into docs/images.
#include "app/shell/AppConfig.h"
#include "app/shell/MainWnd.h"
#include "app/shell/Startup.h"
#include "app/shell/dialogs/VideoControlsDialog.h"
#include "app/shell/session/CameraSession.h"
#include "app/shell/session/DemoMode.h"
#include "app/view/ImageRenderUI.h"
#include "app/view/X11ChildWindow.h"
#include "tests/shell_session/DemoWindow.h"
#include "ui/Application.h"
#include "ui/Controls.h"
#include "ui/List.h"
#include "ui/PaintManager.h"
#include "ui/ResourceManager.h"
#include "ui/testing/UiDriver.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

using ui::testing::Driver;

namespace {

class Shooter {
public:
    Shooter(shell::CMainWnd& window, CImageRenderUI& view, std::string folder)
        : m_window(window), m_view(view), m_folder(std::move(folder))
    {
    }

    // The window point that shows image pixel (x, y).
    POINT At(float x, float y) const
    {
        const ViewFit fit = m_view.currentFit();
        const RECT pos = m_view.GetPos();
        return POINT{pos.left + int(std::lround(fit.originX + x * fit.zoom)),
                     pos.top + int(std::lround(fit.originY + y * fit.zoom))};
    }

    // Picks `tool` and clicks the image points in turn, as an operator places
    // a measurement.
    void Measure(const char* tool, std::initializer_list<std::pair<float, float>> points)
    {
        Driver ui(m_window);
        ui.click(tool);
        Driver::processEvents();
        for (const auto& [x, y] : points) {
            const POINT p = At(x, y);
            ui.mouseMove(p);
            ui.mousePress(p);
            ui.mouseRelease(p);
            Driver::processEvents();
        }
    }

    // The window with its live picture; the drawing thread gets time to show
    // the latest state first.
    bool Window(const char* name)
    {
        const int passes = m_view.passesDrawn();
        Driver::processEventsUntil([&] { return m_view.passesDrawn() > passes + 5; }, 5000);
        return Report(Driver::saveScreenCapture(m_window, Path(name)), name);
    }

    // Opens a modal dialog with `open`, waits for `ready` while it shows,
    // saves it and closes it with `close`.
    bool Dialog(const char* name, Driver::ModalAnswer close, const std::function<void()>& open,
                const std::function<bool(CPaintManagerUI&)>& ready = nullptr)
    {
        bool saved = false;
        close.inspect = [&](CWindowWnd& dialog, CPaintManagerUI& pm) {
            if (ready)
                Driver::processEventsUntil([&] { return ready(pm); }, 8000);
            saved = Driver::saveScreenshot(dialog, Path(name));
        };
        Driver::answerNextModal(close);
        open();
        Driver::processEventsUntil([] { return Driver::pendingAnswers() == 0; }, 15000);
        Driver::processEvents();
        return Report(saved, name);
    }

private:
    std::string Path(const char* name) const { return m_folder + "/" + name + ".png"; }
    static bool Report(bool saved, const char* name)
    {
        std::printf("%s %s\n", saved ? "wrote" : "FAILED", name);
        std::fflush(stdout);
        return saved;
    }

    shell::CMainWnd& m_window;
    CImageRenderUI& m_view;
    std::string m_folder;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const std::string out = argv[1];
    // The live picture needs X (the render view draws into X windows).
    if (const char* display = std::getenv("DISPLAY"); !display || !*display) {
        std::fprintf(stderr, "readme_screenshots: needs an X display (run it under xvfb-run)\n");
        return 2;
    }
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    X11ChildWindow::initThreads();

    shell::DemoMode demo;
    demowindow::PrepareSettings(demo, false);

    ui::Application app(argc, argv);
    CPaintManagerUI::SetInstance(&app);
    shell::RegisterSkin();
    shell::RegisterVideoControlsDialog();
    ui::testing::answerModalWindows(true);
    shell::CMainWnd window;
    CImageRenderUI* view = demowindow::ShowLive(window, 20000);
    if (!view) {
        std::fprintf(stderr, "readme_screenshots: no live picture\n");
        return 1;
    }

    Shooter shoot(window, *view, out);
    Driver ui(window);
    int failures = 0;
    failures += !shoot.Window("main_camera");

    // A few measurements on the emulated scene: the ruler, a disc, the colour
    // patches; the scale bar switched on.
    ui.click("MainTabOptMeasure");
    Driver::processEvents();
    shoot.Measure("MeasureBtnLine", {{140, 545}, {1140, 545}});
    shoot.Measure("MeasureBtnCircle3", {{135, 231}, {220, 146}, {305, 231}});
    shoot.Measure("MeasureBtnRect", {{345, 262}, {678, 358}});
    shoot.Measure("MeasureBtnCircle", {{939, 199}, {998, 199}});
    ui.click("MeasureBtnNone");
    ui.click("MeasureChkScaleBar");
    ui.mouseMove(shoot.At(-500, -500));
    failures += !shoot.Window("main_measure");

    failures +=
        !shoot.Dialog("dialog_color", Driver::ClickControl("cancelbtn"), [&] { ui.click("MeasureBtnColorPicker"); });
    ui.click("MainTabOptCamera");
    Driver::processEvents();
    failures += !shoot.Dialog("dialog_settings", Driver::CloseByWindowManager(), [&] {
        ui.click("Btn_Title_Main_Menu");
        Driver::processEvents();
        Driver::pickMenuItem("Main_Menu_Item_Settings");
    });
    failures += !shoot.Dialog("dialog_about", Driver::CloseByWindowManager(), [&] {
        ui.click("Btn_Title_Main_Menu");
        Driver::processEvents();
        Driver::pickMenuItem("Main_Menu_Item_About");
    });
    // The network camera dialog, once its scan list shows the simulated box.
    failures += !shoot.Dialog(
        "dialog_network_camera", Driver::CloseByWindowManager(),
        [&] {
            auto* list = dynamic_cast<CListUI*>(window.PaintManager().FindControl("CameraList"));
            if (list && list->GetCount() > 0)
                ui.clickLink(list->GetItemAt(list->GetCount() - 1)->FindSubControl("camera_name"));
        },
        [](CPaintManagerUI& pm) {
            auto* scan = dynamic_cast<CListUI*>(pm.FindControl("list_scan_devices"));
            return scan && scan->GetCount() > 0;
        });

    window.DestroyWindow();
    Driver::processEvents();
    ui::testing::answerModalWindows(false);
    CResourceManager::GetInstance()->Release();
    std::printf("%d pictures failed\n", failures);
    return failures == 0 ? 0 : 1;
}
