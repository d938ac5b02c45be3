#include "app/view/FramePipeline.h"

#include "app/view/FrameAnalysis.h"
#include "camera/CMCameraBase.h"

#include <cstring>
#include <mutex>
#include <new>

namespace {
// MJPEG frames waiting for the decoder. One keeps the delay within the
// decode plus one frame interval: a frame that arrives while another waits
// replaces it, so the decoder always starts on the newest picture; a decode
// that now and then outlasts a frame interval still loses nothing.
constexpr size_t kQueuedJpegs = 1;
} // namespace

FramePipeline::FramePipeline() : queue_(kQueuedJpegs), decoder_([this] { decodeLoop(); }) {}

FramePipeline::~FramePipeline()
{
    queue_.close();
    decoder_.join();
    stopRecording();
}

int FramePipeline::frameCallback(void* userData, int kind, long param1, long)
{
    if (kind != CM_CALLBACK_FRAME || !userData || !param1)
        return 0;
    static_cast<FramePipeline*>(userData)->onFrame(*reinterpret_cast<const CWImage*>(param1));
    return 0;
}

void FramePipeline::onFrame(const CWImage& frame)
{
    const FrameTime dequeued = std::chrono::steady_clock::now();
    const uint64_t sequence = arrivals_.fetch_add(1, std::memory_order_relaxed) + 1;
    if (frame.format == FMT_MJPG) {
        if (frame.data && frame.dataSize > 0 && frame.width > 0 && frame.height > 0)
            queue_.push(frame, dequeued, sequence);
        return;
    }
    // Any JPEG still waiting is older than this picture.
    queue_.clear();
    std::lock_guard guard(lock_);
    converter_.setJpegScale(1);
    if (!converter_.convert(frame))
        return;
    delivered_ = sequence;
    latestIsJpeg_ = false;
    deliverLocked(converter_, dequeued);
}

void FramePipeline::decodeLoop()
{
    CompressedFrameQueue::Frame frame;
    while (queue_.pop(frame)) {
        // MJPEG decodes at the scale the view draws it (a 4K JPEG costs more
        // than a frame interval at full size); a recording, an analysis and
        // a shading reference being made need every pixel.
        int scale = 1;
        {
            std::lock_guard guard(lock_);
            if (frame.sequence < delivered_)
                continue;
            const bool everyPixel = (recorder_ && recorder_->isOpen()) || !analyses_.empty() || shading_.collecting();
            if (sink_ && !everyPixel)
                scale = sink_->pictureReduction();
        }
        jpegConverter_.setJpegScale(scale);
        const auto size = static_cast<unsigned>(frame.bytes.size());
        if (!jpegConverter_.convert(
                CWImage(frame.width, frame.height, frame.bytes.data(), size, size, true, frame.format, 0)))
            continue;
        std::lock_guard guard(lock_);
        if (frame.sequence < delivered_)
            continue;
        delivered_ = frame.sequence;
        latestIsJpeg_ = true;
        // Kept for a copy with every pixel; the previous one's buffer goes
        // back to the queue.
        std::swap(lastJpeg_, frame);
        deliverLocked(jpegConverter_, lastJpeg_.arrived);
    }
}

void FramePipeline::deliverLocked(FrameConverter& converter, FrameTime dequeued)
{
    CWImage& picture = converter.displayImage();
    shading_.process(picture, converter.pictureWidth(), converter.pictureHeight());
    if (camera_)
        camera_->processPixels(&picture);
    for (FrameAnalysis* analysis : analyses_)
        analysis->offer(picture.data, picture.width, picture.height);
    if (sink_)
        sink_->updateReducedFrame(picture.width, picture.height, picture.data, converter.pictureWidth(),
                                  converter.pictureHeight(), dequeued);

    if (recorder_ && recorder_->isOpen()) {
        // A picture of another size than the recording's is not recorded
        // but counted, so the operator sees that the file misses it.
        const uint8_t* yuv =
            recorder_->width() == picture.width && recorder_->height() == picture.height ? converter.toI420() : nullptr;
        if (yuv)
            recorder_->writeFrame(yuv);
        else
            recorder_->countDropped();
    }
}

