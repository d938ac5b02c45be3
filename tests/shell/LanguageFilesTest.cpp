// The language files of the skin: every id a layout, a menu or the program's
// code uses has an English text; the other five languages translate every
// English id; the texts the program shows from code are the designed ones.
#include "app/shell/Language.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// id → text of one language file (entities of the five XML kinds decoded).
std::map<std::string, std::string> languageFile(const std::string& locale)
{
    const std::string text = readFile(fs::path(PELLUMO_SKIN_SOURCE_DIR) / "xmls/lang" / ("strings_" + locale + ".xml"));
    std::map<std::string, std::string> ids;
    static const std::regex entry(R"re(<Text id="([A-Za-z0-9_]+)">([^<]*)</Text>)re");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), entry); it != std::sregex_iterator(); ++it) {
        std::string value = (*it)[2].str();
        for (auto [from, to] :
             {std::pair{"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"}})
            for (size_t p; (p = value.find(from)) != std::string::npos;)
                value.replace(p, std::string(from).size(), to);
        ids[(*it)[1].str()] = value;
    }
    return ids;
}

// Ids used by the layouts and menus (textid attributes).
std::set<std::string> layoutIds()
{
    std::set<std::string> ids;
    static const std::regex attr(R"re(textid="([A-Za-z0-9_]+)")re");
    for (const auto& entry : fs::recursive_directory_iterator(fs::path(PELLUMO_SKIN_SOURCE_DIR) / "xmls")) {
        if (entry.path().extension() != ".xml" || entry.path().parent_path().filename() == "lang")
            continue;
        const std::string text = readFile(entry.path());
        for (auto it = std::sregex_iterator(text.begin(), text.end(), attr); it != std::sregex_iterator(); ++it)
            ids.insert((*it)[1].str());
    }
    return ids;
}

// Language ids written as string literals in the program's sources.
std::set<std::string> codeIds()
{
    std::set<std::string> ids;
    static const std::regex literal(R"re("((?:STR|MENU|DLG|TB|SB|SIB|OTB)_[A-Za-z0-9_]+)")re");
    // The framework's headers only show ids in examples; its sources use real ones.
    for (const char* folder : {"app", "ui"}) {
        for (const auto& entry : fs::recursive_directory_iterator(fs::path(PELLUMO_SOURCE_DIR) / folder)) {
            const auto ext = entry.path().extension();
            if (ext != ".cpp" && !(ext == ".h" && std::string(folder) == "app"))
                continue;
            const std::string text = readFile(entry.path());
            for (auto it = std::sregex_iterator(text.begin(), text.end(), literal); it != std::sregex_iterator(); ++it)
                ids.insert((*it)[1].str());
        }
    }
    return ids;
}

TEST(LanguageFilesTest, EveryUsedIdHasAnEnglishText)
{
    const auto english = languageFile("en_US");
    ASSERT_GT(english.size(), 100u);
    const auto fromLayouts = layoutIds();
    const auto fromCode = codeIds();
    ASSERT_GT(fromLayouts.size(), 50u);
    ASSERT_TRUE(fromCode.count("STR_SURE_TO_EXIT")) << "the source scan finds the program's ids";
    for (const auto& id : fromLayouts)
        EXPECT_TRUE(english.count(id)) << "layout id without English text: " << id;
    for (const auto& id : fromCode)
        EXPECT_TRUE(english.count(id)) << "code id without English text: " << id;
    for (const auto& [id, text] : english)
        EXPECT_FALSE(text.empty()) << id;
}

TEST(LanguageFilesTest, NoIdIsMissingFromTheOtherLanguages)
{
    const auto english = languageFile("en_US");
    for (const shell::LanguageEntry& language : shell::kLanguages) {
        const auto texts = languageFile(language.locale);
        std::string missing, unknown;
        for (const auto& [id, text] : english)
            if (!texts.count(id))
                missing += " " + id;
        for (const auto& [id, text] : texts)
            if (!english.count(id))
                unknown += " " + id;
        EXPECT_EQ(missing, "") << language.locale << " lacks these ids";
        EXPECT_EQ(unknown, "") << language.locale << " has ids English does not have";
    }
}

