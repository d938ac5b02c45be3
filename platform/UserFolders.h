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

} // namespace platform
