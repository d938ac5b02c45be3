#pragma once
// The typed key/value store that stands in for the registry. A key is a
// folder under the user's configuration folder ("Software\Pellumo\Config" →
// $XDG_CONFIG_HOME/Pellumo/Config); each value is one file in it:
//
//   line 1: "REG_DWORD" or "REG_SZ"
//   then:   the raw data: 4 bytes little-endian for a DWORD, UTF-8 text with
//           one terminating zero byte for a string
//
// Values are written atomically (temporary file in the same folder, flushed,
// then renamed over the old one), so a crash never leaves half a value. A
// value whose type tag, size or terminator is wrong reads as missing and the
// file is left as it is.
#include <cstdint>
#include <string>

namespace shell {

class RegistryKey {
public:
    // Opens the key folder `path` (absolute), creating it with its parents
    // when missing. False when it cannot be created or is not a folder.
    bool create(const std::string& path);
    bool isOpen() const { return !m_path.empty(); }
    const std::string& path() const { return m_path; }
    void close() { m_path.clear(); }

    // False when the value is missing, of another type or of another size.
    bool queryDword(const std::string& name, std::uint32_t& value) const;
    // maxChars counts UTF-16 units including the terminating zero, as the
    // caller's buffer would; a longer stored text reads as missing.
    bool queryString(const std::string& name, std::string& value, std::size_t maxChars) const;

    bool setDword(const std::string& name, std::uint32_t value) const;
    // The text must not contain a zero byte.
    bool setString(const std::string& name, const std::string& value) const;

    // The registry-style key name "Software\Pellumo\Config" as a folder
    // under the configuration folder.
    static std::string folderForKey(const std::string& configFolder, const std::string& keyName);

    // UTF-16 units of a UTF-8 text (malformed bytes count one each).
    static std::size_t utf16Length(const std::string& utf8);

private:
    bool readValue(const std::string& name, const char* type, std::string& data) const;
    bool writeValue(const std::string& name, const char* type, const std::string& data) const;
    std::string m_path;
};

} // namespace shell
