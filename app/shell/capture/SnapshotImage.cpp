#include "app/shell/capture/SnapshotImage.h"

#include "app/view/FramePipeline.h"
#include "camera/CMCameraBase.h"

#include <libyuv.h>

namespace shell {
namespace {
// Bytes 0 and 2 of every pixel exchanged: R, G, B, A -> B, G, R, A.
const uint8_t kSwapRedBlue[16] = {2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15};
} // namespace

bool SnapshotConverter::convert(const CWImage& picture, std::vector<uint8_t>& bgra, CMCameraBase* camera)
{
    bgra.clear();
    if (!m_frames.convert(picture))
        return false;
    CWImage& rgba = m_frames.displayImage();
    if (camera)
        camera->processPixels(&rgba);
    const int w = rgba.width, h = rgba.height, stride = w * 4;
    bgra.resize(size_t(stride) * size_t(h));
    // The converter turns bottom-up BGR24 over itself; any other picture
    // marked bottom-up is turned over here (a negative height reads the rows
    // last first).
    const bool turnOver = picture.bottomUp == 1 && picture.format != FMT_BGR24;
    libyuv::ARGBShuffle(rgba.data, stride, bgra.data(), stride, kSwapRedBlue, w, turnOver ? -h : h);
    return true;
}

bool SnapshotConverter::snap(CMCameraBase& camera, FramePipeline& pipeline, std::vector<uint8_t>& bgra, int& width,
                             int& height)
{
    CWImage picture;
    picture.externalBuffer = false; // Snap's buffer is ours to free
    bool converted = camera.Snap(&picture) == 0;
    if (converted) {
        std::lock_guard frames(pipeline.lock());
        converted = convert(picture, bgra, &camera);
    }
    width = picture.width;
    height = picture.height;
    return converted;
}

} // namespace shell
