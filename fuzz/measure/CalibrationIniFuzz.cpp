// The calibrations INI loader on arbitrary bytes: no crash, only usable
// records, and what it keeps (names, factors, units, picture sizes) survives a
// save and a reload.
#include "app/measure/CalibrationStore.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CalibrationStore store;
    if (store.loadFromData(reinterpret_cast<const char*>(data), size) != CalibrationOk)
        return 0;
    for (int i = 0; i < store.count(); ++i) {
        const CalibrationRecord r = store.at(i);
        if (!(r.factor > 0) || !std::isfinite(r.factor) || r.name[0] == 0 || r.name[63] != 0)
            std::abort();
    }
    std::string text;
    if (!store.toIni(text))
        std::abort();
    CalibrationStore again;
    if (again.loadFromData(text.data(), text.size()) != CalibrationOk || again.count() != store.count())
        std::abort();
    for (int i = 0; i < store.count(); ++i) {
        const CalibrationRecord a = store.at(i), b = again.at(i);
        if (a.nameUtf8() != b.nameUtf8() || a.unit != b.unit || std::fabs(a.factor - b.factor) > a.factor * 1e-5f ||
            a.width != b.width || a.height != b.height || (a.width > 0) != (a.height > 0))
            std::abort();
        // The factor for any picture stays usable.
        const CalibrationScale scale = a.scaleFor(640, 480);
        if (!(scale.factor > 0) || !std::isfinite(scale.factor))
            std::abort();
    }
    return 0;
}
