// The focus figure and the focus stack through the whole program: the
// emulated USB3 camera at 1920 × 1080 and 30 frames/s sweeping its focus over
// the whole depth in 2 s and back (noise 4, optionally shaking), on the real
// main window with the live view drawing. Three stretches of `seconds`
// (default 8): nothing on, the focus figure on (the tool-bar button), the
// focus stack running (F7). For each: frames delivered and view passes per
// second, and process CPU per delivered frame; for the figure, the figure
// updates per second (figures put in the mode field, and of those the ones
// whose number changed: out of focus the figure of the noise alone reads the
// same frame after frame) and the CPU it adds per frame (worker copy included);
// for the stack, frames merged per second (goal >= 15). Needs an X display.
//
//   build/bench/bin/focus_program_bench [seconds] [shake pixels]
#include "app/shell/AppConfig.h"
#include "app/shell/MainWnd.h"
#include "app/shell/PictureSource.h"
#include "app/shell/Startup.h"
#include "app/shell/focus/FocusCommands.h"
#include "app/shell/session/CameraSession.h"
#include "app/view/ImageRenderUI.h"
#include "bench/support/ProcessCpuTime.h"
#include "bench/support/RunWindowFor.h"
#include "bench/support/StreamingMainWindow.h"
#include "ui/Application.h"
#include "ui/Controls.h"
#include "ui/PaintManager.h"
#include "ui/ResourceManager.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;
using benchscenes::OpenStreamingMainWindow;
using benchscenes::RunWindowFor;

struct Stretch {
    double seconds = 0;
    unsigned long frames = 0;
    int passes = 0;
    double cpu = 0;
    int modeChanges = 0;
    int figuresShown = 0;
    int mergedFirst = -1, mergedLast = -1;
    Clock::time_point firstAt, lastAt;
};

// "Stacking: N frames merged" → N; −1 when the field says something else.
int mergedIn(const std::string& mode)
{
    const auto colon = mode.find(": ");
    return mode.rfind("Stacking", 0) == 0 && colon != std::string::npos ? std::atoi(mode.c_str() + colon + 2) : -1;
}

Stretch measure(shell::CMainWnd& window, double seconds)
{
    shell::CameraSession& session = *window.Session();
    CControlUI* modeField = window.PaintManager().FindControl(shell::PictureSource::kModeField);
    CImageRenderUI* view = session.View();
    const shell::FocusCommands* focus = window.FocusCommandsPart();
    RunWindowFor(1);
    const int figures0 = focus ? focus->FiguresShown() : 0;
    Stretch s;
    const unsigned long frames0 = session.FramesDelivered();
    const int passes0 = view ? view->passesDrawn() : 0;
    const double cpu0 = benchscenes::ProcessCpuSeconds();
    const auto t0 = Clock::now();
    std::string mode = modeField ? std::string(modeField->GetText()) : std::string();
    while (Clock::now() - t0 < std::chrono::duration<double>(seconds)) {
        RunWindowFor(0.005);
        const std::string now = modeField ? std::string(modeField->GetText()) : std::string();
        if (now == mode)
            continue;
        mode = now;
        ++s.modeChanges;
        if (const int merged = mergedIn(mode); merged >= 0) {
            if (s.mergedFirst < 0) {
                s.mergedFirst = merged;
                s.firstAt = Clock::now();
            }
            s.mergedLast = merged;
            s.lastAt = Clock::now();
        }
    }
    s.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    s.cpu = benchscenes::ProcessCpuSeconds() - cpu0;
    s.frames = session.FramesDelivered() - frames0;
    s.passes = (view ? view->passesDrawn() : 0) - passes0;
    s.figuresShown = (focus ? focus->FiguresShown() : 0) - figures0;
    return s;
}

double cpuPerFrameMs(const Stretch& s) { return s.frames ? 1000.0 * s.cpu / double(s.frames) : 0.0; }

void print(const char* what, const Stretch& s)
{
    std::printf("%-14s %.1f s: frames delivered %.1f/s, view passes %.1f/s, CPU %.2f ms per frame\n", what, s.seconds,
                s.frames / s.seconds, s.passes / s.seconds, cpuPerFrameMs(s));
}

} // namespace

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 8.0;
    const char* shake = argc > 2 ? argv[2] : "0";
    ::setenv("PELLUMO_DEBUG_LOG", "off", 1);
    ::setenv("SENSORLINK_EMULATE", "1", 1);
    ::setenv("SENSORLINK_EMULATE_SIZE", "1920x1080", 1);
    ::setenv("SENSORLINK_EMULATE_FPS", "30", 1);
    ::setenv("SENSORLINK_EMULATE_FOCUS", "4", 1);
    ::setenv("SENSORLINK_EMULATE_NOISE", "4", 1);
    ::setenv("SENSORLINK_EMULATE_SHAKE", shake, 1);
    ::unsetenv("LENSBRIDGE_EMULATE_VIDEO");
    ui::Application app(argc, argv);
    CPaintManagerUI::SetInstance(&app);
    std::unique_ptr<shell::CMainWnd> window = OpenStreamingMainWindow();
    if (!window)
        return 1;
    auto* figureButton = dynamic_cast<COptionUI*>(window->PaintManager().FindControl("ToolbarBtnFocus"));
    if (!figureButton) {
        std::fprintf(stderr, "no focus button\n");
        return 1;
    }
    std::printf("1920 x 1080 at 30 frames/s, focus sweep 2 s up and 2 s down, noise 4, shake %s px\n", shake);
    const Stretch plain = measure(*window, seconds);
    print("live only", plain);

    figureButton->Selected(true);
    const Stretch figure = measure(*window, seconds);
    figureButton->Selected(false);
    print("focus figure", figure);
    std::printf("  figure updates %.1f/s (goal >= 10), of which the number changed %.1f/s; CPU added %.2f ms per frame "
                "(copy to the worker and the figure)\n",
                figure.figuresShown / figure.seconds, figure.modeChanges / figure.seconds,
                cpuPerFrameMs(figure) - cpuPerFrameMs(plain));

    window->SendMessage(WM_KEYDOWN, 0x76, 0); // F7
    const Stretch stack = measure(*window, seconds);
    window->SendMessage(WM_KEYDOWN, 0x76, 0);
    print("focus stack", stack);
    const double span = std::chrono::duration<double>(stack.lastAt - stack.firstAt).count();
    std::printf("  frames merged %.1f/s (goal >= 15)\n",
                span > 0 ? (stack.mergedLast - stack.mergedFirst) / span : 0.0);
    window->DestroyWindow();
    window.reset();
    CResourceManager::GetInstance()->Release();
    return 0;
}
