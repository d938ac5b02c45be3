#include "app/shell/UiLanguage.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace shell {
namespace {

struct LocaleId {
    const char* name; // "ll" or "ll_CC"
    std::uint16_t id;
};

// Language-with-territory entries first; a bare language entry is the
// fallback for territories not listed.
constexpr LocaleId kLocales[] = {
    {"zh_CN", 0x0804}, {"zh_SG", 0x1004}, {"zh_TW", 0x0404}, {"zh_HK", 0x0C04}, {"zh_MO", 0x1404}, {"zh", 0x0804},
    {"en_US", 0x0409}, {"en_GB", 0x0809}, {"en_AU", 0x0C09}, {"en_CA", 0x1009}, {"en", 0x0409},    {"ko_KR", 0x0412},
    {"ko", 0x0412},    {"id_ID", 0x0421}, {"id", 0x0421},    {"ja_JP", 0x0411}, {"ja", 0x0411},    {"ru_RU", 0x0419},
    {"ru_UA", 0x0819}, {"ru", 0x0419},    {"de_DE", 0x0407}, {"de", 0x0407},    {"fr_FR", 0x040C}, {"fr", 0x040C},
    {"es_ES", 0x0C0A}, {"es", 0x0C0A},    {"it_IT", 0x0410}, {"it", 0x0410},    {"pt_BR", 0x0416}, {"pt_PT", 0x0816},
    {"pt", 0x0816},    {"nl", 0x0413},    {"pl", 0x0415},    {"tr", 0x041F},    {"uk", 0x0422},    {"vi", 0x042A},
    {"th", 0x041E},    {"ar", 0x0401},    {"he", 0x040D},    {"cs", 0x0405},    {"sv", 0x041D},    {"fi", 0x040B},
    {"da", 0x0406},    {"nb", 0x0414},    {"hu", 0x040E},    {"el", 0x0408},    {"ms", 0x043E},    {"hi", 0x0439},
};

std::string envValue(const char* name)
{
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

} // namespace

std::string userUiLocale()
{
    std::string language = envValue("LANGUAGE");
    language = language.substr(0, language.find(':'));
    if (!language.empty())
        return language;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const std::string v = envValue(name);
        if (!v.empty())
            return v;
    }
    return "C";
}

std::uint16_t langIdFromLocale(const std::string& locale)
{
    // "ll_CC.codeset@modifier" → "ll" and "CC"; also accepts "ll-CC".
    std::string base = locale.substr(0, locale.find_first_of(".@"));
    std::replace(base.begin(), base.end(), '-', '_');
    const auto sep = base.find('_');
    std::string language = base.substr(0, sep);
    std::string territory = sep == std::string::npos ? std::string() : base.substr(sep + 1);
    for (char& c : language)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (char& c : territory)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    // Chinese scripts written as territories (zh_Hant, zh_Hans).
    if (language == "zh" && territory == "HANT")
        territory = "TW";
    if (language == "zh" && territory == "HANS")
        territory = "CN";
    if (!territory.empty()) {
        const std::string full = language + "_" + territory;
        for (const LocaleId& entry : kLocales)
            if (full == entry.name)
                return entry.id;
    }
    for (const LocaleId& entry : kLocales)
        if (language == entry.name)
            return entry.id;
    return 0x0409;
}

int programLanguageFromLangId(std::uint16_t langId)
{
    const unsigned primary = langId & 0x3FFu;
    // Only the simplified-Chinese sublanguage itself (field value 2, i.e.
    // 0x0800 in the top six bits); Hong Kong (0x0C04), Macao (0x1404) and
    // Singapore (0x1004) merely share bits with it and select English.
    if (primary == 0x04)
        return (langId & 0xFC00u) == 0x0800u ? 1 : 0;
    switch (primary) {
    case 0x12: return 2;
    case 0x21: return 3;
    case 0x11: return 4;
    case 0x19: return 5;
    default: return 0;
    }
}

} // namespace shell
