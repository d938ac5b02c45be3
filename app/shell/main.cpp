#include "app/shell/Startup.h"
#include "app/view/X11ChildWindow.h"

int main(int argc, char** argv)
{
    // The render view talks to X from its own thread: Xlib's locking must be
    // switched on before any other X call in the process.
    X11ChildWindow::initThreads();
    return shell::RunProgram(argc, argv);
}
