#include "app/shell/Startup.h"

#include "app/shell/AppConfig.h"
#include "app/shell/MainWnd.h"
#include "app/shell/TerminationSignals.h"
#include "app/shell/dialogs/VideoControlsDialog.h"
#include "app/shell/session/DemoMode.h"
#include "platform/Tick.h"
#include "ui/Application.h"
#include "ui/EmbeddedResource.h"
#include "ui/PaintManager.h"
#include "ui/ResourceManager.h"

#include <malloc.h>

#include <memory>

PELLUMO_DECLARE_EMBEDDED(pellumo_skin)

namespace shell {
namespace {
unsigned g_startTick = 0;
}

unsigned ProgramStartTick() { return g_startTick; }

void SetDpiAwareness() {}

std::string WindowTitle() { return AppConfig::kProductName; }

bool RegisterSkin()
{
    CPaintManagerUI::SetResourceType(4);
    CPaintManagerUI::SetResourcePath(CPaintManagerUI::GetInstancePath() + "skins/default/");
    const ui::EmbeddedResource skin = pellumo_skin();
    if (!skin.data || skin.size == 0)
        return false;
    return CPaintManagerUI::SetResourceZip(skin.data, skin.size);
}

void KeepPictureBuffersApart()
{
    constexpr int kPictureBufferBytes = 1 << 20;
    ::mallopt(M_MMAP_THRESHOLD, kPictureBufferBytes);
}

int RunProgram(int& argc, char** argv, bool demo, const std::string& pictureFile)
{
    KeepPictureBuffersApart();
    g_startTick = platform::GetTickCount();
    SetDpiAwareness();
    const std::string title = WindowTitle();
    Config().Load();
    // Simulated cameras: the environment is set before the camera library
    // lists anything; the box simulator ends with the program.
    DemoMode demoMode;
    if (demo) {
        DemoMode::SetEnvironment();
        demoMode.StartBoxSimulator();
    }
    ui::Application app(argc, argv);
    CPaintManagerUI::SetInstance(&app);
    RegisterSkin();
    // Video cameras show their controls in the program's own dialog.
    RegisterVideoControlsDialog();
    auto window = std::make_unique<CMainWnd>();
    window->OpenFirstCameraAtStart(demo);
    window->OpenPictureAtStart(pictureFile);
    window->Create(nullptr, title.c_str(), UI_WNDSTYLE_FRAME, 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                   CW_USEDEFAULT);
    int code = 0;
    {
        TerminationSignals signals(window->GetHWND());
        code = CPaintManagerUI::MessageLoop();
    }
    window.reset();
    CResourceManager::GetInstance()->Release();
    Config().Save();
    (void)code;
    return 0;
}

} // namespace shell
