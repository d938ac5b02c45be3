// The dialogs' entry points: each dialog is created, shown modal over its
// owner and destroyed here.
#include "app/shell/dialogs/Dialogs.h"

#include "app/shell/dialogs/AboutDialog.h"
#include "app/shell/dialogs/SettingDialog.h"
#include "app/shell/dialogs/WirelessCameraDialog.h"
#include "camera/factory/CMFactory.h"

namespace shell {

void ShowAbout(HWND owner)
{
    CAboutDialog dialog;
    if (!dialog.Create(owner))
        return;
    dialog.CenterWindow();
    dialog.ShowModal();
}

bool ShowSettings(HWND owner, const std::string& pageOption)
{
    CSettingDialog dialog(pageOption);
    if (!dialog.Create(owner))
        return false;
    dialog.CenterWindow();
    return dialog.ShowModal() == IDOK;
}

NetworkCameraChoice ShowNetworkCameraDialog(HWND owner)
{
    CWirelessCameraDialog dialog;
    if (!dialog.Create(owner))
        return {};
    dialog.CenterWindow();
    if (dialog.ShowModal() != IDOK)
        return {};
    NetworkCameraChoice choice;
    if (dialog.ClosedPage() == 1) {
        choice.protocol = CMFactory::kRtspStream;
        choice.address = dialog.ClosedUrl();
    } else {
        choice.protocol = CMFactory::kWirelessBox;
        choice.address = dialog.ClosedAddress();
    }
    choice.chosen = !choice.address.empty();
    return choice;
}

} // namespace shell
