#pragma once
// CaptureCommands: snapshots, the snap menu, timed series, recording, the image folder and view screenshots.
#include "app/shell/WindowPart.h"

namespace shell {

class CaptureCommands : public WindowPart {
public:
    using WindowPart::WindowPart;
};

} // namespace shell
