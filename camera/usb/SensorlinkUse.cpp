#include "camera/usb/SensorlinkUse.h"

#include <map>
#include <mutex>

namespace {

struct UseCount {
    int holders = 0;
    bool initialisedByUs = false; // false: somebody else initialised the SDK; leave it to them
};

std::mutex& useMutex()
{
    static std::mutex mutex;
    return mutex;
}

// Keyed by SDK table, so a scripted SDK in a test never shares a count with the real one.
std::map<const SensorlinkApi*, UseCount>& useCounts()
{
    static std::map<const SensorlinkApi*, UseCount> counts;
    return counts;
}

} // namespace

SensorlinkUse::SensorlinkUse(const SensorlinkApi& api) : m_api(api)
{
    std::lock_guard lock(useMutex());
    UseCount& count = useCounts()[&api];
    ++count.holders;
    // Also retried by later holders after a failed initialisation.
    if (!count.initialisedByUs) {
        m_initResult = api.init();
        count.initialisedByUs = m_initResult == VEXEL_OK;
    }
}

SensorlinkUse::~SensorlinkUse()
{
    std::lock_guard lock(useMutex());
    UseCount& count = useCounts()[&m_api];
    if (--count.holders == 0) {
        if (count.initialisedByUs)
            m_api.uninit();
        count.initialisedByUs = false;
    }
}
