#pragma once
// A time-lapse video: each tick's picture becomes one frame of an MP4 at a
// chosen rate (frame i plays at i / rate), on the disk before the next tick,
// with a CSV beside it that lists each frame's number and clock time.
// One thread (the UI thread) calls it; a frame's encoding runs on a worker of
// its own, so a tick costs the caller only the picture's conversion.
#include "app/view/Mp4Recorder.h"

#include <cstdint>
#include <future>
#include <memory>
#include <string>
#include <vector>

namespace shell {

class TimeLapseRecording {
public:
    TimeLapseRecording() = default;
    TimeLapseRecording(const TimeLapseRecording&) = delete;
    TimeLapseRecording& operator=(const TimeLapseRecording&) = delete;
    ~TimeLapseRecording() { finish(); }

    // Creates the video at `path` (numbered when the name is taken) and the
    // CSV of the same name beside it. False, with nothing left behind, when
    // either cannot be created or the size is not one the encoder takes.
    bool start(const std::string& path, int width, int height, int rate);
    // Adds an R, G, B, A picture of the video's size as the next frame and
    // its row "<number>,<clockTime>" to the CSV; the picture is converted
    // before it returns and encoded on the worker. False, nothing added, for
    // another size or while the previous frame is not encoded and on the
    // disk yet.
    bool addFrame(const uint8_t* rgba, int width, int height, const std::string& clockTime);

    bool isRunning() const { return recorder_ != nullptr; }
    int64_t framesAdded() const { return framesAdded_; }
    // Frames on the disk; errno of a write failure (0 while all is well).
    int64_t framesWritten() const { return recorder_ ? recorder_->framesWritten() : 0; }
    int writeError() const;
    const std::string& csvPath() const { return csvPath_; }

    // Finishes the video and the CSV; the video's name, "" without one.
    std::string finish();

private:
    std::unique_ptr<Mp4Recorder> recorder_;
    std::vector<uint8_t> yuv_; // read by the worker while it encodes
    std::future<void> encoding_;
    int csv_ = -1;
    bool csvFailed_ = false;
    std::string csvPath_;
    int64_t framesAdded_ = 0;
};

} // namespace shell
