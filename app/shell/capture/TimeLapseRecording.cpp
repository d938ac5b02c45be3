#include "app/shell/capture/TimeLapseRecording.h"

#include "platform/AtomicFile.h"

#include <libyuv.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>

namespace shell {
namespace {

bool writeAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

} // namespace

bool TimeLapseRecording::start(const std::string& path, int width, int height, int rate)
{
    finish();
    if (width <= 0 || height <= 0 || width % 2 || height % 2 || rate <= 0)
        return false;
    Mp4Recorder::Options options;
    options.timeLapseRate = rate;
    auto recorder = std::make_unique<Mp4Recorder>(std::move(options));
    if (!recorder->open(width, height, path.c_str()))
        return false;
    // The table goes beside the video under the video's own (numbered) name.
    std::string video = recorder->fileName();
    const size_t dot = video.find_last_of('.');
    const std::string csvName = (dot == std::string::npos ? video : video.substr(0, dot)) + ".csv";
    csv_ = platform::CreateNumberedFile(csvName, csvPath_);
    if (csv_ < 0 || !writeAll(csv_, "frame,time\n")) {
        recorder->close();
        ::unlink(video.c_str());
        if (csv_ >= 0) {
            ::close(csv_);
            ::unlink(csvPath_.c_str());
        }
        csv_ = -1;
        csvPath_.clear();
        return false;
    }
    recorder_ = std::move(recorder);
    yuv_.resize(size_t(width) * height * 3 / 2);
    framesAdded_ = 0;
    csvFailed_ = false;
    return true;
}

bool TimeLapseRecording::addFrame(const uint8_t* rgba, int width, int height, const std::string& clockTime)
{
    if (!recorder_ || !rgba || width != recorder_->width() || height != recorder_->height())
        return false;
    // Each frame is encoded and on the disk before the next is taken.
    if (encoding_.valid()) {
        if (encoding_.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            return false;
        encoding_.get();
    }
    if (recorder_->framesWritten() < framesAdded_ || recorder_->writeError() != 0)
        return false;
    const int lumaSize = width * height;
    uint8_t* y = yuv_.data();
    uint8_t* u = y + lumaSize;
    uint8_t* v = u + lumaSize / 4;
    // libyuv names formats by their 32-bit word: bytes R, G, B, A are "ABGR".
    libyuv::ABGRToI420(rgba, width * 4, y, width, u, width / 2, v, width / 2, width, height);
    // The encoder takes most of a tick at 1080p: not on the caller's thread.
    encoding_ =
        std::async(std::launch::async, [recorder = recorder_.get(), yuv = yuv_.data()] { recorder->writeFrame(yuv); });
    ++framesAdded_;
    char row[128];
    std::snprintf(row, sizeof row, "%lld,%s\n", static_cast<long long>(framesAdded_), clockTime.c_str());
    if (!writeAll(csv_, row))
        csvFailed_ = true;
    return true;
}

int TimeLapseRecording::writeError() const
{
    if (recorder_ && recorder_->writeError() != 0)
        return recorder_->writeError();
    return csvFailed_ ? ENOSPC : 0;
}

std::string TimeLapseRecording::finish()
{
    if (!recorder_)
        return "";
    if (encoding_.valid())
        encoding_.get();
    const std::string name = recorder_->fileName();
    recorder_->close();
    recorder_.reset();
    if (csv_ >= 0) {
        ::fsync(csv_);
        ::close(csv_);
        csv_ = -1;
    }
    return name;
}

} // namespace shell
