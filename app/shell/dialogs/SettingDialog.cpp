#include "app/shell/dialogs/SettingDialog.h"

#include "app/shell/AppConfig.h"
#include "app/shell/dialogs/ReleaseInfo.h"
#include "ui/Container.h"
#include "ui/Controls.h"
#include "ui/FileDialog.h"
#include "ui/MessageDialog.h"
#include "ui/ResourceManager.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace shell {
namespace {
// Page options in the order of the pages of "setting_Tab".
constexpr const char* kPageOptions[] = {"setting_OptConv", "setting_OptFile", "setting_OptUpdate", "setting_OptSnap"};
} // namespace

CSettingDialog::CSettingDialog(std::string pageOption)
    : CBaseDialog("xmls\\dialog_setting.xml"), m_pageOption(std::move(pageOption))
{
}

int CSettingDialog::ParseCount(const std::string& text)
{
    errno = 0;
    const long value = std::strtol(text.c_str(), nullptr, 10);
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

bool CSettingDialog::IsSelected(const char* option) const
{
    auto* control = dynamic_cast<COptionUI*>(m_pm.FindControl(option));
    return control && control->IsSelected();
}

void CSettingDialog::Select(const char* option)
{
    if (auto* control = dynamic_cast<COptionUI*>(m_pm.FindControl(option)))
        control->Selected(true);
}

std::string CSettingDialog::TextOf(const char* name) const
{
    CControlUI* control = m_pm.FindControl(name);
    return control ? control->GetText() : std::string();
}

void CSettingDialog::SetTextOf(const char* name, const std::string& text)
{
    if (CControlUI* control = m_pm.FindControl(name))
        control->SetText(text);
}

void CSettingDialog::OnInitDialog()
{
    const AppConfig& config = Config();
    SetTextOf("caption", CResourceManager::GetInstance()->GetTextOrId("STR_SETTING"));
    SetTextOf("setting_LabVersion", std::string(AppConfig::kProductName) + " " + kReleaseVersion);
    SetTextOf("setting_LabVerDate", kReleaseDate);
    Select(config.FileSave_Rule != 0 ? "set_OptFileRuleFiledialog" : "set_OptFileRulePreDefine");
    Select(config.ImagePath_MyDoc < 1 ? "setting_OptFileCust" : "setting_OptFileMyDoc");
    SetTextOf("setting_EdtCustImagePath", config.ImagePath);
    if (auto* check = dynamic_cast<CCheckBoxUI*>(m_pm.FindControl("setting_ChkExitPrompt")))
        check->SetCheck(config.ExitPrompt > 0, false);
    if (auto* check = dynamic_cast<CCheckBoxUI*>(m_pm.FindControl("setting_ChkMaximizeWindow")))
        check->SetCheck(config.MaximizeWindow > 0, false);
    SetTextOf("setting_EdtPicCount", std::to_string(config.ConshotCount));
    SetTextOf("setting_EdtIntervalTime", std::to_string(config.ConshotInterval));
    if (auto* check = dynamic_cast<CCheckBoxUI*>(m_pm.FindControl("setting_ChkTimeLapse")))
        check->SetCheck(config.TimeLapse != 0, false);
    SetTextOf("setting_EdtTimeLapseInterval", std::to_string(config.TimeLapseIntervalMs));
    SetTextOf("setting_EdtTimeLapseRate", std::to_string(config.TimeLapseRate));
    if (auto* check = dynamic_cast<CCheckBoxUI*>(m_pm.FindControl("setting_ChkTimeLapseUntilStopped")))
        check->SetCheck(config.TimeLapseUntilStopped != 0, false);
    // The layout's initial selections raise no change, so the parts that
    // depend on the rule options are shown to match here.
    ShowFileRuleParts();
    if (!m_pageOption.empty())
        Select(m_pageOption.c_str());
    m_shadow.SetSize(4);
    m_shadow.SetPosition(1, 1);
    m_shadow.Create(this);
}

void CSettingDialog::ShowFileRuleParts()
{
    if (CControlUI* part = m_pm.FindControl("setting_layFileRulePreDeine"))
        part->SetVisible(IsSelected("set_OptFileRulePreDefine"));
    if (CControlUI* part = m_pm.FindControl("setting_layImagePath"))
        part->SetVisible(IsSelected("setting_OptFileCust"));
}

void CSettingDialog::OnSelectChanged(TNotifyUI& msg)
{
    if (!msg.pSender)
        return;
    const std::string name = msg.pSender->GetName();
    for (int page = 0; page < 4; ++page)
        if (name == kPageOptions[page] && IsSelected(kPageOptions[page]))
            if (auto* tab = dynamic_cast<CTabLayoutUI*>(m_pm.FindControl("setting_Tab")))
                tab->SelectItem(page);
    if (name == "set_OptFileRulePreDefine" || name == "set_OptFileRuleFiledialog" || name == "setting_OptFileCust" ||
        name == "setting_OptFileMyDoc")
        ShowFileRuleParts();
}

void CSettingDialog::OnClick(TNotifyUI& msg)
{
    if (!msg.pSender)
        return;
    const std::string name = msg.pSender->GetName();
    if (name == "setting_BtnCheckUpdate")
        ShowErrorCode(-6, GetHWND());
    else if (name == "setting_BtnBrowseImagePath")
        BrowseImageFolder();
}

void CSettingDialog::BrowseImageFolder()
{
    const std::string title = CResourceManager::GetInstance()->GetTextOrId("DLG_SET_IMAGE_FOLDER");
    const std::string folder = ui::BrowseForFolder(GetHWND(), title, Config().ImagePath);
    if (folder.empty())
        return;
    Config().ImagePath = folder;
    SetTextOf("setting_EdtCustImagePath", folder);
}

void CSettingDialog::OnOK()
{
    AppConfig& config = Config();
    config.ExitPrompt = IsSelected("setting_ChkExitPrompt") ? 1 : 0;
    config.MaximizeWindow = IsSelected("setting_ChkMaximizeWindow") ? 1 : 0;
    config.ImagePath_MyDoc = IsSelected("setting_OptFileMyDoc") ? 1 : 0;
    config.FileSave_Rule = IsSelected("set_OptFileRulePreDefine") ? 0 : 1;
    config.ConshotCount = ParseCount(TextOf("setting_EdtPicCount"));
    config.ConshotInterval = ParseCount(TextOf("setting_EdtIntervalTime"));
    // The time-lapse values are new: kept within what the timer and the
    // encoder take instead of stored as typed.
    config.TimeLapse = IsSelected("setting_ChkTimeLapse") ? 1 : 0;
    config.TimeLapseIntervalMs = std::clamp(ParseCount(TextOf("setting_EdtTimeLapseInterval")),
                                            AppConfig::kTimeLapseMinIntervalMs, AppConfig::kTimeLapseMaxIntervalMs);
    config.TimeLapseRate = std::clamp(ParseCount(TextOf("setting_EdtTimeLapseRate")), 1, 60);
    config.TimeLapseUntilStopped = IsSelected("setting_ChkTimeLapseUntilStopped") ? 1 : 0;
    Close(IDOK);
}

} // namespace shell
