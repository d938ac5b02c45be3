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
    switch (failure) {
    case CM_OPEN_FAILURE_PERMISSION: return "STR_USB_ACCESS_RULE";
    case CM_OPEN_FAILURE_VIDEO_GROUP: return "STR_VIDEO_GROUP_ACCESS";
    case CM_OPEN_FAILURE_BUSY: return "STR_CAMERA_BUSY";
    case CM_OPEN_FAILURE_REFUSED: return "STR_OPEN_REFUSED";
    case CM_OPEN_FAILURE_TIMED_OUT: return "STR_OPEN_TIMED_OUT";
    case CM_OPEN_FAILURE_UNREACHABLE: return "STR_OPEN_UNREACHABLE";
    case CM_OPEN_FAILURE_NOT_A_STREAM: return "STR_OPEN_NOT_A_STREAM";
    default: return nullptr;
    }
}
