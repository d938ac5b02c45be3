#pragma once
// Decodes the H.264 stream of a video camera into I420 pictures with
// FFmpeg's decoder. Every buffer the camera delivers must reach it, also
// those the host does not show, or the pictures that refer to them break.
// Capture thread only.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace v4l2 {

class H264Decoder {
public:
    H264Decoder();
    ~H264Decoder();
    H264Decoder(const H264Decoder&) = delete;
    H264Decoder& operator=(const H264Decoder&) = delete;

    // Feeds one access unit (Annex B). True when it gave a picture: I420,
    // width × height × 3 / 2 bytes in picture(). False while the decoder
    // waits for a key frame, on damaged data, or for pictures that are not
    // 4:2:0 (the previous picture stays).
    bool decode(const uint8_t* data, size_t length);
    const std::vector<uint8_t>& picture() const { return m_picture; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    // Forgets the stream (a new format or size begins with a key frame).
    void reset();

private:
    struct Context;
    std::unique_ptr<Context> m_context;
    std::vector<uint8_t> m_picture;
    int m_width = 0, m_height = 0;
};

} // namespace v4l2
