#include "ShellTestFolders.h"

#include "app/shell/AppConfig.h"
#include "app/shell/RegistryKey.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

using shell::AppConfig;
using shell::RegistryKey;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary) << content;
}

std::size_t filesIn(const std::string& folder)
{
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec))
        return 0;
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

class AppConfigTest : public testing::Test {
protected:
    shelltest::TempHome home;
    shelltest::LocaleEnv locale{"en_US.UTF-8"};
};

TEST_F(AppConfigTest, StaticDefaultsBeforeLoad)
{
    AppConfig c;
    EXPECT_EQ(c.ExitPrompt, 0);
    EXPECT_EQ(c.MaximizeWindow, 1);
    EXPECT_EQ(c.ImagePath_MyDoc, 0);
    EXPECT_EQ(c.FileType, 3);
    EXPECT_EQ(c.ConshotCount, 0);
    EXPECT_EQ(c.ConshotInterval, 0);
    EXPECT_TRUE(c.ImagePath.empty());
    EXPECT_TRUE(c.rtspURL.empty());
    EXPECT_EQ(c.KeyName(), "Software\\Pellumo\\Config");
    EXPECT_FALSE(c.IsChanged());
}

TEST_F(AppConfigTest, FirstRunTakesMissingDefaultsAndWritesNothingAtExit)
{
    AppConfig c;
    CaptureStdout();
    ASSERT_TRUE(c.Load());
    EXPECT_EQ(GetCapturedStdout(), "load config\n");
    EXPECT_TRUE(std::filesystem::is_directory(home.keyFolder())); // the key is created, empty
    EXPECT_EQ(filesIn(home.keyFolder()), 0u);
    EXPECT_EQ(c.ImagePath_MyDoc, 1);
    EXPECT_EQ(c.ConshotCount, 100);
    EXPECT_EQ(c.ConshotInterval, 3);
    EXPECT_EQ(c.Language, 0);
    EXPECT_EQ(c.rtspURL, AppConfig::kDefaultRtspUrl);
    EXPECT_EQ(c.ImagePath, home.documentsImages());
    EXPECT_FALSE(c.IsChanged());

    CaptureStdout();
    EXPECT_TRUE(c.Save());
    EXPECT_EQ(GetCapturedStdout(), "config not changed\n");
    EXPECT_EQ(filesIn(home.keyFolder()), 0u);
}

TEST_F(AppConfigTest, ChangedSettingWritesAllValuesAndReadsBack)
{
    {
        AppConfig c;
        ASSERT_TRUE(c.Load());
        c.Language = 5;
        c.FileType = 1;
        c.ImagePath = "/srv/bilder/Probe ä";
        c.rtspURL = "rtsp://127.0.0.1:554/live0";
        c.ConshotCount = -7;
        c.BoxScanHosts = "127.0.0.1,192.168.1.255";
        c.TimeLapse = 1;
        c.TimeLapseIntervalMs = 5;
        c.TimeLapseRate = 99;
        c.TimeLapseUntilStopped = 1;
        c.ScaleBar = 1;
        EXPECT_TRUE(c.IsChanged());
        CaptureStdout();
        EXPECT_TRUE(c.Save());
        EXPECT_EQ(GetCapturedStdout(), "saving config\n");
        EXPECT_FALSE(c.IsChanged());
    }
    EXPECT_EQ(filesIn(home.keyFolder()), 20u); // every value (the chosen calibration also by name), no temporary left
    AppConfig again;
    ASSERT_TRUE(again.Load());
    EXPECT_EQ(again.Language, 5);
    EXPECT_EQ(again.FileType, 1);
    EXPECT_EQ(again.ImagePath, "/srv/bilder/Probe ä");
    EXPECT_EQ(again.rtspURL, "rtsp://127.0.0.1:554/live0");
    EXPECT_EQ(again.ConshotCount, 0) << "a negative count reads back as none";
    EXPECT_EQ(again.BoxScanHosts, "127.0.0.1,192.168.1.255");
    EXPECT_EQ(again.TimeLapse, 1);
    EXPECT_EQ(again.TimeLapseIntervalMs, 10) << "the timer's shortest period";
    EXPECT_EQ(again.TimeLapseRate, 60) << "the fastest a video plays";
    EXPECT_EQ(again.TimeLapseUntilStopped, 1);
    EXPECT_EQ(again.ScaleBar, 1);
    EXPECT_EQ(again.ImagePath_MyDoc, 1);
    EXPECT_EQ(readFile(home.keyFolder() + "/Language"), std::string("REG_DWORD\n\x05\0\0\0", 14));
}

