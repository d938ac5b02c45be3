#pragma once
// The box that asks for a text marker's text when the marker is placed: one
// line of at most 200 characters, OK and Cancel. UI thread only.
#include "ui/BaseDialog.h"

#include <optional>
#include <string>

namespace shell {

class CMarkerTextDialog : public CBaseDialog {
public:
    CMarkerTextDialog();

    void OnInitDialog() override;
    void OnOK() override;
    // The text typed, once closed with OK (Enter or the OK button).
    const std::string& Text() const { return m_text; }

private:
    std::string m_text;
};

// Asks modally over `owner`; nothing when cancelled (Cancel, Escape, the
// close button) or when the box could not be made.
std::optional<std::string> AskMarkerText(HWND owner);

} // namespace shell
