#pragma once
// The property page of a video camera: one row per control of the device, as
// its driver describes it (integers as sliders, booleans as check boxes,
// menus as combo boxes, buttons as buttons). A change goes to the device at
// once; rows that an automatic mode drives are greyed out and follow it.
// UI thread only.
#include "camera/PropertyPageHook.h"
#include "ui/BaseDialog.h"

#include <vector>

namespace shell {

class VideoControlsDialog : public CBaseDialog {
public:
    VideoControlsDialog(CMControlPanel& panel, std::string title);

    // The layout, generated from the controls the panel has now.
    static std::string Layout(const std::string& title, const std::vector<CMControlDescription>& controls);

    void Notify(TNotifyUI& msg) override;
    LRESULT OnCreate(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;

private:
    // Reads every control again: values, and which rows are active.
    void Refresh();
    void Apply(unsigned id, int value);

    CMControlPanel& m_panel;
    std::string m_title;
    std::vector<CMControlDescription> m_controls;
    bool m_refreshing = false;
};

// Shows the dialog modally over `owner`.
void ShowVideoControls(HWND owner, const char* title, CMControlPanel* panel);
// Ends the open settings dialog as cancelled, with every modal window opened
// on top of it; nothing when none is open. Called before the camera whose
// controls it shows is released (its panel then fails every change anyway).
void CloseVideoControls();

// Makes lensbridge's video cameras show their property page with this dialog
// (registers the hook with CMSetPropertyPageHook). Call once at start.
void RegisterVideoControlsDialog();

} // namespace shell
