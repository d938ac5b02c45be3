#include "app/shell/CommandLine.h"

#include <cstdio>
#include <cstring>

#ifndef PELLUMO_VERSION
#error "PELLUMO_VERSION is set by the build"
#endif

namespace shell {
namespace {

// Qt's own long options, which QApplication takes out of argv itself.
bool IsQtOption(const char* arg)
{
    static const char* const qtOptions[] = {"--platform", "--display",  "--style",        "--stylesheet",
                                            "--session",  "--geometry", "--reverse",      "--qmljsdebugger",
                                            "--title",    "--name",     "--platformtheme"};
    for (const char* option : qtOptions) {
        const size_t n = std::strlen(option);
        if (std::strncmp(arg, option, n) == 0 && (arg[n] == '\0' || arg[n] == '='))
            return true;
    }
    return false;
}

// Qt's options that take the next argument as their value (one dash or two);
// the debugger's takes its value after "=" only.
bool IsQtOptionWithValue(const char* arg)
{
    static const char* const withValue[] = {"platform",        "display",      "style",      "stylesheet",    "session",
                                            "geometry",        "title",        "name",       "platformtheme", "plugin",
                                            "qwindowgeometry", "qwindowtitle", "qwindowicon"};
    if (arg[0] != '-')
        return false;
    const char* name = arg + (arg[1] == '-' ? 2 : 1);
    for (const char* option : withValue)
        if (std::strcmp(name, option) == 0)
            return true;
    return false;
}

} // namespace

CommandLine ParseCommandLine(int argc, char** argv)
{
    CommandLine line;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--demo") == 0)
            line.demo = true;
        else if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0)
            line.help = true;
        else if (std::strcmp(arg, "--version") == 0)
            line.version = true;
        else if (IsQtOptionWithValue(arg))
            ++i; // Qt's, with its value
        else if (std::strncmp(arg, "--", 2) == 0 && !IsQtOption(arg) && line.error.empty())
            line.error = arg;
        else if (arg[0] != '-' && line.file.empty())
            line.file = arg;
        else if (arg[0] != '-' && line.error.empty())
            line.error = arg;
    }
    return line;
}

std::string VersionText() { return std::string("Pellumo ") + PELLUMO_VERSION; }

std::string HelpText()
{
    return "Usage: Pellumo [OPTION]... [FILE]\n"
           "Live picture, adjustment, snapshots, timed series, MP4 recording and calibrated\n"
           "measurements for microscope and inspection cameras. FILE, a JPEG, PNG, BMP or\n"
           "TIFF picture, is shown at start instead of the live picture (F6 goes live).\n"
           "\n"
           "Options:\n"
           "  --demo      show simulated cameras: two emulated USB3 cameras, emulated video\n"
           "              devices and a simulated wireless camera box on 127.0.0.1; the\n"
           "              first emulated USB3 camera opens at start\n"
           "  -h, --help  print this help and exit\n"
           "  --version   print the version and exit\n"
           "\n"
           "Qt's own options (-platform, -display, ...) are passed on to Qt.\n"
           "\n"
           "Keys:\n"
           "  Enter       take a snapshot (in a text box: the box's own Enter)\n"
           "  F9          start or stop recording\n"
           "  F6          freeze the picture or go back to live\n"
           "  Ctrl+O      open a picture file\n"
           "  F11         full screen on and off; Escape leaves it\n"
           "  wheel, + -  zoom about the pointer; Ctrl+0 fits, Ctrl+1 shows 1:1\n"
           "  middle button or Space + left button: drag to pan\n"
           "\n"
           "Environment:\n"
           "  SENSORLINK_EMULATE=N        N emulated USB3 cameras instead of the USB bus\n"
           "  SENSORLINK_USB_IDS=vid:pid,...  open exactly these USB devices as USB3 cameras\n"
           "  LENSBRIDGE_EMULATE_VIDEO=N  N emulated video devices after the real ones\n"
           "  PELLUMO_BOX_SCAN_HOSTS      comma-separated hosts the box scan probes\n"
           "  PELLUMO_DEBUG_LOG           file for developer diagnostics, or \"off\"\n"
           "\n"
           "Settings are kept in $XDG_CONFIG_HOME/Pellumo/Config (default ~/.config),\n"
           "calibrations in calibrations.ini in the documents folder.\n";
}

int HandleInformationalOptions(const CommandLine& line)
{
    if (!line.error.empty()) {
        std::fprintf(stderr, "Pellumo: unknown option '%s'\nTry 'Pellumo --help' for more information.\n",
                     line.error.c_str());
        return 2;
    }
    if (line.help) {
        std::fputs(HelpText().c_str(), stdout);
        return 0;
    }
    if (line.version) {
        std::printf("%s\n", VersionText().c_str());
        return 0;
    }
    return -1;
}

} // namespace shell
