#pragma once
// CAboutDialog: the about box (product name and version, build date, the
// project's notice). Layout "xmls\dialog_about.xml". UI thread only.
#include "ui/BaseDialog.h"

namespace shell {

class CAboutDialog : public CBaseDialog {
public:
    CAboutDialog();

protected:
    void OnInitDialog() override;
};

} // namespace shell
