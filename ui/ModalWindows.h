#pragma once
// Ending modal windows from outside their own code: a logout that must not
// wait for a question to be answered, a device that goes away while its
// settings dialog is open.
//
// A modal window here is every nested run the UI layer starts: a window's
// ShowModal (dialogs, message boxes) and the open, save and folder dialogs.
// Ending one ends it as cancelled: a window gets WM_CLOSE with IDCANCEL, so
// its own cancel path runs (a dialog that keeps itself open is destroyed
// anyway) and its ShowModal returns IDCANCEL; a file dialog returns "".
//
// The calls return at once. Each ended run returns to its caller only when
// control gets back to its loop, innermost first, so code after a ShowModal
// call runs after the caller of these functions has returned to the event
// loop. Until then the run still counts in ModalWindowCount().
//
// UI thread only.
#include "ui/UIDefs.h"

namespace ui {

// Ends every open modal window as cancelled, the innermost first.
void CloseModalWindows();

// Ends the modal window `window` as cancelled together with every modal
// window opened on top of it (a question the dialog asked, a file dialog it
// opened). False, with nothing ended, when `window` is not running modal.
bool CloseModalWindow(HWND window);

// Modal runs on the stack now: open ones and ended ones that have not yet
// returned to their caller. 0 means no nested loop of the UI layer runs.
int ModalWindowCount();

} // namespace ui
