#pragma once
// The program's main window streaming from the first emulated USB3 camera,
// as the benchmarks of the whole program start it: the emulator's variables
// are set first, and the application object exists.
#include "app/shell/AppConfig.h"
#include "app/shell/MainWnd.h"
#include "app/shell/Startup.h"
#include "app/shell/session/CameraSession.h"
#include "bench/support/RunWindowFor.h"

#include <cstdio>
#include <memory>

namespace benchscenes {

// Null, with a line on stderr, when the camera did not stream within 15 s.
inline std::unique_ptr<shell::CMainWnd> OpenStreamingMainWindow()
{
    shell::RegisterSkin();
    shell::Config().SetDefaults();
    shell::Config().MaximizeWindow = 0;
    shell::Config().ExitPrompt = 1;
    auto window = std::make_unique<shell::CMainWnd>();
    window->OpenFirstCameraAtStart(true);
    window->Create(nullptr, "Pellumo", UI_WNDSTYLE_FRAME, 0);
    window->ShowWindow(true);
    shell::CameraSession& session = *window->Session();
    if (!session.View() || !RunWindowFor(15, [&] { return session.Camera() && session.FramesDelivered() > 30; })) {
        std::fprintf(stderr, "the emulated camera did not stream\n");
        return nullptr;
    }
    return window;
}

} // namespace benchscenes
