#pragma once
// The program's six languages and the switch between them.
#include <string>

namespace shell {

struct LanguageEntry {
    int id;              // the "Language" setting
    const char* caption; // menu caption, shown as is
    const char* menuItem;
    const char* locale;
    const char* file;
};

// In main-menu order.
inline constexpr LanguageEntry kLanguages[] = {
    {1, "简体中文", "Main_Menu_Item_Chinese", "zh_CN", "xmls\\lang\\strings_zh_CN.xml"},
    {0, "English", "Main_Menu_Item_English", "en_US", "xmls\\lang\\strings_en_US.xml"},
    {3, "Bahasa Indonesia", "Main_Menu_Item_Indonesian", "id_ID", "xmls\\lang\\strings_id_ID.xml"},
    {4, "日本語", "Main_Menu_Item_Japanese", "ja_JP", "xmls\\lang\\strings_ja_JP.xml"},
    {2, "한국어", "Main_Menu_Item_Korean", "ko_KR", "xmls\\lang\\strings_ko_KR.xml"},
    {5, "РУССКИЙ", "Main_Menu_Item_Ruissan", "ru_RU", "xmls\\lang\\strings_ru_RU.xml"},
};

// The row of a language id or of a menu item name (case-insensitive); null
// when there is none.
const LanguageEntry* FindLanguage(int id);
const LanguageEntry* FindLanguageByMenuItem(const std::string& itemName);

// Stores id as the "Language" setting, loads the English texts and the
// language's texts over them, and re-applies the texts to every control.
// Ids above 5 (and below 0) change nothing.
void ApplyLanguage(int id);

} // namespace shell
