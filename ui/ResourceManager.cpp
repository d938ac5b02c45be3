#include "ui/ResourceManager.h"

#include "platform/DebugOutput.h"
#include "ui/Control.h"
#include "ui/PaintManager.h"
#include "ui/internal/Resources.h"

#include <QXmlStreamReader>

#include <unordered_map>

using namespace ui::detail;

CResourceManager* CResourceManager::GetInstance()
{
    static CResourceManager instance;
    return &instance;
}

bool CResourceManager::LoadLanguage(const std::string& file)
{
    QByteArray bytes;
    if (!readSkinFile(file, bytes)) {
        platform::DebugPrintf("language file missing: %s\n", file.c_str());
        return false;
    }
    // Parse everything first so a broken file changes nothing.
    std::unordered_map<std::string, std::string> texts;
    QXmlStreamReader xml(bytes);
    if (!xml.readNextStartElement() || xml.name() != QLatin1String("Language")) {
        if (!xml.hasError())
            xml.raiseError("root element is not <Language>");
    } else {
        while (xml.readNextStartElement()) {
            if (xml.name() == QLatin1String("Text")) {
                const std::string id = toStd(xml.attributes().value("id").toString());
                const std::string text = toStd(xml.readElementText());
                if (!id.empty())
                    texts[id] = text;
            } else {
                xml.skipCurrentElement();
            }
        }
    }
    if (xml.hasError()) {
        platform::DebugPrintf("language file %s: %s\n", file.c_str(), toStd(xml.errorString()).c_str());
        return false;
    }
    for (auto& [id, text] : texts)
        m_texts[id] = std::move(text);
    return true;
}

LPCTSTR CResourceManager::GetText(const std::string& id, LPCTSTR type)
{
    if (m_query)
        if (LPCTSTR text = m_query->QueryControlText(id.c_str(), type))
            return text;
    auto it = m_texts.find(id);
    return it == m_texts.end() ? nullptr : it->second.c_str();
}

std::string CResourceManager::GetTextOrId(const std::string& id)
{
    LPCTSTR text = GetText(id);
    return text ? std::string(text) : id;
}

void CResourceManager::ReloadText()
{
    for (CPaintManagerUI* manager : CPaintManagerUI::Managers())
        if (CControlUI* root = manager->GetRoot())
            root->ReloadText();
}

void CResourceManager::Release()
{
    m_texts.clear();
    m_query = nullptr;
}
