#include "camera/PropertyPageHook.h"

#include <atomic>

namespace {
std::atomic<CMPropertyPageHook> g_hook{nullptr};
}

void CMSetPropertyPageHook(CMPropertyPageHook hook) { g_hook = hook; }

CMPropertyPageHook CMGetPropertyPageHook() { return g_hook.load(); }
