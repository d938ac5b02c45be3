#include "app/view/ShadingStore.h"

#include "platform/UserFolders.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

ShadingStore::ShadingStore()
    : m_folder((fs::path(platform::documentsFolder()) / "Pellumo Files" / "data" / "shading").string())
{
}

ShadingStore::ShadingStore(std::string folder) : m_folder(std::move(folder)) {}

std::string ShadingStore::fileFor(const std::string& identity, int width, int height) const
{
    // Identities carry spaces, colons and slashes: every byte that is not a
    // letter or digit is written as its hex value, so names never collide.
    std::string name;
    for (unsigned char c : identity) {
        if (std::isalnum(c)) {
            name += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "_%02x", c);
            name += hex;
        }
    }
    return (fs::path(m_folder) / (name + "-" + std::to_string(width) + "x" + std::to_string(height) + ".png")).string();
}

bool ShadingStore::save(const std::string& identity, const ShadingReference& reference) const
{
    std::error_code error;
    fs::create_directories(m_folder, error);
    return !reference.empty() && reference.save(fileFor(identity, reference.width, reference.height));
}

bool ShadingStore::load(const std::string& identity, int width, int height, ShadingReference& reference) const
{
    ShadingReference read;
    std::error_code error;
    const std::string file = fileFor(identity, width, height);
    // Most sizes have none: not even an attempt to read (which would log).
    if (width <= 0 || height <= 0 || !fs::exists(file, error) || !ShadingReference::load(file, read))
        return false;
    // A map of another shape than this size's was not made for it.
    if (std::abs(read.smoothed.cols * height - read.smoothed.rows * width) > width + height)
        return false;
    read.width = width;
    read.height = height;
    reference = read;
    return true;
}

bool ShadingStore::remove(const std::string& identity, int width, int height) const
{
    std::error_code error;
    return fs::remove(fileFor(identity, width, height), error);
}
