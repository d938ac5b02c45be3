#pragma once
// Turns the picture a camera's Snap returned into the 8-bit B, G, R, A buffer
// the image writers take, rows top-down.
#include "app/view/FrameConverter.h"
#include "camera/CWImage.h"

#include <cstdint>
#include <vector>

class CMCameraBase;
class FramePipeline;

namespace shell {

class SnapshotConverter {
public:
    // Converts `picture` by its format code (0 R,G,B; 1 B,G,R; 6 YUY2;
    // 8 YUYV; 20 MJPEG) into `bgra` (width × height × 4 bytes). With a
    // camera, its pixel processing is applied in the live view's channel
    // order (R, G, B, A), so a snapshot has the live view's grey levels and
    // colour offsets. False for another format, a picture shorter than its
    // size needs, or a JPEG that does not decode; `bgra` is then empty.
    bool convert(const CWImage& picture, std::vector<uint8_t>& bgra, CMCameraBase* camera = nullptr);
    // Takes the camera's still (Snap, which may wait for the camera) and
    // converts it as above, holding the pipeline's lock while the camera's
    // pixel processing is read. False when the camera gives no still or it
    // does not convert; `width` and `height` are the still's either way.
    bool snap(CMCameraBase& camera, FramePipeline& pipeline, std::vector<uint8_t>& bgra, int& width, int& height);

private:
    // The live picture's conversion (R, G, B, A); the snapshot swaps red and
    // blue on the way out.
    FrameConverter m_frames;
};

} // namespace shell
