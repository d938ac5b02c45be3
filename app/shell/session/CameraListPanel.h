#pragma once
// CameraListPanel: the camera list: rows of the factory's device list, link clicks, the device-change refresh and the
// network camera dialog.
#include "app/shell/WindowPart.h"

namespace shell {

class CameraListPanel : public WindowPart {
public:
    using WindowPart::WindowPart;
};

} // namespace shell
