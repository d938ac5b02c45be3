#include "ui/MessageDialog.h"

#include "ui/Control.h"
#include "ui/ResourceManager.h"

namespace {
const char* kLayout = "xmls\\dialog_messagebox.xml";
const char* kWarningImage = "file='ui\\images\\msgboxbg_warning.png' dest='0,0,110,110'";
const char* kQuestionImage = "file='ui\\images\\msgboxbg_question.png' dest='0,0,110,110'";
const char* kInformationImage = "file='ui\\images\\msgboxbg_information.png' dest='0,0,110,110'";

void setText(CPaintManagerUI& pm, const char* name, const std::string& text)
{
    if (CControlUI* control = pm.FindControl(name))
        control->SetText(text);
}
} // namespace

CMessageDialog::CMessageDialog() : CBaseDialog(kLayout) {}

bool CMessageDialog::Setup(const std::string& text, const std::string& title, int buttons, int icon)
{
    if (buttons != 0 && buttons != 1)
        return false;
    if (CControlUI* cancel = m_pm.FindControl("cancelbtn"))
        cancel->SetVisible(buttons == 1);
    const char* image = nullptr;
    if (icon == MB_ICONERROR || icon == MB_ICONWARNING)
        image = kWarningImage;
    else if (icon == MB_ICONQUESTION)
        image = kQuestionImage;
    else if (icon == MB_ICONINFORMATION)
        image = kInformationImage;
    if (image)
        if (CControlUI* picture = m_pm.FindControl("TextLayout"))
            picture->SetBkImage(image);
    setText(m_pm, "caption", title);
    setText(m_pm, "Tex_Message", text);
    return true;
}

UINT ShowMessage(HWND owner, const std::string& text, const std::string& title, int buttons, int icon)
{
    // An unknown buttons value shows nothing, so the window is not even made.
    if (buttons != 0 && buttons != 1)
        return 0;
    CMessageDialog dialog;
    if (!dialog.Create(owner))
        return 0;
    dialog.CenterWindow();
    dialog.Setup(text, title, buttons, icon);
    dialog.CenterWindow();
    return dialog.ShowModal();
}

std::string ErrorCodeMessage(int code)
{
    switch (code) {
    case -1: return "Failed to get personal document folder.";
    case -2: return "Failed to create directory.";
    case -3: return "Failed to open configuration file.";
    case -4: return "Failed to save configuration file.";
    case -5: return "Configuration file path error.";
    case -6: return CResourceManager::GetInstance()->GetTextOrId("STR_UNSUPPORT_UPDATE");
    case -7: return "Failed to initialize image render.";
    default: return {};
    }
}

void ShowErrorCode(int code, HWND owner)
{
    if (code >= 0)
        return;
    const std::string message = ErrorCodeMessage(code);
    if (message.empty())
        return;
    ShowMessage(owner, message, "Error", 0, MB_ICONWARNING);
}
