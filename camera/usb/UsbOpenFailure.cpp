#include "camera/usb/UsbOpenFailure.h"

#include "camera/usb/UsbOpenFailureRecord.h"

#include <atomic>

namespace {
std::atomic<int> g_lastOpenFailure{CM_OPEN_FAILURE_NONE};
} // namespace

void recordOpenFailure(int failure) { g_lastOpenFailure = failure; }

int CMGetLastOpenFailure() { return g_lastOpenFailure.load(); }

const char* CMOpenFailureTextId(int failure)
{
    return failure == CM_OPEN_FAILURE_PERMISSION ? "STR_USB_ACCESS_RULE" : nullptr;
}
