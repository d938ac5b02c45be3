#pragma once
#include <string>

namespace platform {

// The user's documents folder: `xdg-user-dir DOCUMENTS` (read from
// user-dirs.dirs), else ~/Documents. Created when missing. UTF-8, no trailing '/'.
std::string documentsFolder();

// The user's configuration folder: $XDG_CONFIG_HOME, else ~/.config.
// Not created here; writers create what they need below it.
std::string configFolder();

// The user's home folder: $HOME, else the password database entry.
std::string homeFolder();

// The folder that holds the running executable (no trailing '/').
std::string executableFolder();

// The program's data (label font, recording symbol): <exe dir>/../share/pellumo
// when installed, else the executable's folder (a build folder).
std::string dataFolder();

// A helper program of the installation (the box simulator of demo mode):
// <exe dir>/../libexec/pellumo/<name> when installed, else <exe dir>/<name>.
std::string helperProgram(const std::string& name);

} // namespace platform
