#include "app/shell/AppConfig.h"

#include "app/shell/RegistryKey.h"
#include "app/shell/UiLanguage.h"
#include "platform/DebugOutput.h"
#include "platform/UserFolders.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace shell {
namespace {

std::int32_t readInt(const RegistryKey& key, const char* name, std::int32_t missing)
{
    std::uint32_t value = 0;
    return key.queryDword(name, value) ? static_cast<std::int32_t>(value) : missing;
}

void writeInt(const RegistryKey& key, const char* name, std::int32_t value, const char* failure)
{
    if (!key.setDword(name, static_cast<std::uint32_t>(value)))
        platform::ConsolePrintf("%s", failure);
}

void writeText(const RegistryKey& key, const char* name, const std::string& value, const char* failure)
{
    if (!key.setString(name, value))
        platform::ConsolePrintf("%s", failure);
}

} // namespace

AppConfig::Shadow AppConfig::Current() const
{
    return Shadow{ExitPrompt,
                  MaximizeWindow,
                  DisableStillCap,
                  FileSave_Rule,
                  ImagePath_MyDoc,
                  ImagePath,
                  FileType,
                  Language,
                  curCaliData,
                  curCaliName,
                  curPhyUnit,
                  ConshotCount,
                  ConshotInterval,
                  rtspURL,
                  BoxScanHosts,
                  TimeLapse,
                  TimeLapseIntervalMs,
                  TimeLapseRate,
                  TimeLapseUntilStopped,
                  ScaleBar};
}

void AppConfig::TakeShadow() { m_shadow = Current(); }

bool AppConfig::IsChanged() const { return !(Current() == m_shadow); }

void AppConfig::SetDefaults()
{
    ExitPrompt = 0;
    MaximizeWindow = 1;
    DisableStillCap = 0;
    FileSave_Rule = 0;
    ImagePath_MyDoc = 0;
    ImagePath.clear();
    FileType = 3;
    Language = 0;
    curCaliData = 0;
    curCaliName.clear();
    curPhyUnit = 0;
    ConshotCount = 0;
    ConshotInterval = 0;
    rtspURL.clear();
    BoxScanHosts.clear();
    TimeLapse = 0;
    TimeLapseIntervalMs = 1000;
    TimeLapseRate = 30;
    TimeLapseUntilStopped = 0;
    ScaleBar = 0;
    TakeShadow();
    char key[128];
    std::snprintf(key, sizeof key, "Software\\%s\\Config", kProductName);
    m_keyName = key;
}

std::string AppConfig::KeyFolder() const { return RegistryKey::folderForKey(platform::configFolder(), m_keyName); }

std::string AppConfig::DocumentsRulePath()
{
    const std::string documents = platform::documentsFolder();
    std::error_code ec;
    if (documents.empty() || !std::filesystem::is_directory(documents, ec))
        return {};
    return documents + "/" + kProductName + " Files/Images/";
}

bool AppConfig::Load()
{
    platform::ConsolePrintf("load config\n");
    RegistryKey key;
    if (!key.create(KeyFolder())) {
        platform::ConsolePrintf("open registry failed\n");
        return false;
    }
    ExitPrompt = readInt(key, "ExitPrompt", 0);
    MaximizeWindow = readInt(key, "MaximizeWindow", 1);
    DisableStillCap = readInt(key, "DisableStillCap", 0);
    FileSave_Rule = readInt(key, "FileSave_Rule", 0);
    ImagePath_MyDoc = readInt(key, "ImagePath_MyDoc", 1);
    const std::string documentsPath = DocumentsRulePath();
    if (!documentsPath.empty()) {
        std::string path;
        ImagePath = key.queryString("ImagePath", path, kImagePathChars) ? path : documentsPath;
    }
    FileType = readInt(key, "FileType", 3);
    Language = readInt(key, "Language", -1);
    curCaliData = readInt(key, "curCaliData", 0);
    std::string caliName;
    curCaliName = key.queryString("curCaliName", caliName, kCaliNameChars) ? caliName : std::string();
    curPhyUnit = readInt(key, "curPhyUnit", 0);
    if (Language < 0 || Language > 5)
        Language = programLanguageFromLangId(langIdFromLocale(userUiLocale()));
    // Stored values beyond these would overflow the series' timer period;
    // 0 keeps its meaning for both.
    ConshotCount = std::clamp(readInt(key, "ConshotCount", 100), 0, 100000);
    ConshotInterval = std::clamp(readInt(key, "ConshotInterval", 3), 0, 86400);
    std::string url;
    rtspURL = key.queryString("rtspURL", url, kRtspUrlChars) ? url : std::string(kDefaultRtspUrl);
    std::string hosts;
    BoxScanHosts = key.queryString("BoxScanHosts", hosts, kBoxScanHostsChars) ? hosts : std::string();
    TimeLapse = readInt(key, "TimeLapse", 0) != 0 ? 1 : 0;
    TimeLapseIntervalMs =
        std::clamp(readInt(key, "TimeLapseIntervalMs", 1000), kTimeLapseMinIntervalMs, kTimeLapseMaxIntervalMs);
    TimeLapseRate = std::clamp(readInt(key, "TimeLapseRate", 30), 1, 60);
    TimeLapseUntilStopped = readInt(key, "TimeLapseUntilStopped", 0) != 0 ? 1 : 0;
    ScaleBar = readInt(key, "ScaleBar", 0) != 0 ? 1 : 0;
    key.close();
    TakeShadow();
    return true;
}

