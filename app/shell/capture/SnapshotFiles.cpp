#include "app/shell/capture/SnapshotFiles.h"

#include "app/shell/AppConfig.h"

#include <chrono>
#include <cstdio>
#include <filesystem>

namespace shell {

std::string ImageFolder()
{
    const std::string folder = Config().ImagePath_MyDoc != 0 ? AppConfig::DocumentsRulePath() : Config().ImagePath;
    if (folder.empty())
        return {};
    std::error_code error;
    if (std::filesystem::is_directory(folder, error))
        return folder;
    std::filesystem::create_directories(folder, error);
    return std::filesystem::is_directory(folder, error) ? folder : std::string();
}

std::string AutomaticFileName(const std::string& folder, const std::string& extension, const std::tm& local,
                              int milliseconds)
{
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d-%02d%02d%02d-%d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, milliseconds);
    std::string name = folder;
    if (name.empty() || name.back() != '/')
        name += '/';
    return name + stamp + extension;
}

std::string AutomaticFileName(const std::string& folder, const std::string& extension)
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const int milliseconds =
        int(std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
    std::tm local{};
    ::localtime_r(&seconds, &local);
    return AutomaticFileName(folder, extension, local, milliseconds);
}

const char* SnapshotExtension(int fileType)
{
    switch (fileType) {
    case 1: return ".png";
    case 2: return ".bmp";
    case 3: return ".jpg";
    default: return ".tif";
    }
}

const char* SnapshotPattern(int fileType)
{
    switch (fileType) {
    case 0: return "*.tif";
    case 1: return "*.png";
    case 2: return "*.bmp";
    default: return "*.jpg";
    }
}

std::vector<ui::FileFilter> SnapshotFilters()
{
    return {{"Tag Image File(*.tif)", "*.tif"},
            {"JPEG File(*.jpg)", "*.jpg"},
            {"Windows Bitmap(*.bmp)", "*.bmp"},
            {"Protable Network Graphics(*.png)", "*.png"}};
}

} // namespace shell
