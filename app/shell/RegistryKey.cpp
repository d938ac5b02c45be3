#include "app/shell/RegistryKey.h"

#include "platform/WriteAll.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace shell {
namespace {

constexpr const char* kDword = "REG_DWORD";
constexpr const char* kString = "REG_SZ";
// No single value of this program comes near it; larger files are not ours.
constexpr std::uintmax_t kMaxValueFile = 64 * 1024;

bool validValueName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos && name[0] != '.';
}

} // namespace

std::string RegistryKey::folderForKey(const std::string& configFolder, const std::string& keyName)
{
    std::string relative = keyName;
    if (relative.rfind("Software\\", 0) == 0)
        relative = relative.substr(9);
    for (char& c : relative)
        if (c == '\\')
            c = '/';
    return configFolder + "/" + relative;
}

std::size_t RegistryKey::utf16Length(const std::string& utf8)
{
    std::size_t units = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        std::size_t len = 1;
        if (c >= 0xF0 && c < 0xF8)
            len = 4;
        else if (c >= 0xE0)
            len = 3;
        else if (c >= 0xC0)
            len = 2;
        if (c >= 0xF8 || (c >= 0x80 && c < 0xC0) || i + len > utf8.size())
            len = 1;
        units += len == 4 ? 2 : 1;
        i += len;
    }
    return units;
}

bool RegistryKey::create(const std::string& path)
{
    m_path.clear();
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (!std::filesystem::is_directory(path, ec))
        return false;
    if (::access(path.c_str(), R_OK | W_OK | X_OK) != 0)
        return false;
    m_path = path;
    return true;
}

bool RegistryKey::readValue(const std::string& name, const char* type, std::string& data) const
{
    if (!isOpen() || !validValueName(name))
        return false;
    const std::string file = m_path + "/" + name;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec) || std::filesystem::file_size(file, ec) > kMaxValueFile || ec)
        return false;
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return false;
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string header = std::string(type) + "\n";
    if (content.compare(0, header.size(), header) != 0)
        return false;
    data = content.substr(header.size());
    return true;
}

bool RegistryKey::writeValue(const std::string& name, const char* type, const std::string& data) const
{
    if (!isOpen() || !validValueName(name))
        return false;
    std::string tmpl = m_path + "/." + name + ".XXXXXX";
    const int fd = ::mkstemp(tmpl.data());
    if (fd < 0)
        return false;
    ::fchmod(fd, 0600);
    const std::string text = std::string(type) + "\n" + data;
    const bool written = platform::WriteAll(fd, text.data(), text.size()) == 0 && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || std::rename(tmpl.c_str(), (m_path + "/" + name).c_str()) != 0) {
        ::unlink(tmpl.c_str());
        return false;
    }
    return true;
}

bool RegistryKey::queryDword(const std::string& name, std::uint32_t& value) const
{
    std::string data;
    if (!readValue(name, kDword, data) || data.size() != 4)
        return false;
    const auto* b = reinterpret_cast<const unsigned char*>(data.data());
    value = static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
            static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
    return true;
}

bool RegistryKey::queryString(const std::string& name, std::string& value, std::size_t maxChars) const
{
    std::string data;
    if (!readValue(name, kString, data) || data.empty() || data.back() != '\0')
        return false;
    data.pop_back();
    if (data.find('\0') != std::string::npos || utf16Length(data) + 1 > maxChars)
        return false;
    value = data;
    return true;
}

bool RegistryKey::setDword(const std::string& name, std::uint32_t value) const
{
    std::string data(4, '\0');
    for (int i = 0; i < 4; ++i)
        data[static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return writeValue(name, kDword, data);
}

bool RegistryKey::setString(const std::string& name, const std::string& value) const
{
    if (value.find('\0') != std::string::npos)
        return false;
    return writeValue(name, kString, value + std::string(1, '\0'));
}

} // namespace shell
