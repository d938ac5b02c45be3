#pragma once
// A camera's property page shown by the host. The library describes a
// device's controls and reads and writes them; the host, which owns the
// windows, registers a hook that shows them as a dialog. Without a hook,
// ShowPropertyPages shows nothing.
#include "camera/LensbridgeExport.h"

#include <string>
#include <utility>
#include <vector>

// One adjustable control of a device, as its driver describes it.
struct LENSBRIDGE_API CMControlDescription {
    enum Kind { Integer = 0, Boolean = 1, Menu = 2, Button = 3 };
    unsigned id = 0;
    Kind kind = Integer;
    std::string name;
    int minimum = 0, maximum = 0, step = 1, defaultValue = 0;
    bool inactive = false;                         // an automatic mode drives it now
    std::vector<std::pair<int, std::string>> menu; // (value, label) for Menu
};

// The controls of one open camera. UI thread; valid during the hook call.
class LENSBRIDGE_API CMControlPanel {
public:
    virtual ~CMControlPanel() = default;
    // Read again after every change: one control's mode can activate another.
    virtual std::vector<CMControlDescription> controls() = 0;
    // 0 or a negative camera error code.
    virtual int getControl(unsigned id, int* value) = 0;
    virtual int setControl(unsigned id, int value) = 0;
};

// Shows `panel` modally, owned by `parentWindow`, titled `title`.
using CMPropertyPageHook = void (*)(void* parentWindow, const char* title, CMControlPanel* panel);

// Registers the host's hook (null removes it). Call once at start.
LENSBRIDGE_API void CMSetPropertyPageHook(CMPropertyPageHook hook);
// The registered hook, or null.
LENSBRIDGE_API CMPropertyPageHook CMGetPropertyPageHook();