TEST(LanguageFilesTest, TranslationsAreNotLeftInEnglish)
{
    const auto english = languageFile("en_US");
    // Texts that are the same in every language: units, formats, names.
    const std::set<std::string> sameEverywhere = {"STR_50Hz", "STR_60Hz", "DLG_COLOR_NONE", "DLG_OK"};
    for (const shell::LanguageEntry& language : shell::kLanguages) {
        if (std::string(language.locale) == "en_US")
            continue;
        const auto texts = languageFile(language.locale);
        int same = 0;
        std::string list;
        for (const auto& [id, text] : english)
            if (!sameEverywhere.count(id) && texts.count(id) && texts.at(id) == text) {
                ++same;
                list += " " + id;
            }
        // Indonesian shares a few words with English (Format, Gamma, ...).
        EXPECT_LE(same, 12) << language.locale << " keeps English texts:" << list;
    }
}

TEST(LanguageFilesTest, TextsShownFromCodeAreTheDesignedEnglish)
{
    const auto en = languageFile("en_US");
    const std::map<std::string, std::string> designed = {
        {"STR_50Hz", "50Hz"},
        {"STR_60Hz", "60Hz"},
        {"STR_AUTO", "Auto"},
        {"STR_COLORMODE_COLOR", "Color"},
        {"STR_COLORMODE_MONOCHROME", "Monochrome"},
        {"STR_COLORMODE_NEGATIVE", "Negative"},
        {"STR_CAMERA_OPEN_FAILED", "Failed to open camera"},
        {"STR_COLOR_SETTING", "Color Setting"},
        {"STR_CONNECT_WLCAMERA", "Connect to network camera"},
        {"STR_DELETE", "Delete"},
        {"STR_ERROR", "Error"},
        {"STR_ERROR_CAMERA_NOT_OPEN", "Video device is not open."},
        {"STR_ERROR_INPUT", "Input error, please check."},
        {"STR_EXIT_APP", "Exit"},
        {"STR_SURE_TO_EXIT", "Are you sure you want to exit this application ?"},
        {"STR_ITEM_ALREADY_EXIST", "Item already exist"},
        {"STR_MESSAGE", "Message"},
        {"STR_NETWORK_CAMERAS", "Network Cameras"},
        {"STR_OPEN_FILE", "Open file"},
        {"STR_SAVE_FILE", "Save file"},
        {"STR_PICTURE_SIZE", "Picture size"},
        {"STR_RECORD_FAIL", "Failed to start recording"},
        {"STR_RECORD_WRONG_SIZE",
         "Unsupported image size, please set the preview resolution to a value less than 1920x1080."},
        {"STR_SAVED_TO", "Save to"},
        {"STR_SETTING", "Setting"},
        {"STR_SNAP_FAIL", "Failed to take a photo"},
        {"STR_SURE_REMOVE_ALL_TOOL", "Are you sure you want to remove all tools ?"},
        {"STR_SURE_TO_DEL_CALIDATA", "Are you sure you want to delete the selected calibration ?"},
        {"STR_UNSUPPORT_UPDATE", "This version of the software does not support automatic update."},
        {"STR_VIDEO_PROPERTY", "Video device property"},
        {"MENU_MAIN_LANGUAGE", "Language"},
        {"DLG_ABOUT_ABOUT", "About"},
    };
    for (const auto& [id, text] : designed) {
        ASSERT_TRUE(en.count(id)) << id;
        EXPECT_EQ(en.at(id), text) << id;
    }
}

TEST(LanguageTableTest, RowsInMenuOrderWithTheirFiles)
{
    const char* order[] = {"zh_CN", "en_US", "id_ID", "ja_JP", "ko_KR", "ru_RU"};
    const int ids[] = {1, 0, 3, 4, 2, 5};
    for (int i = 0; i < 6; ++i) {
        EXPECT_STREQ(shell::kLanguages[i].locale, order[i]);
        EXPECT_EQ(shell::kLanguages[i].id, ids[i]);
        EXPECT_EQ(std::string(shell::kLanguages[i].file), std::string("xmls\\lang\\strings_") + order[i] + ".xml");
        EXPECT_TRUE(fs::exists(fs::path(PELLUMO_SKIN_SOURCE_DIR) / "xmls/lang" /
                               (std::string("strings_") + order[i] + ".xml")));
    }
    EXPECT_EQ(shell::FindLanguageByMenuItem("main_menu_item_ruissan"), &shell::kLanguages[5]);
    EXPECT_EQ(shell::FindLanguageByMenuItem("Main_Menu_Item_Settings"), nullptr);
    EXPECT_EQ(shell::FindLanguage(6), nullptr);
}

} // namespace
