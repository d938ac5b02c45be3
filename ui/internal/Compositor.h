#pragma once
// Whether top-level windows can be partly transparent (a compositing manager
// runs), so the skin's drop shadow can be drawn around them (ui/ internal).
namespace ui::detail {
bool compositingAvailable();
}
