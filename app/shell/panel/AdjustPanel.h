#pragma once
// AdjustPanel: the adjustment drawers and their 14 rows of sliders, automatic modes, colour mode, mains frequency, flip
// and mirror.
#include "app/shell/WindowPart.h"

namespace shell {

class AdjustPanel : public WindowPart {
public:
    using WindowPart::WindowPart;
};

} // namespace shell
