#pragma once
// MeasurePage: the measuring tools, delete-all, colours, CSV export, the calibration list and page and the results
// list.
#include "app/shell/WindowPart.h"

namespace shell {

class MeasurePage : public WindowPart {
public:
    using WindowPart::WindowPart;
};

} // namespace shell
