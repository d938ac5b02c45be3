#pragma once
// CSettingDialog: the settings dialog (general, saving pictures, version,
// continuous shooting). Layout "xmls\dialog_setting.xml". Reads the settings
// record at start and writes it on OK only; a folder chosen with the browser
// is written at once, so it stays even when the dialog is cancelled.
// UI thread only.
#include "ui/BaseDialog.h"
#include "ui/ShadowWindow.h"

#include <string>

namespace shell {

class CSettingDialog : public CBaseDialog {
public:
    // `pageOption`: empty, or the name of the page option to select at start
    // ("setting_OptSnap").
    explicit CSettingDialog(std::string pageOption = {});

    void OnOK() override;
    // The extra shadow behind the dialog (drawn only under a compositor).
    const CWndShadow& Shadow() const { return m_shadow; }

    // Edit text read as a base-10 integer: leading digits count, text that is
    // not a number gives 0, values beyond the int range are clamped.
    static int ParseCount(const std::string& text);

protected:
    void OnInitDialog() override;
    void OnClick(TNotifyUI& msg) override;
    void OnSelectChanged(TNotifyUI& msg) override;

private:
    bool IsSelected(const char* option) const;
    void Select(const char* option);
    std::string TextOf(const char* name) const;
    void SetTextOf(const char* name, const std::string& text);
    void ShowFileRuleParts();
    void BrowseImageFolder();

    std::string m_pageOption;
    CWndShadow m_shadow;
};

} // namespace shell
