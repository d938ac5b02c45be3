#pragma once
// Records, codes and the frame-callback type shared by every camera and the host.

#include "camera/LensbridgeExport.h"

#include <vector>

// Pixel-format codes carried by every image.
enum {
    FMT_RGB24 = 0,  // 3 bytes R, G, B; top-down
    FMT_BGR24 = 1,  // 3 bytes B, G, R
    FMT_RGB32 = 2,  // 4 bytes; handled exactly like FMT_RGBA32
    FMT_RGBA32 = 3, // 4 bytes; colour in bytes 0..2, byte 3 never touched
    FMT_YUY2 = 6,   // packed 4:2:2
    FMT_YUYV = 8,   // packed 4:2:2, alternative layout
    FMT_MJPG = 20,  // one JPEG per frame
    FMT_H264 = 21,  // stream format only; frames reach the host decoded (as FMT_I420)
    FMT_UNKNOWN = 22,
    FMT_NV12 = 23, // planar 4:2:0: Y plane, then one plane of interleaved U, V
    FMT_I420 = 24, // planar 4:2:0: Y plane, then U and V planes (V4L2's YU12)
    FMT_GREY = 25, // 8-bit luminance only
};

// Bytes per pixel of an uncompressed format code; 0 for compressed or unknown.
constexpr int CMBytesPerPixel(int format)
{
    switch (format) {
    case FMT_RGB24:
    case FMT_BGR24: return 3;
    case FMT_RGB32:
    case FMT_RGBA32: return 4;
    case FMT_YUY2:
    case FMT_YUYV: return 2;
    default: return 0;
    }
}

// Result codes of the camera operations (0 is success).
enum {
    CM_OK = 0,
    CM_E_INVALIDARG = -2,
    CM_E_NOMEM = -3,
    CM_E_NOTSUPPORTED = -4,
    CM_E_OPEN = -6,
    CM_E_STREAM = -7,
    CM_E_TIMEOUT = -8,
    CM_E_FAILED = -99,
};

struct LENSBRIDGE_API _tag_CMSIZE {
    int width;
    int height;
};

// vid/pid values that mark network cameras.
constexpr int kNetworkVendorId = 0xFFFF;
constexpr int kWirelessBoxProductId = 0xFFFF;
constexpr int kRtspProductId = 0xFFFE;

// One device, copied by value into a camera and back. Always zero-filled
// before it is populated, so every byte not written is zero.
struct LENSBRIDGE_API _tag_VideoDeviceInfo {
    char name[64]; // zero-terminated
    int vid;
    int pid;
    int boxValue;       // head of a wireless box's scan record, else 0
    char address[2084]; // box address or RTSP URL, zero-terminated; empty for USB
};

// Device group types.
enum {
    VIDEO_DEVICE_GROUP_DIRECTSHOW = 0,
    VIDEO_DEVICE_GROUP_SENSORLINK = 2,
};

struct LENSBRIDGE_API _tag_VideoDeviceList {
    int type;
    char name[260];
    std::vector<_tag_VideoDeviceInfo> devices;
};

enum tagCMProperty {
    CM_PROP_BRIGHTNESS = 0,
    CM_PROP_CONTRAST = 1,
    CM_PROP_HUE = 2,
    CM_PROP_SATURATION = 3,
    CM_PROP_GAMMA = 4,
    CM_PROP_SHARPNESS = 5,
    CM_PROP_GAIN = 6,
    CM_PROP_OFFSET_2 = 7,
    CM_PROP_OFFSET_1 = 8,
    CM_PROP_OFFSET_0 = 9,
    CM_PROP_CONTROL10 = 10,
    CM_PROP_EXPOSURE_TARGET = 11,
    CM_PROP_EXPOSURE = 12,
    CM_PROP_RED_GAIN = 13,
    CM_PROP_GREEN_GAIN = 14,
    CM_PROP_BLUE_GAIN = 15,
    CM_PROP_WB_TEMPERATURE = 16,
    CM_PROP_RESERVED17 = 17,
    CM_PROP_COLOR_MODE = 18,
    CM_PROP_POWERLINE = 19,
    CM_PROP_DENOISE = 20,
    CM_PROP_IRIS = 21,
};

// Software colour modes (CM_PROP_COLOR_MODE).
enum {
    CM_COLOR_MODE_COLOR = 0,
    CM_COLOR_MODE_MONO = 1,
    CM_COLOR_MODE_NEGATIVE = 2,
};

// No camera implements triggering; the values only complete the interface.
enum tagCMTriggerMode {
    CM_TRIGGER_OFF = 0,
    CM_TRIGGER_SOFTWARE = 1,
    CM_TRIGGER_EXTERNAL = 2,
    CM_TRIGGER_SINGLE = 3,
};

// Frame callback: kind 0 is a frame, param1 the address of a CWImage valid
// only during the call, param2 0. The return value is ignored.
using CMFrameCallback = int (*)(void* userData, int kind, long param1, long param2);
constexpr int CM_CALLBACK_FRAME = 0;
