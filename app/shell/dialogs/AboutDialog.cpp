#include "app/shell/dialogs/AboutDialog.h"

#include "app/shell/AppConfig.h"
#include "app/shell/dialogs/ReleaseInfo.h"
#include "ui/Control.h"
#include "ui/ResourceManager.h"

namespace shell {

CAboutDialog::CAboutDialog() : CBaseDialog("xmls\\dialog_about.xml") {}

void CAboutDialog::OnInitDialog()
{
    CResourceManager* texts = CResourceManager::GetInstance();
    const auto set = [this](const char* name, const std::string& text) {
        if (CControlUI* control = m_pm.FindControl(name))
            control->SetText(text);
    };
    set("caption", texts->GetTextOrId("DLG_ABOUT_ABOUT"));
    if (CControlUI* picture = m_pm.FindControl("TextLayout"))
        picture->SetBkImage("file='ui\\images\\msgboxbg_information.png' dest='0,0,110,110'");
    set("textName", std::string(AppConfig::kProductName) + " " + kReleaseVersion);
    set("textDate", kReleaseDate);
    set("textCopyright", texts->GetTextOrId("DLG_ABOUT_NOTICE"));
}

} // namespace shell
