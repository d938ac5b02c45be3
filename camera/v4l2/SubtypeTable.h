#pragma once
// The capture backend's media subtypes: their index (the order of the
// table), their printed names, their pixel-format codes and the V4L2 pixel
// formats that realise them.
#include <cstdint>

namespace v4l2 {

constexpr int kSubtypeCount = 21;
constexpr int kSubtypeRgb24 = 0;
constexpr int kSubtypeYuy2 = 4;
constexpr int kSubtypeIyuv = 7;
constexpr int kSubtypeY800 = 15;
constexpr int kSubtypeMjpg = 18;
constexpr int kSubtypeH264 = 19;
constexpr int kSubtypeNv12 = 20;

// "RGB24" … "NV12"; "OTHER" outside the table.
const char* subtypeName(int index);
// The V4L2 pixel format of a subtype; 0 when V4L2 has none for it.
uint32_t subtypeFourcc(int index);
// The subtype of a V4L2 pixel format; -1 when the table has none (V4L2's
// RGB24, whose byte order R, G, B the table does not name).
int subtypeOfFourcc(uint32_t fourcc);
// Subtype index → pixel-format code: 0 → 1, 4 → 6, 7 → 24, 15 → 25,
// 18 → 20, 19 → 21, 20 → 23, else 22.
int formatCodeOfSubtype(int index);
// Pixel-format code → subtype index: the reverse of the above; any other code → 4.
int subtypeOfFormatCode(int code);
// The program shows frames of this subtype (it has a format code of its own).
bool isShowableSubtype(int index);
// The code a V4L2 pixel format is listed under (22 outside the table).
int formatCodeOfFourcc(uint32_t fourcc);

} // namespace v4l2
