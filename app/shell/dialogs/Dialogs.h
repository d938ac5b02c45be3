#pragma once
// The program's dialogs as the main window and its parts open them. Each is
// modal over `owner`, runs on the UI thread and is destroyed before returning.
#include "ui/UIDefs.h"

#include <string>

namespace shell {

// The about box (version and date, the project's notice).
void ShowAbout(HWND owner);

// The settings dialog; `pageOption` is empty or the name of the page option to
// select at start ("setting_OptSnap" from the snap menu). True when closed
// with OK (the settings were written to the configuration record).
bool ShowSettings(HWND owner, const std::string& pageOption = std::string());

// What the network camera dialog chose.
struct NetworkCameraChoice {
    bool chosen = false; // false: cancelled, or an empty address or URL
    int protocol = 0;    // 7: wireless box at `address`; 8: RTSP URL in `address`
    std::string address;
};

// The network camera dialog: box scan list and address, or an RTSP URL.
NetworkCameraChoice ShowNetworkCameraDialog(HWND owner);

} // namespace shell
