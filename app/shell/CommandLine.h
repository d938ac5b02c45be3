#pragma once
// The program's command line, read before X or Qt start so that --help and
// --version work without a display.
#include <string>

namespace shell {

struct CommandLine {
    bool demo = false;    // --demo: simulated cameras (emulated USB3 cameras, video devices, the box simulator)
    bool help = false;    // --help / -h: print HelpText() and exit 0
    bool version = false; // --version: print "Pellumo <version>" and exit 0
    std::string file;     // FILE: a picture to show at start; empty without one
    std::string error;    // the first argument not understood; empty when all were
};

// Options the program does not know are left to Qt (it takes -platform,
// -display and the like) unless they start with "--" and are none of Qt's.
// Qt's options that take a value take the next argument with them, so
// "-platform offscreen" is never read as a FILE; the first other argument
// that is no option is the FILE, a second one is an error.
CommandLine ParseCommandLine(int argc, char** argv);

// "Pellumo 1.4.7.645".
std::string VersionText();

// The usage text --help prints; the man page is generated from it.
std::string HelpText();

// Handles --help, --version and a bad option: prints and returns the exit code
// (0, or 2 for a bad option); returns -1 when the program should start.
int HandleInformationalOptions(const CommandLine& line);

} // namespace shell
