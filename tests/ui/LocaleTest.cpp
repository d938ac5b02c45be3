// The UI layer under a locale with a decimal comma (ru_RU): texts follow the
// locale, but printf-style numbers keep their decimal point, as the program's
// labels, files and console lines expect. And Qt is run on X11 unless the
// user chose another platform.
#include "ui/Application.h"
#include "ui/testing/UiDriver.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {
// Before the test application exists (same file: initialised in this order).
const bool russianLocale = (::setenv("LC_ALL", "ru_RU.UTF-8", 1), true);
} // namespace

PELLUMO_UI_TEST_APPLICATION();

namespace {

TEST(LocaleTest, NumbersKeepTheirDecimalPointInACommaLocale)
{
    ASSERT_TRUE(russianLocale);
    const char* ctype = std::setlocale(LC_CTYPE, nullptr);
    ASSERT_NE(ctype, nullptr);
    if (std::string(ctype).find("ru_RU") == std::string::npos)
        GTEST_SKIP() << "the ru_RU.UTF-8 locale is not installed (locales-all)";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f mm", 12.5);
    EXPECT_STREQ(text, "12.50 mm");
    EXPECT_EQ(std::strtod("0.25", nullptr), 0.25);
}

class PlatformChoice : public testing::Test {
protected:
    void SetUp() override
    {
        save("QT_QPA_PLATFORM", platform, hadPlatform);
        save("DISPLAY", display, hadDisplay);
        ::unsetenv("QT_QPA_PLATFORM");
    }
    void TearDown() override
    {
        restore("QT_QPA_PLATFORM", platform, hadPlatform);
        restore("DISPLAY", display, hadDisplay);
    }
    static void save(const char* name, std::string& value, bool& had)
    {
        const char* v = std::getenv(name);
        had = v != nullptr;
        value = v ? v : "";
    }
    static void restore(const char* name, const std::string& value, bool had)
    {
        if (had)
            ::setenv(name, value.c_str(), 1);
        else
            ::unsetenv(name);
    }
    static std::string chosen()
    {
        const char* v = std::getenv("QT_QPA_PLATFORM");
        return v ? v : "";
    }
    std::string platform, display;
    bool hadPlatform = false, hadDisplay = false;
};

TEST_F(PlatformChoice, X11WhereADisplayIsAndNothingElseWasChosen)
{
    char program[] = "Pellumo";
    char option[] = "-platform";
    char wayland[] = "wayland";
    char* plain[] = {program, nullptr};
    char* withOption[] = {program, option, wayland, nullptr};

    ::setenv("DISPLAY", ":42", 1);
    ui::Application::PreferX11(1, plain);
    EXPECT_EQ(chosen(), "xcb");

    ::setenv("QT_QPA_PLATFORM", "wayland", 1);
    ui::Application::PreferX11(1, plain);
    EXPECT_EQ(chosen(), "wayland") << "the user's choice stays";

    ::unsetenv("QT_QPA_PLATFORM");
    ui::Application::PreferX11(3, withOption);
    EXPECT_EQ(chosen(), "") << "a -platform argument is Qt's to read";

    ::unsetenv("DISPLAY");
    ui::Application::PreferX11(1, plain);
    EXPECT_EQ(chosen(), "") << "no X display: Qt picks what there is";
}

} // namespace