TEST_F(AppConfigTest, ChangeThatIsUndoneBeforeExitWritesNothing)
{
    AppConfig c;
    ASSERT_TRUE(c.Load());
    c.FileType = 0;
    c.FileType = 3;
    c.ImagePath += "x";
    c.ImagePath.pop_back();
    CaptureStdout();
    EXPECT_TRUE(c.Save());
    EXPECT_EQ(GetCapturedStdout(), "config not changed\n");
    EXPECT_EQ(filesIn(home.keyFolder()), 0u);
}

TEST_F(AppConfigTest, ImagePathLongerThan259CharactersReadsAsMissing)
{
    RegistryKey key;
    ASSERT_TRUE(key.create(home.keyFolder()));
    ASSERT_TRUE(key.setString("ImagePath", "/" + std::string(259, 'a')));
    AppConfig c;
    ASSERT_TRUE(c.Load());
    EXPECT_EQ(c.ImagePath, home.documentsImages());

    ASSERT_TRUE(key.setString("ImagePath", "/" + std::string(258, 'a')));
    ASSERT_TRUE(c.Load());
    EXPECT_EQ(c.ImagePath, "/" + std::string(258, 'a'));
    // Characters, not bytes: 259 two-byte characters still fit.
    std::string wide;
    for (int i = 0; i < 259; ++i)
        wide += "\xC3\xA4";
    ASSERT_TRUE(key.setString("ImagePath", wide));
    ASSERT_TRUE(c.Load());
    EXPECT_EQ(c.ImagePath, wide);
}

TEST_F(AppConfigTest, CorruptedOrIllTypedValuesReadAsMissingAndStayOnDisk)
{
    std::filesystem::create_directories(home.keyFolder());
    const std::string k = home.keyFolder() + "/";
    writeFile(k + "ConshotCount", std::string("REG_DWORD\n\x07\0\0", 13)); // 3 bytes
    writeFile(k + "ConshotInterval", std::string("REG_SZ\n5\0", 9));       // wrong type
    writeFile(k + "FileType", std::string("REG_DWORD\n\1\0\0\0\0", 15));   // 5 bytes
    writeFile(k + "rtspURL", "REG_SZ\nrtsp://127.0.0.1/x");                // no terminator
    writeFile(k + "ImagePath", std::string("REG_SZ\n/a\0b\0", 12));        // zero inside
    writeFile(k + "Language", "garbage");
    std::filesystem::create_directories(k + "MaximizeWindow"); // a folder
    AppConfig c;
    ASSERT_TRUE(c.Load());
    EXPECT_EQ(c.ConshotCount, 100);
    EXPECT_EQ(c.ConshotInterval, 3);
    EXPECT_EQ(c.FileType, 3);
    EXPECT_EQ(c.rtspURL, AppConfig::kDefaultRtspUrl);
    EXPECT_EQ(c.ImagePath, home.documentsImages());
    EXPECT_EQ(c.Language, 0);
    EXPECT_EQ(c.MaximizeWindow, 1);
    EXPECT_EQ(readFile(k + "Language"), "garbage");
    EXPECT_EQ(readFile(k + "ConshotCount").size(), 13u);
}

TEST_F(AppConfigTest, StoredSeriesValuesAreClampedSoTheTimerPeriodCannotOverflow)
{
    RegistryKey key;
    ASSERT_TRUE(key.create(home.keyFolder()));
    ASSERT_TRUE(key.setDword("ConshotCount", 0x7fffffff));
    ASSERT_TRUE(key.setDword("ConshotInterval", 5'000'000)); // * 1000 overflows an int
    AppConfig c;
    ASSERT_TRUE(c.Load());
    EXPECT_EQ(c.ConshotCount, 100000);
    EXPECT_EQ(c.ConshotInterval, 86400);
    ASSERT_TRUE(key.setDword("ConshotInterval", 0));
    ASSERT_TRUE(c.Load());
    EXPECT_EQ(c.ConshotInterval, 0) << "as fast as the timer allows";
}

