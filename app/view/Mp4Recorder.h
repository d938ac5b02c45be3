#pragma once
// Writes the live picture to an MP4 file with H.264 video. Frames arrive as
// planar YUV 4:2:0 and are stamped from the wall clock, so the file plays at
// the speed at which they arrived.

#include <cstdint>
#include <functional>
#include <vector>

struct AVFormatContext;
struct AVStream;
struct AVCodecContext;
struct AVPacket;
struct AVFrame;

class Mp4Recorder {
public:
    // Time source in microseconds and a way to wait; replaceable for tests.
    struct Clock {
        std::function<int64_t()> nowMicros;
        std::function<void(int64_t)> sleepMicros;
        static Clock wall();
    };

    Mp4Recorder();
    explicit Mp4Recorder(Clock clock);
    Mp4Recorder(const Mp4Recorder&) = delete;
    Mp4Recorder& operator=(const Mp4Recorder&) = delete;
    ~Mp4Recorder();

    // Creates the file and the encoder and writes the header.
    bool open(int width, int height, const char* fileName);
    // Encodes one frame of width × height × 3 / 2 bytes (Y, then U and V at a
    // quarter size each). 0 when a packet was written, -1 when the encoder
    // produced none yet or failed.
    int writeFrame(const uint8_t* yuv);
    // Flushes the encoder and finishes the file; every file spans at least
    // three seconds. Safe to call more than once, and after a failed open.
    void close();

    int width() const { return width_; }
    int height() const { return height_; }
    bool isOpen() const { return formatContext_ != nullptr; }

private:
    int writePacket(AVPacket* packet);
    int encode(AVFrame* frame, bool flushing);
    void release();

    Clock clock_;
    AVFormatContext* formatContext_ = nullptr;
    AVStream* stream_ = nullptr;
    AVCodecContext* encoder_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    int lumaSize_ = 0;
    int64_t startTime_ = 0;
    int64_t lastPts_ = -1;
    // Frame interval in 1/90000 s, given to packets as their duration so the
    // last picture of the file has one too.
    int64_t frameInterval_ = 3000;
    bool headerWritten_ = false;
    bool writeFailed_ = false;
    // The last picture, shown again at the three-second mark when a short
    // recording is closed so the file really spans that time.
    std::vector<uint8_t> lastFrame_;
    int width_ = 0;
    int height_ = 0;
    char fileName_[260] = {};
};
