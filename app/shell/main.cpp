#include "app/shell/CommandLine.h"
#include "app/shell/Startup.h"
#include "app/shell/TerminationSignals.h"
#include "app/view/X11ChildWindow.h"

int main(int argc, char** argv)
{
    // --help and --version answer before anything touches X or Qt.
    const shell::CommandLine line = shell::ParseCommandLine(argc, argv);
    if (const int code = shell::HandleInformationalOptions(line); code >= 0)
        return code;
    // The render view talks to X from its own thread: Xlib's locking must be
    // switched on before any other X call in the process.
    X11ChildWindow::initThreads();
    // Before any thread starts, so that only the watcher receives them.
    shell::TerminationSignals::Block();
    return shell::RunProgram(argc, argv, line.demo, line.file);
}
