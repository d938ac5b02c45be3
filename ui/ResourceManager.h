#pragma once
// CResourceManager: the language texts. Language files are layered: each
// LoadLanguage adds its ids over those loaded before, so loading the English
// file first gives every id at least its English text.
//
// Language file (in the skin):
//   <Language locale="en_US">
//     <Text id="STR_ERROR">Error</Text>
//   </Language>
#include "ui/UIDefs.h"

#include <string>
#include <unordered_map>

class CResourceManager {
public:
    static CResourceManager* GetInstance();

    // Loads a language file of the skin over the texts loaded so far.
    // False when the file is missing or malformed (nothing changes then).
    bool LoadLanguage(const std::string& file);
    // The text of an id, or null when no file had it (and the text query
    // interface answered null).
    LPCTSTR GetText(const std::string& id, LPCTSTR type = nullptr);
    // Text of an id, or the id itself when unknown.
    std::string GetTextOrId(const std::string& id);
    // Re-applies the texts of every control with a language id.
    void ReloadText();

    // The current locale code ("en_US", ...). The layer only keeps it.
    void SetLanguage(const std::string& locale) { m_locale = locale; }
    const std::string& GetLanguage() const { return m_locale; }

    void SetTextQueryInterface(IQueryControlText* query) { m_query = query; }
    // Unregisters `query` if it is the registered one (its owner is going).
    void ForgetTextQueryInterface(IQueryControlText* query)
    {
        if (m_query == query)
            m_query = nullptr;
    }
    // Forgets every text (and the text query interface).
    void Release();

private:
    std::unordered_map<std::string, std::string> m_texts;
    std::string m_locale = "en_US";
    IQueryControlText* m_query = nullptr;
};
