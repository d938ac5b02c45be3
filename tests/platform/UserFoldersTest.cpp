#include "platform/UserFolders.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {
// Points HOME and XDG_CONFIG_HOME at a fresh temporary folder for one test.
class TempHome : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = fs::temp_directory_path() / ("pellumo-home-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root);
        saveEnv("HOME", savedHome);
        saveEnv("XDG_CONFIG_HOME", savedConfig);
        ::setenv("HOME", root.c_str(), 1);
        ::unsetenv("XDG_CONFIG_HOME");
    }
    void TearDown() override
    {
        restoreEnv("HOME", savedHome);
        restoreEnv("XDG_CONFIG_HOME", savedConfig);
        fs::remove_all(root);
    }
    static void saveEnv(const char* name, std::optional<std::string>& slot)
    {
        if (const char* v = std::getenv(name))
            slot = v;
    }
    static void restoreEnv(const char* name, const std::optional<std::string>& slot)
    {
        if (slot)
            ::setenv(name, slot->c_str(), 1);
        else
            ::unsetenv(name);
    }
    void writeUserDirs(const std::string& line)
    {
        fs::create_directories(root / ".config");
        std::ofstream(root / ".config" / "user-dirs.dirs") << "# comment\n" << line << "\n";
    }

    fs::path root;
    std::optional<std::string> savedHome, savedConfig;
};
} // namespace

TEST_F(TempHome, DocumentsDefaultsToHomeDocumentsAndIsCreated)
{
    const std::string docs = platform::documentsFolder();
    EXPECT_EQ(docs, (root / "Documents").string());
    EXPECT_TRUE(fs::is_directory(docs));
}

TEST_F(TempHome, DocumentsFollowsUserDirsWithHomePrefix)
{
    writeUserDirs("XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"");
    EXPECT_EQ(platform::documentsFolder(), (root / "Dokumente").string());
    EXPECT_TRUE(fs::is_directory(root / "Dokumente"));
}

TEST_F(TempHome, DocumentsIgnoresRelativeOrHomeOnlyEntries)
{
    writeUserDirs("XDG_DOCUMENTS_DIR=\"relative/path\"");
    EXPECT_EQ(platform::documentsFolder(), (root / "Documents").string());
    writeUserDirs("XDG_DOCUMENTS_DIR=\"$HOME/\"");
    EXPECT_EQ(platform::documentsFolder(), (root / "Documents").string());
}

TEST_F(TempHome, ConfigFolderHonoursXdgConfigHomeOnlyWhenAbsolute)
{
    EXPECT_EQ(platform::configFolder(), (root / ".config").string());
    ::setenv("XDG_CONFIG_HOME", (root / "cfg/").c_str(), 1);
    EXPECT_EQ(platform::configFolder(), (root / "cfg").string());
    ::setenv("XDG_CONFIG_HOME", "not/absolute", 1);
    EXPECT_EQ(platform::configFolder(), (root / ".config").string());
}

TEST(ExecutableFolder, HoldsTheRunningTest)
{
    EXPECT_TRUE(fs::exists(fs::path(platform::executableFolder()) / "platform_tests"));
}
