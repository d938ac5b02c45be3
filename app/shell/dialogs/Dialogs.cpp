// Stand-ins until the dialogs are built: nothing is shown, nothing chosen.
#include "app/shell/dialogs/Dialogs.h"

namespace shell {

void ShowAbout(HWND) {}

bool ShowSettings(HWND, const std::string&) { return false; }

NetworkCameraChoice ShowNetworkCameraDialog(HWND) { return {}; }

} // namespace shell
