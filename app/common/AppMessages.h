#pragma once
// The program's own window messages: every id the measurement engine, the
// render view, the camera session and the main window exchange. All go to the
// main window. The framework's menu-command id (WM_MENUCLICK) belongs to ui/.
#include "platform/WindowMessages.h"

// Sent synchronously by the measurement container after its lock is released.
constexpr platform::UINT WM_MEASURE_ADDED = platform::WM_USER + 110; // a primitive was finished; wParam 0
constexpr platform::UINT WM_MEASURE_REMOVED =
    platform::WM_USER + 111; // a primitive was deleted; wParam its former index
constexpr platform::UINT WM_MEASURE_CLEARED = platform::WM_USER + 112; // every primitive was deleted; wParam 0
constexpr platform::UINT WM_MEASURE_CHANGED =
    platform::WM_USER + 113; // a primitive moved or changed; wParam index, lParam 1 in calibration mode
// Posted by the measurement container, so that asking for the text runs
// outside the mouse handling.
constexpr platform::UINT WM_MEASURE_TEXT_PLACED = platform::WM_USER + 117; // a text marker was placed; wParam index

// Posted by the render view on a double click of the picture.
constexpr platform::UINT WM_RENDER_TOGGLE_FULLSCREEN = platform::WM_USER + 114; // toggle full screen
// Posted by the render view when the size of the picture it shows changed
// (another camera size, another camera); wParam width, lParam height.
constexpr platform::UINT WM_RENDER_PICTURE_SIZE = platform::WM_USER + 116;
// Posted by the render view when its zoom changed; wParam the zoom in per cent.
constexpr platform::UINT WM_RENDER_ZOOM_CHANGED = platform::WM_USER + 115;

// Raised by the frame callback for report kinds 2 and 1 (the camera library
// never sends these kinds; the handlers exist for cameras that would).
constexpr platform::UINT WM_CAMERA_WHITE_BALANCE_REPORT = platform::WM_USER + 130; // one-push white balance done
constexpr platform::UINT WM_CAMERA_EXPOSURE_REPORT = platform::WM_USER + 131;      // automatic exposure settled

// Posted by the camera session to the main window (app/shell/session).
constexpr platform::UINT WM_SESSION_OPEN_DONE =
    platform::WM_USER + 140; // an open finished; wParam 0 opened, 1 failed, 2 not opened
constexpr platform::UINT WM_SESSION_DEVICES_LISTED = platform::WM_USER + 141; // a device listing finished
constexpr platform::UINT WM_SESSION_STATUS =
    platform::WM_USER + 142; // the open camera was lost (wParam 1) or came back (wParam 2)
constexpr platform::UINT WM_APP_TERMINATE =
    platform::WM_USER + 143; // SIGTERM or SIGINT: close without the question (wParam the signal)

// Posted by the still a snapshot waits for on the camera session's worker
// (app/shell/capture): the picture, or the camera's failure to give one, waits.
constexpr platform::UINT WM_SNAPSHOT_TAKEN = platform::WM_USER + 150;
// Posted by the still a freeze waits for on the camera session's worker
// (app/shell/picture): the picture, or none, waits.
constexpr platform::UINT WM_FREEZE_STILL_TAKEN = platform::WM_USER + 151;
// Posted by a recording's start on the camera session's worker
// (app/shell/capture): the recorder opened, or could not be opened.
constexpr platform::UINT WM_RECORDING_OPENED = platform::WM_USER + 152;

// Posted by the focus workers to the main window (app/shell/focus).
constexpr platform::UINT WM_FOCUS_FIGURE = platform::WM_USER + 160; // a new focus figure waits
constexpr platform::UINT WM_FOCUS_STACK =
    platform::WM_USER + 161; // the focus stack grew (wParam 0) or the frame size changed (wParam 1)

// Posted by the panorama worker to the main window (app/shell/panorama): a
// new picture or state waits, or the run cannot go on.
constexpr platform::UINT WM_PANORAMA_NEWS = platform::WM_USER + 170;

// Posted by the desktop's folder opener (ui::OpenFolder) to the main window
// when it found no file manager or failed; wParam its exit status.
constexpr platform::UINT WM_FOLDER_OPENER_FAILED = platform::WM_USER + 180;
