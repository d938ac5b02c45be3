#pragma once
// Where the pointer was at the application's last mouse event, in screen
// coordinates, as the event carried it. Asking the display server for the
// pointer (QCursor::pos) waits for a round trip, which takes milliseconds
// when the server is busy drawing the live picture; a notification does not
// need a fresher position than the last event's.

#include <QPoint>

namespace ui::detail {

// UI thread. Starts watching on the first call (one query of the server
// then); after that, never asks the server.
QPoint lastPointerPosition();

} // namespace ui::detail