bool AppConfig::Save()
{
    if (!IsChanged()) {
        platform::ConsolePrintf("config not changed\n");
        return true;
    }
    platform::ConsolePrintf("saving config\n");
    RegistryKey key;
    if (!key.create(KeyFolder())) {
        platform::ConsolePrintf("open registry failed\n");
        return false;
    }
    writeInt(key, "ExitPrompt", ExitPrompt, "save CFG_EXITPROMPT failed\n");
    writeInt(key, "MaximizeWindow", MaximizeWindow, "save CFG_MAXIMIZEWND failed\n");
    writeInt(key, "DisableStillCap", DisableStillCap, "save CFG_DISABLE_STILLCAP failed\n");
    writeInt(key, "FileSave_Rule", FileSave_Rule, "save CFG_FILESAVE_RULE failed\n");
    writeInt(key, "ImagePath_MyDoc", ImagePath_MyDoc, "save CFG_IMAGEPATH_MYDOC failed\n");
    writeInt(key, "FileType", FileType, "save CFG_FILETYPE failed\n");
    writeInt(key, "Language", Language, "save CFG_LANGUAGE failed\n");
    writeInt(key, "curCaliData", curCaliData, "save CFG_CURCALIDATA failed\n");
    writeText(key, "curCaliName", curCaliName, "save CFG_CURCALINAME failed\n");
    writeInt(key, "curPhyUnit", curPhyUnit, "save CFG_CURPHYUNIT failed\n");
    writeText(key, "ImagePath", ImagePath, "save CFG_IMAGEPATH failed\n");
    writeInt(key, "ConshotCount", ConshotCount, "save CFG_CONSHOT_COUNT failed\n");
    writeInt(key, "ConshotInterval", ConshotInterval, "save CFG_CONSHOT_INTERVAL failed\n");
    writeText(key, "rtspURL", rtspURL, "save CFG_RTSPURL failed\n");
    writeText(key, "BoxScanHosts", BoxScanHosts, "save CFG_BOXSCANHOSTS failed\n");
    writeInt(key, "TimeLapse", TimeLapse, "save CFG_TIMELAPSE failed\n");
    writeInt(key, "TimeLapseIntervalMs", TimeLapseIntervalMs, "save CFG_TIMELAPSE_INTERVAL failed\n");
    writeInt(key, "TimeLapseRate", TimeLapseRate, "save CFG_TIMELAPSE_RATE failed\n");
    writeInt(key, "TimeLapseUntilStopped", TimeLapseUntilStopped, "save CFG_TIMELAPSE_UNTIL_STOPPED failed\n");
    writeInt(key, "ScaleBar", ScaleBar, "save CFG_SCALEBAR failed\n");
    key.close();
    TakeShadow();
    return true;
}

bool AppConfig::SaveCalibrationChoice()
{
    RegistryKey key;
    if (!key.create(KeyFolder())) {
        platform::ConsolePrintf("open registry failed\n");
        return false;
    }
    writeInt(key, "curCaliData", curCaliData, "save CFG_CURCALIDATA failed\n");
    writeText(key, "curCaliName", curCaliName, "save CFG_CURCALINAME failed\n");
    key.close();
    m_shadow.curCaliData = curCaliData;
    m_shadow.curCaliName = curCaliName;
    return true;
}

AppConfig& Config()
{
    static AppConfig config;
    return config;
}

} // namespace shell
