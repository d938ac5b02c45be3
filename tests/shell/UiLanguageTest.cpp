#include "ShellTestFolders.h"

#include "app/shell/ProcessorName.h"
#include "app/shell/UiLanguage.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace shell;

namespace {

int languageFor(const std::string& locale) { return programLanguageFromLangId(langIdFromLocale(locale)); }

TEST(UiLanguageTest, LocalesMapToWindowsLanguageIds)
{
    EXPECT_EQ(langIdFromLocale("zh_CN.UTF-8"), 0x0804);
    EXPECT_EQ(langIdFromLocale("zh_TW.UTF-8"), 0x0404);
    EXPECT_EQ(langIdFromLocale("zh_HK"), 0x0C04);
    EXPECT_EQ(langIdFromLocale("ko_KR.UTF-8"), 0x0412);
    EXPECT_EQ(langIdFromLocale("id_ID"), 0x0421);
    EXPECT_EQ(langIdFromLocale("ja_JP.eucJP"), 0x0411);
    EXPECT_EQ(langIdFromLocale("ru_RU@euro"), 0x0419);
    EXPECT_EQ(langIdFromLocale("ru"), 0x0419);
    EXPECT_EQ(langIdFromLocale("de_AT.UTF-8"), 0x0407);
    EXPECT_EQ(langIdFromLocale("zh-Hant"), 0x0404);
    EXPECT_EQ(langIdFromLocale("C"), 0x0409);
    EXPECT_EQ(langIdFromLocale(""), 0x0409);
}

TEST(UiLanguageTest, LanguageRuleOnTheWindowsId)
{
    EXPECT_EQ(languageFor("zh_CN.UTF-8"), 1);
    EXPECT_EQ(languageFor("zh_SG"), 0);       // sublanguage 4, not simplified Chinese
    EXPECT_EQ(languageFor("zh_TW.UTF-8"), 0); // traditional Chinese → English
    EXPECT_EQ(languageFor("zh_HK"), 0);       // 0x0C04 shares the 0x0800 bit only
    EXPECT_EQ(languageFor("zh_MO"), 0);       // 0x1404
    EXPECT_EQ(languageFor("zh-Hans"), 1);
    EXPECT_EQ(languageFor("ko_KR"), 2);
    EXPECT_EQ(languageFor("id_ID"), 3);
    EXPECT_EQ(languageFor("ja_JP"), 4);
    EXPECT_EQ(languageFor("ru_UA"), 5);
    EXPECT_EQ(languageFor("fr_FR"), 0);
    EXPECT_EQ(languageFor("POSIX"), 0);
}

TEST(UiLanguageTest, UserLocaleComesFromTheFirstSetVariable)
{
    shelltest::LocaleEnv env("fr_FR.UTF-8");
    EXPECT_EQ(userUiLocale(), "fr_FR.UTF-8");
    ::setenv("LC_MESSAGES", "ko_KR.UTF-8", 1);
    EXPECT_EQ(userUiLocale(), "ko_KR.UTF-8");
    ::setenv("LC_ALL", "ja_JP.UTF-8", 1);
    EXPECT_EQ(userUiLocale(), "ja_JP.UTF-8");
    ::setenv("LANGUAGE", "ru_RU:en_US", 1);
    EXPECT_EQ(userUiLocale(), "ru_RU");
    ::setenv("LANGUAGE", "", 1);
    EXPECT_EQ(userUiLocale(), "ja_JP.UTF-8");
}

TEST(ProcessorNameTest, ReadsTheFirstModelNameAndLeavesTheNameOnFailure)
{
    shelltest::TempHome home;
    const std::string file = home.root + "/cpuinfo";
    std::ofstream(file) << "processor\t: 0\nvendor_id\t: GenuineIntel\nmodel name\t: Intel(R) Atom(TM) x5-Z8350  CPU @ "
                           "1.44GHz\nprocessor\t: 1\nmodel name\t: other\n";
    std::string name;
    ASSERT_TRUE(ReadProcessorName(name, file));
    EXPECT_EQ(name, "Intel(R) Atom(TM) x5-Z8350  CPU @ 1.44GHz");
    std::ofstream(file) << "model name\t: " << std::string(80, 'x') << "\n";
    ASSERT_TRUE(ReadProcessorName(name, file));
    EXPECT_EQ(name.size(), 49u);
    name = "kept";
    EXPECT_FALSE(ReadProcessorName(name, home.root + "/missing"));
    EXPECT_EQ(name, "kept");
}

} // namespace
