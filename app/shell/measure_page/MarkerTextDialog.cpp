#include "app/shell/measure_page/MarkerTextDialog.h"

#include "ui/Controls.h"
#include "ui/ResourceManager.h"

namespace shell {

CMarkerTextDialog::CMarkerTextDialog() : CBaseDialog("xmls\\dialog_marker_text.xml") {}

void CMarkerTextDialog::OnInitDialog()
{
    if (CControlUI* caption = m_pm.FindControl("caption"))
        caption->SetText(CResourceManager::GetInstance()->GetTextOrId("STR_MARKER_TEXT_TITLE"));
    if (CControlUI* edit = m_pm.FindControl("MarkerEdtText"))
        edit->SetFocus();
}

void CMarkerTextDialog::OnOK()
{
    if (CControlUI* edit = m_pm.FindControl("MarkerEdtText"))
        m_text = edit->GetText();
    Close(IDOK);
}

std::optional<std::string> AskMarkerText(HWND owner)
{
    CMarkerTextDialog dialog;
    if (!dialog.Create(owner))
        return std::nullopt;
    dialog.CenterWindow();
    if (dialog.ShowModal() != IDOK)
        return std::nullopt;
    return dialog.Text();
}

} // namespace shell
