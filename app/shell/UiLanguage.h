#pragma once
// The user's interface language as a Windows language id, and the rule that
// turns it into one of the program's six language ids.
#include <cstdint>
#include <string>

namespace shell {

// The locale of the user's messages: the first non-empty of LANGUAGE (its
// first entry), LC_ALL, LC_MESSAGES, LANG; "C" when none is set.
std::string userUiLocale();

// Windows language id of a POSIX locale name such as "zh_TW.UTF-8" or
// "ru_RU@euro": 0x0804 for zh_CN, 0x0404 zh_TW, 0x0C04 zh_HK, 0x0412 ko_KR,
// 0x0421 id_ID, 0x0411 ja_JP, 0x0419 ru_RU, 0x0409 en_US, ... A language
// without a territory takes its main country; unknown ones and "C"/"POSIX"
// give 0x0409.
std::uint16_t langIdFromLocale(const std::string& locale);

// The program's language id (0..5) for a Windows language id: primary
// Chinese with the sub-language bit 0x0800 → 1, Korean → 2, Indonesian → 3,
// Japanese → 4, Russian → 5, everything else → 0 (English).
int programLanguageFromLangId(std::uint16_t langId);

} // namespace shell
