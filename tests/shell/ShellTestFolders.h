#pragma once
// A private HOME and XDG_CONFIG_HOME for one test, removed afterwards.
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace shelltest {

class TempHome {
public:
    TempHome()
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "pellumo-shell-XXXXXX").string();
        root = ::mkdtemp(tmpl.data());
        saveEnv("HOME");
        saveEnv("XDG_CONFIG_HOME");
        ::setenv("HOME", root.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    }
    ~TempHome()
    {
        restoreEnv("HOME", oldHome, hadHome);
        restoreEnv("XDG_CONFIG_HOME", oldConfig, hadConfig);
        std::error_code ec;
        std::filesystem::permissions(keyFolder(), std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(root, ec);
    }
    std::string keyFolder() const { return root + "/config/Pellumo/Config"; }
    std::string documentsImages() const { return root + "/Documents/Pellumo Files/Images/"; }

    std::string root;

private:
    void saveEnv(const char* name)
    {
        const char* v = std::getenv(name);
        std::string& slot = std::string(name) == "HOME" ? oldHome : oldConfig;
        bool& had = std::string(name) == "HOME" ? hadHome : hadConfig;
        had = v != nullptr;
        slot = v ? v : "";
    }
    static void restoreEnv(const char* name, const std::string& value, bool had)
    {
        if (had)
            ::setenv(name, value.c_str(), 1);
        else
            ::unsetenv(name);
    }
    std::string oldHome, oldConfig;
    bool hadHome = false, hadConfig = false;
};

// Sets the locale variables for one test and restores them.
class LocaleEnv {
public:
    explicit LocaleEnv(const std::string& lang)
    {
        for (const char* n : kNames) {
            const char* v = std::getenv(n);
            saved.emplace_back(n, v ? std::optional<std::string>(v) : std::nullopt);
            ::unsetenv(n);
        }
        ::setenv("LANG", lang.c_str(), 1);
    }
    ~LocaleEnv()
    {
        for (auto& [n, v] : saved) {
            if (v)
                ::setenv(n, v->c_str(), 1);
            else
                ::unsetenv(n);
        }
    }
    static constexpr const char* kNames[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};

private:
    std::vector<std::pair<const char*, std::optional<std::string>>> saved;
};

} // namespace shelltest
