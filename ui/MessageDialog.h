#pragma once
// The program's message box and the box for the program-wide error codes.
//
// Layout "xmls\dialog_messagebox.xml" with the controls "caption" (title),
// "Tex_Message" (text), "TextLayout" (the icon picture), "okbtn",
// "cancelbtn" and "closebtn".
#include "ui/BaseDialog.h"

#include <string>

class CMessageDialog : public CBaseDialog {
public:
    CMessageDialog();
    // Applies the buttons value (0 = OK only, 1 = OK and Cancel; others
    // false), the icon (16/48 warning, 32 question, 64 information; other
    // values keep the layout's picture), the title and the text.
    bool Setup(const std::string& text, const std::string& title, int buttons, int icon);
};

// Modal message box over `owner`: returns 1 for OK, 2 for Cancel, the close
// button, Escape or a window-manager close. buttons other than 0 and 1 show
// nothing and return 0.
UINT ShowMessage(HWND owner, const std::string& text, const std::string& title, int buttons = 0,
                 int icon = MB_ICONINFORMATION);

// Shows the message of a negative program-wide result code (title "Error",
// OK only, warning picture). Codes >= 0 and codes without a message (-8 and
// below) show nothing.
void ShowErrorCode(int code, HWND owner = nullptr);

// The message of a code as ShowErrorCode shows it ("" for none); -6 is the
// current language's "STR_UNSUPPORT_UPDATE".
std::string ErrorCodeMessage(int code);