void FramePipeline::setCamera(CMCameraBase* camera)
{
    std::lock_guard guard(lock_);
    camera_ = camera;
}

void FramePipeline::setSink(FrameSink* sink)
{
    std::lock_guard guard(lock_);
    sink_ = sink;
}

void FramePipeline::attachAnalysis(FrameAnalysis* analysis)
{
    std::lock_guard guard(lock_);
    analyses_.push_back(analysis);
}

void FramePipeline::detachAnalysis(FrameAnalysis* analysis)
{
    std::lock_guard guard(lock_);
    std::erase(analyses_, analysis);
}

bool FramePipeline::startRecording(int width, int height, const char* path, Mp4Recorder::Options options)
{
    stopRecording();
    auto recorder = std::make_unique<Mp4Recorder>(std::move(options));
    const bool opened = recorder->open(width, height, path);
    std::lock_guard guard(lock_);
    std::lock_guard figures(recorderFiguresLock_);
    recorder_ = std::move(recorder);
    return opened;
}

void FramePipeline::stopRecording() { finishRecording(); }

bool FramePipeline::isRecording()
{
    std::lock_guard figures(recorderFiguresLock_);
    return recorder_ && recorder_->isOpen();
}

FramePipeline::RecordingStats FramePipeline::recordingStats()
{
    std::lock_guard figures(recorderFiguresLock_);
    if (!recorder_ || !recorder_->isOpen())
        return {};
    return {recorder_->elapsedMicros(), recorder_->framesWritten(), recorder_->framesDropped(),
            recorder_->writeError()};
}

std::string FramePipeline::finishRecording(RecordingStats* final)
{
    std::unique_ptr<Mp4Recorder> recorder;
    {
        std::lock_guard guard(lock_);
        std::lock_guard figures(recorderFiguresLock_);
        recorder = std::move(recorder_);
    }
    if (!recorder || !recorder->isOpen())
        return "";
    const std::string name = recorder->fileName();
    const int64_t elapsed = recorder->elapsedMicros();
    // Closing waits for the disk; no frame can reach the recorder any more.
    recorder->close();
    if (final)
        *final = {elapsed, recorder->framesWritten(), recorder->framesDropped(), recorder->writeError()};
    return name;
}

bool FramePipeline::copyDisplayImage(CWImage& target)
{
    std::lock_guard guard(lock_);
    const CWImage* source = &converter_.displayImage();
    if (latestIsJpeg_) {
        // The view may have got the last picture reduced; a copy has every
        // pixel, corrected and processed as the view's was.
        source = nullptr;
        const auto size = static_cast<unsigned>(lastJpeg_.bytes.size());
        fullConverter_.setJpegScale(1);
        if (fullConverter_.convert(CWImage(lastJpeg_.width, lastJpeg_.height, lastJpeg_.bytes.data(), size, size, true,
                                           lastJpeg_.format, 0))) {
            CWImage& full = fullConverter_.displayImage();
            if (shading_.correctsSize(full.width, full.height))
                shading_.apply(full.data, full.width, full.height);
            if (camera_)
                camera_->processPixels(&full);
            source = &full;
        }
    }
    if (!source)
        return false;
    const CWImage& picture = *source;
    if (!picture.data || picture.width <= 0 || picture.height <= 0)
        return false;
    const size_t bytes = size_t(picture.width) * picture.height * 4;
    auto* copy = new (std::nothrow) unsigned char[bytes];
    if (!copy)
        return false;
    std::memcpy(copy, picture.data, bytes);
    if (!target.externalBuffer)
        delete[] target.data;
    target.data = copy;
    target.externalBuffer = false;
    target.width = picture.width;
    target.height = picture.height;
    target.dataSize = target.bufferSize = unsigned(bytes);
    target.format = FMT_RGBA32;
    target.bottomUp = 0;
    return true;
}
