#pragma once
// Whether a standards-compliant window manager runs on an X display (ui/ internal).
namespace ui::detail {

// `display` is an Xlib Display*; false for null.
bool x11WindowManagerRunning(void* display);
// The position of X window `window` on the root window, as the server has it.
bool x11RootPosition(void* display, unsigned long window, int& x, int& y);

} // namespace ui::detail
