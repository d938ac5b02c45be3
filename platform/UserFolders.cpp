#include "platform/UserFolders.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <string_view>
#include <system_error>
#include <unistd.h>

namespace platform {
namespace {

std::string stripTrailingSlash(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// Reads XDG_DOCUMENTS_DIR from user-dirs.dirs, the file xdg-user-dir consults.
// Lines look like: XDG_DOCUMENTS_DIR="$HOME/Documents"
std::string documentsFromUserDirs(const std::string& home)
{
    std::ifstream file(configFolder() + "/user-dirs.dirs");
    std::string line;
    constexpr std::string_view key = "XDG_DOCUMENTS_DIR=";
    while (std::getline(file, line)) {
        if (line.rfind(key, 0) != 0)
            continue;
        std::string value = line.substr(key.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (value.rfind("$HOME", 0) == 0)
            value = home + value.substr(5);
        else if (value.empty() || value.front() != '/')
            return {}; // only absolute or $HOME-relative paths are valid there
        // A documents dir equal to home means "disabled" for XDG; fall back.
        if (stripTrailingSlash(value) == stripTrailingSlash(home))
            return {};
        return stripTrailingSlash(value);
    }
    return {};
}

} // namespace

std::string homeFolder()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return stripTrailingSlash(home);
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir)
        return stripTrailingSlash(entry->pw_dir);
    return "/tmp";
}

std::string configFolder()
{
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/')
        return stripTrailingSlash(config);
    return homeFolder() + "/.config";
}

std::string documentsFolder()
{
    const std::string home = homeFolder();
    std::string folder = documentsFromUserDirs(home);
    if (folder.empty())
        folder = home + "/Documents";
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    return folder;
}

std::string executableFolder()
{
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return ".";
    return exe.parent_path().string();
}

std::string dataFolder()
{
    const std::filesystem::path installed = std::filesystem::path(executableFolder()) / ".." / "share" / "pellumo";
    std::error_code error;
    if (std::filesystem::is_directory(installed, error))
        return installed.lexically_normal().string();
    return executableFolder();
}

std::string helperProgram(const std::string& name)
{
    const std::filesystem::path installed =
        std::filesystem::path(executableFolder()) / ".." / "libexec" / "pellumo" / name;
    if (::access(installed.c_str(), X_OK) == 0)
        return installed.lexically_normal().string();
    return executableFolder() + "/" + name;
}

} // namespace platform
