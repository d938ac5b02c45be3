#include "CalibrationStore.h"

#include "platform/AtomicFile.h"
#include "platform/DebugOutput.h"
#include "platform/UserFolders.h"

// Names and values stay UTF-8 (char); no wide-character converter is needed.
#define SI_NO_CONVERSION
#include <SimpleIni.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

const char* const kDataSection = "data";
const char* const kUnitSection = "unit";
const char* const kSizeSection = "size";

// Strict UTF-8 to UTF-16: overlong forms, surrogates and truncated sequences
// are rejected rather than guessed at.
bool utf8ToUtf16(const std::string& in, std::u16string& out)
{
    out.clear();
    for (std::size_t i = 0; i < in.size();) {
        const unsigned char lead = static_cast<unsigned char>(in[i]);
        char32_t cp;
        std::size_t length;
        if (lead < 0x80) {
            cp = lead;
            length = 1;
        } else if ((lead & 0xE0) == 0xC0) {
            cp = lead & 0x1F;
            length = 2;
        } else if ((lead & 0xF0) == 0xE0) {
            cp = lead & 0x0F;
            length = 3;
        } else if ((lead & 0xF8) == 0xF0) {
            cp = lead & 0x07;
            length = 4;
        } else {
            return false;
        }
        if (i + length > in.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(in[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (next & 0x3F);
        }
        static constexpr char32_t minimum[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < minimum[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += length;
    }
    return true;
}

void appendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// Numbers are read and written independently of the process locale (a
// decimal comma would otherwise make every stored factor unreadable).
float parseFactor(const char* text)
{
    if (!text)
        return 0;
    const char* end = text + std::char_traits<char>::length(text);
    float value = 0;
    const auto result = std::from_chars(text, end, value);
    if (result.ec != std::errc() || result.ptr != end || !std::isfinite(value))
        return 0;
    return value;
}

int parseUnit(const char* text)
{
    if (!text)
        return 0;
    const char* begin = text;
    const char* end = text + std::char_traits<char>::length(text);
    int base = 10;
    if (end - begin > 2 && begin[0] == '0' && (begin[1] == 'x' || begin[1] == 'X')) {
        begin += 2;
        base = 16;
    }
    int value = 0;
    const auto result = std::from_chars(begin, end, value, base);
    if (result.ec != std::errc() || result.ptr != end || begin == end)
        return 0;
    return value;
}

// "1280x960": both sides positive; anything else is no size.
bool parseSize(const char* text, int& width, int& height)
{
    width = height = 0;
    if (!text)
        return false;
    const char* end = text + std::char_traits<char>::length(text);
    int w = 0, h = 0;
    const auto first = std::from_chars(text, end, w);
    if (first.ec != std::errc() || first.ptr == end || (*first.ptr != 'x' && *first.ptr != 'X'))
        return false;
    const auto second = std::from_chars(first.ptr + 1, end, h);
    if (second.ec != std::errc() || second.ptr != end || w <= 0 || h <= 0)
        return false;
    width = w;
    height = h;
    return true;
}

// "%f" as the file format has it; a factor too small for six decimals (which
// would read back as 0 or far off) is written with as many as it needs.
std::string formatFactor(float factor)
{
    char buffer[64];
    auto result =
        std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(factor), std::chars_format::fixed, 6);
    std::string text(buffer, result.ptr);
    const float back = parseFactor(text.c_str());
    if (std::fabs(back - factor) <= std::fabs(factor) * 1e-5f)
        return text;
    result = std::to_chars(buffer, buffer + sizeof buffer, factor, std::chars_format::fixed);
    return std::string(buffer, result.ptr);
}

bool sameNameIgnoringAsciiCase(const char16_t* a, const char16_t* b)
{
    auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; };
    for (; *a && *b; ++a, ++b)
        if (fold(*a) != fold(*b))
            return false;
    return *a == *b;
}

bool readWholeFile(const std::string& path, std::string& out)
{
    std::error_code error;
    if (!fs::is_regular_file(path, error))
        return false;
    const auto size = fs::file_size(path, error);
    if (error || size > CalibrationStore::kMaxFileSize)
        return false;
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    out.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

// Writes `content` to a new file beside `path` and renames it over `path`,
// keeping the replaced file's permissions.
bool replaceFile(const std::string& path, const std::string& content)
{
    std::error_code error;
    fs::path target = path;
    if (fs::is_symlink(target, error)) {
        target = fs::weakly_canonical(target, error); // replace the file, keep the link
        if (error)
            return false;
    }
    platform::AtomicFile file(target.string(), platform::ExistingFile::Replace);
    if (!file.isOpen())
        return false;
    struct stat existing;
    ::chmod(file.tempPath().c_str(), ::stat(target.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : 0644);
    return file.write(content.data(), content.size()) && file.commit();
}

} // namespace

bool CalibrationRecord::make(const std::string& utf8Name, float factor, int unit, CalibrationRecord& out)
{
    out = CalibrationRecord();
    std::u16string name;
    if (!utf8ToUtf16(utf8Name, name) || name.size() > 63)
        return false;
    name.copy(out.name, name.size());
    out.factor = factor;
    out.unit = unit;
    return true;
}

CalibrationScale CalibrationRecord::scaleFor(int pictureWidth, int pictureHeight) const
{
    CalibrationScale scale;
    scale.factor = factor;
    if (!hasSize() || pictureWidth <= 0 || pictureHeight <= 0)
        return scale;
    // Aspect ratios within 1 % are the same field (sizes rounded to even or
    // to a multiple of 8 or 16 differ by a little).
    const double here = double(pictureWidth) * height, there = double(pictureHeight) * width;
    if (std::fabs(here - there) > 0.01 * std::max(here, there)) {
        scale.sizeFits = false;
        return scale;
    }
    scale.factor = static_cast<float>(double(factor) * width / pictureWidth);
    return scale;
}

std::string CalibrationRecord::nameUtf8() const
{
    std::string out;
    for (std::size_t i = 0; i < 64 && name[i]; ++i) {
        char32_t cp = name[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < 64 && name[i + 1] >= 0xDC00 && name[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (name[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD; // a lone surrogate has no UTF-8 form
        }
        appendUtf8(out, cp);
    }
    return out;
}

int CalibrationStore::calibrationFilePath(std::string& out)
{
    const std::string documents = platform::documentsFolder();
    if (documents.empty())
        return CalibrationNoDocumentsFolder;
    const fs::path folder = fs::path(documents) / "Pellumo Files" / "data";
    std::error_code error;
    fs::create_directories(folder, error);
    if (!fs::is_directory(folder, error))
        return CalibrationCreateDirFailed;
    out = (folder / "calibrations.ini").string();
    return CalibrationOk;
}

int CalibrationStore::load(const std::string& path)
{
    std::string content;
    if (!readWholeFile(path, content) || loadFromData(content.data(), content.size()) != CalibrationOk) {
        platform::ConsolePrintf("LoadCaliConfig %s Failed\n", path.c_str());
        return CalibrationOpenFailed;
    }
    return CalibrationOk;
}

int CalibrationStore::loadFromData(const char* data, std::size_t size)
{
    CSimpleIniA ini;
    ini.SetUnicode(true);
    if (ini.LoadData(data, size) < 0)
        return CalibrationOpenFailed;
    // Keys in the library's order: sorted without regard to case, duplicates dropped.
    CSimpleIniA::TNamesDepend keys;
    ini.GetAllKeys(kDataSection, keys);
    std::vector<CalibrationRecord> loaded;
    for (const auto& key : keys) {
        const float factor = parseFactor(ini.GetValue(kDataSection, key.pItem));
        if (!(factor > 0))
            continue; // zero, negative or not a number
        CalibrationRecord record;
        if (!CalibrationRecord::make(key.pItem, factor, parseUnit(ini.GetValue(kUnitSection, key.pItem)), record) ||
            record.name[0] == 0)
            continue;
        parseSize(ini.GetValue(kSizeSection, key.pItem), record.width, record.height);
        loaded.push_back(record);
    }
    records = std::move(loaded);
    modified = false;
    return CalibrationOk;
}

bool CalibrationStore::toIni(std::string& out) const
{
    CSimpleIniA ini;
    ini.SetUnicode(true);
    ini.SetSpaces(true);
    std::vector<std::string> names;
    names.reserve(records.size());
    for (const CalibrationRecord& record : records)
        names.push_back(record.nameUtf8());
    for (std::size_t i = 0; i < records.size(); ++i)
        if (ini.SetValue(kDataSection, names[i].c_str(), formatFactor(records[i].factor).c_str()) < 0)
            return false;
    for (std::size_t i = 0; i < records.size(); ++i)
        if (ini.SetValue(kUnitSection, names[i].c_str(), std::to_string(records[i].unit).c_str()) < 0)
            return false;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (!records[i].hasSize())
            continue;
        const std::string size = std::to_string(records[i].width) + "x" + std::to_string(records[i].height);
        if (ini.SetValue(kSizeSection, names[i].c_str(), size.c_str()) < 0)
            return false;
    }
    out.clear();
    return ini.Save(out, false) >= 0;
}

int CalibrationStore::restore(const std::string& path)
{
    CalibrationStore backup;
    if (backup.load(path) != CalibrationOk || backup.count() == 0)
        return CalibrationOpenFailed;
    records = std::move(backup.records);
    modified = true;
    return CalibrationOk;
}

int CalibrationStore::exportTo(const std::string& path) const
{
    std::string content;
    if (!toIni(content) || !replaceFile(path, content))
        return CalibrationSaveFailed;
    return CalibrationOk;
}

int CalibrationStore::save(const std::string& path)
{
    const int result = exportTo(path);
    if (result == CalibrationOk)
        modified = false;
    return result;
}

int CalibrationStore::saveIfModified()
{
    if (!modified)
        return CalibrationOk;
    std::string path;
    if (const int result = calibrationFilePath(path); result != CalibrationOk)
        return result;
    return save(path);
}

int CalibrationStore::add(const CalibrationRecord& record)
{
    for (const CalibrationRecord& existing : records)
        if (sameNameIgnoringAsciiCase(existing.name, record.name))
            return 1;
    records.push_back(record);
    records.back().name[63] = 0;
    sortInLoadOrder();
    modified = true;
    return 0;
}

void CalibrationStore::sortInLoadOrder()
{
    // The key order is the INI library's own comparison (ASCII letters folded,
    // other bytes compared as signed characters); asking the library itself
    // keeps the two from ever disagreeing.
    std::string text;
    if (!toIni(text))
        return;
    CSimpleIniA ini;
    ini.SetUnicode(true);
    if (ini.LoadData(text.data(), text.size()) < 0)
        return;
    CSimpleIniA::TNamesDepend keys;
    ini.GetAllKeys(kDataSection, keys);
    std::vector<CalibrationRecord> sorted;
    std::vector<bool> taken(records.size(), false);
    sorted.reserve(records.size());
    for (const auto& key : keys)
        for (std::size_t i = 0; i < records.size(); ++i)
            if (!taken[i] && records[i].nameUtf8() == key.pItem) {
                sorted.push_back(records[i]);
                taken[i] = true;
                break;
            }
    // A name the file cannot keep has no place in its order: it stays last.
    for (std::size_t i = 0; i < records.size(); ++i)
        if (!taken[i])
            sorted.push_back(records[i]);
    records = std::move(sorted);
}

int CalibrationStore::indexOf(const std::string& utf8Name) const
{
    CalibrationRecord wanted;
    if (!CalibrationRecord::make(utf8Name, 0, 0, wanted))
        return -1;
    for (std::size_t i = 0; i < records.size(); ++i)
        if (std::char_traits<char16_t>::compare(records[i].name, wanted.name, 64) == 0)
            return static_cast<int>(i);
    for (std::size_t i = 0; i < records.size(); ++i)
        if (sameNameIgnoringAsciiCase(records[i].name, wanted.name))
            return static_cast<int>(i);
    return -1;
}

bool CalibrationStore::isStorableName(const std::string& utf8Name)
{
    CalibrationRecord record;
    if (utf8Name.empty() || !CalibrationRecord::make(utf8Name, 1.0f, 0, record))
        return false;
    // Whatever the file would lose or change shows in a round trip.
    CalibrationStore probe;
    probe.records.push_back(record);
    std::string text;
    if (!probe.toIni(text))
        return false;
    CalibrationStore back;
    return back.loadFromData(text.data(), text.size()) == CalibrationOk && back.count() == 1 &&
           back.records[0].nameUtf8() == utf8Name;
}

int CalibrationStore::removeAt(int index)
{
    if (index >= 0 && index < count()) {
        records.erase(records.begin() + index);
        modified = true;
    }
    return 0;
}

CalibrationRecord CalibrationStore::at(int index) const
{
    if (index < 0 || index >= count())
        return CalibrationRecord();
    return records[static_cast<std::size_t>(index)];
}

std::string CalibrationStore::unitName(int unit)
{
    static const char* const names[] = {"px", "cm", "mm", "um", "in", "uin"};
    if (unit < 0 || unit >= static_cast<int>(std::size(names)))
        return "n/a";
    return names[unit];
}
