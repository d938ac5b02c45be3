#pragma once
// The pictures of the emulated video device in the formats the scene itself
// does not draw: NV12, YU12 and GREY converted from the scene with libyuv,
// and H.264 encoded with libx264 through FFmpeg as one group of pictures
// that starts with a key frame and repeats. Each phase of the scene's moving
// square is one picture, so a live stream is seen to be live.
#include <cstdint>
#include <vector>

namespace v4l2 {

// The formats this file makes (V4L2 pixel formats).
bool isEmulatedPictureFormat(uint32_t fourcc);
// The scene at `phase` (0 … kScenePhases − 1) as NV12, YU12 or GREY, top-down
// and tightly packed; empty for another format or a size that is not
// positive.
std::vector<uint8_t> renderPlanarScene(uint32_t fourcc, int width, int height, int phase);
// The specimen the big emulated cameras show, as MJPEG: a stained section
// (cells of several sizes on a pale ground, fine grain), so its JPEG is as
// large as a real one (a 3840 × 2160 picture about 1.5 MB), with the moving
// square and a stamp of `phase` that the picture keeps through decoding and
// scaling. Empty when the size is not positive.
std::vector<uint8_t> renderSpecimenJpeg(int width, int height, int phase);
// The phase stamped into a picture of the specimen, read from its RGBA
// pixels (any scale of the original picture); -1 when there is no stamp.
int readSpecimenStamp(const uint8_t* rgba, int width, int height);

// One group of pictures, one H.264 access unit (Annex B) per phase; the first
// is a key frame, the others refer to the one before. Empty when the size is
// odd or the encoder is missing.
std::vector<std::vector<uint8_t>> encodeH264Scene(int width, int height);

} // namespace v4l2
