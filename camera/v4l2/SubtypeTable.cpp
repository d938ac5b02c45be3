#include "camera/v4l2/SubtypeTable.h"

#include "camera/CMTypes.h"

#include <linux/videodev2.h>

namespace v4l2 {
namespace {

struct Subtype {
    const char* name;
    uint32_t fourcc;
};

// V4L2's YUYV is the YUY2 layout; V4L2's BGR24 is RGB24 in its B, G, R byte
// order. Subtypes without a V4L2 format of their own carry 0.
constexpr Subtype kSubtypes[kSubtypeCount] = {
    {"RGB24", V4L2_PIX_FMT_BGR24},
    {"RGB32", V4L2_PIX_FMT_XBGR32},
    {"RGB555", V4L2_PIX_FMT_RGB555},
    {"RGB565", V4L2_PIX_FMT_RGB565},
    {"YUY2", V4L2_PIX_FMT_YUYV},
    {"YVYU", V4L2_PIX_FMT_YVYU},
    {"YUYV", 0},
    {"IYUV", V4L2_PIX_FMT_YUV420},
    {"UYVY", V4L2_PIX_FMT_UYVY},
    {"YV12", V4L2_PIX_FMT_YVU420},
    {"YVU9", V4L2_PIX_FMT_YVU410},
    {"Y411", V4L2_PIX_FMT_YUV411P},
    {"Y41P", V4L2_PIX_FMT_Y41P},
    {"Y211", 0},
    {"AYUV", V4L2_PIX_FMT_YUV32},
    {"Y800", V4L2_PIX_FMT_GREY},
    {"Y8", 0},
    {"GREY", 0},
    {"MJPG", V4L2_PIX_FMT_MJPEG},
    {"H264", V4L2_PIX_FMT_H264},
    {"NV12", V4L2_PIX_FMT_NV12},
};

} // namespace

const char* subtypeName(int index) { return index >= 0 && index < kSubtypeCount ? kSubtypes[index].name : "OTHER"; }

uint32_t subtypeFourcc(int index) { return index >= 0 && index < kSubtypeCount ? kSubtypes[index].fourcc : 0; }

int subtypeOfFourcc(uint32_t fourcc)
{
    if (fourcc == 0)
        return -1;
    for (int i = 0; i < kSubtypeCount; ++i)
        if (kSubtypes[i].fourcc == fourcc)
            return i;
    return -1;
}

int formatCodeOfSubtype(int index)
{
    switch (index) {
    case kSubtypeRgb24: return FMT_BGR24;
    case kSubtypeYuy2: return FMT_YUY2;
    case kSubtypeMjpg: return FMT_MJPG;
    case kSubtypeH264: return FMT_H264;
    case kSubtypeIyuv: return FMT_I420;
    case kSubtypeY800: return FMT_GREY;
    case kSubtypeNv12: return FMT_NV12;
    default: return FMT_UNKNOWN;
    }
}

int subtypeOfFormatCode(int code)
{
    switch (code) {
    case FMT_BGR24: return kSubtypeRgb24;
    case FMT_MJPG: return kSubtypeMjpg;
    case FMT_H264: return kSubtypeH264;
    case FMT_I420: return kSubtypeIyuv;
    case FMT_GREY: return kSubtypeY800;
    case FMT_NV12: return kSubtypeNv12;
    default: return kSubtypeYuy2;
    }
}

bool isShowableSubtype(int index) { return formatCodeOfSubtype(index) != FMT_UNKNOWN; }

int formatCodeOfFourcc(uint32_t fourcc) { return formatCodeOfSubtype(subtypeOfFourcc(fourcc)); }

} // namespace v4l2
