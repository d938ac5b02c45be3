#include "app/shell/Language.h"

#include "app/shell/AppConfig.h"
#include "ui/PaintManager.h"
#include "ui/ResourceManager.h"
#include "ui/Window.h"

#include <strings.h>

namespace shell {

const LanguageEntry* FindLanguage(int id)
{
    for (const LanguageEntry& entry : kLanguages)
        if (entry.id == id)
            return &entry;
    return nullptr;
}

const LanguageEntry* FindLanguageByMenuItem(const std::string& itemName)
{
    for (const LanguageEntry& entry : kLanguages)
        if (::strcasecmp(entry.menuItem, itemName.c_str()) == 0)
            return &entry;
    return nullptr;
}

void ApplyLanguage(int id)
{
    // Negative ids have no row either; the check keeps them out of the table.
    const LanguageEntry* entry = FindLanguage(id);
    if (id > 5 || !entry)
        return;
    Config().Language = id;
    CResourceManager& texts = *CResourceManager::GetInstance();
    texts.SetLanguage("en_US");
    texts.LoadLanguage("xmls\\lang\\strings_en_US.xml");
    texts.SetLanguage(entry->locale);
    texts.LoadLanguage(entry->file);
    texts.ReloadText();
    for (CPaintManagerUI* manager : CPaintManagerUI::Managers()) {
        manager->Invalidate();
        manager->NeedUpdate();
    }
}

} // namespace shell
