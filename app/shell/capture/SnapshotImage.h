#pragma once
// Turns the picture a camera's Snap returned into the 8-bit B, G, R, A buffer
// the image writers take, rows top-down.
#include "camera/CWImage.h"

#include <cstdint>
#include <vector>

namespace shell {

class SnapshotConverter {
public:
    SnapshotConverter();
    SnapshotConverter(const SnapshotConverter&) = delete;
    SnapshotConverter& operator=(const SnapshotConverter&) = delete;
    ~SnapshotConverter();

    // Converts `picture` by its format code (0 R,G,B; 1 B,G,R; 6 YUY2;
    // 8 YUYV; 20 MJPEG) into `bgra` (width × height × 4 bytes). False for
    // another format, a picture shorter than its size needs, or a JPEG that
    // does not decode; `bgra` is then empty.
    bool convert(const CWImage& picture, std::vector<uint8_t>& bgra);

private:
    void* m_jpegDecoder = nullptr;
};

} // namespace shell