TEST_F(AppConfigTest, StoredLanguageOutOfRangeFollowsTheUserLanguage)
{
    RegistryKey key;
    ASSERT_TRUE(key.create(home.keyFolder()));
    ASSERT_TRUE(key.setDword("Language", 7));
    shelltest::LocaleEnv ja("ja_JP.UTF-8");
    AppConfig c;
    ASSERT_TRUE(c.Load());
    EXPECT_EQ(c.Language, 4);
    ASSERT_TRUE(key.setDword("Language", 2));
    ASSERT_TRUE(c.Load());
    EXPECT_EQ(c.Language, 2);
}

TEST_F(AppConfigTest, UnopenableKeyKeepsDefaultsAndLaterSavesOnlyUserChanges)
{
    // A file where the key's parent folder should be.
    std::filesystem::create_directories(home.root + "/config");
    writeFile(home.root + "/config/Pellumo", "not a folder");
    AppConfig c;
    CaptureStdout();
    EXPECT_FALSE(c.Load());
    EXPECT_EQ(GetCapturedStdout(), "load config\nopen registry failed\n");
    EXPECT_EQ(c.ConshotCount, 0);
    EXPECT_FALSE(c.IsChanged());
    CaptureStdout();
    EXPECT_TRUE(c.Save());
    EXPECT_EQ(GetCapturedStdout(), "config not changed\n");

    c.ExitPrompt = 1;
    CaptureStdout();
    EXPECT_FALSE(c.Save());
    EXPECT_EQ(GetCapturedStdout(), "saving config\nopen registry failed\n");

    std::filesystem::remove(home.root + "/config/Pellumo");
    EXPECT_TRUE(c.Save());
    AppConfig again;
    ASSERT_TRUE(again.Load());
    EXPECT_EQ(again.ExitPrompt, 1);
    EXPECT_EQ(again.ConshotCount, 0); // the static default was written, not the missing-value one
}

TEST_F(AppConfigTest, FailedValueWritesAreReportedOneByOne)
{
    AppConfig c;
    ASSERT_TRUE(c.Load());
    c.FileType = 2;
    // A folder in place of two values makes just those two renames fail.
    std::filesystem::create_directories(home.keyFolder() + "/FileType/x");
    std::filesystem::create_directories(home.keyFolder() + "/rtspURL/x");
    CaptureStdout();
    EXPECT_TRUE(c.Save());
    EXPECT_EQ(GetCapturedStdout(), "saving config\nsave CFG_FILETYPE failed\nsave CFG_RTSPURL failed\n");
    EXPECT_FALSE(c.IsChanged());
    // No temporary files are left beside the values.
    for (const auto& entry : std::filesystem::directory_iterator(home.keyFolder()))
        EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
}

TEST(RegistryKeyTest, ValueNamesCannotLeaveTheKey)
{
    shelltest::TempHome home;
    RegistryKey key;
    ASSERT_TRUE(key.create(home.keyFolder()));
    EXPECT_FALSE(key.setDword("../escape", 1));
    EXPECT_FALSE(key.setDword("", 1));
    EXPECT_FALSE(key.setString(".hidden", "x"));
    EXPECT_FALSE(key.setString("ok", std::string("a\0b", 3)));
    EXPECT_FALSE(std::filesystem::exists(home.root + "/config/Pellumo/escape"));
    std::uint32_t v = 0;
    EXPECT_FALSE(key.queryDword("../Config/x", v));
}

TEST(RegistryKeyTest, Utf16LengthCountsSurrogatePairsTwice)
{
    EXPECT_EQ(RegistryKey::utf16Length("abc"), 3u);
    EXPECT_EQ(RegistryKey::utf16Length("\xC3\xA4\xE4\xB8\xAD"), 2u); // ä 中
    EXPECT_EQ(RegistryKey::utf16Length("\xF0\x9F\x94\xAC"), 2u);     // 🔬
    EXPECT_EQ(RegistryKey::utf16Length("\xF0\x9F"), 2u);             // truncated: bytes
}

} // namespace
