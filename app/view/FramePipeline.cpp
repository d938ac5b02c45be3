#include "app/view/FramePipeline.h"

#include "app/view/FrameSink.h"
#include "camera/CMCameraBase.h"

#include <cstring>
#include <mutex>
#include <new>

FramePipeline::~FramePipeline() { stopRecording(); }

int FramePipeline::frameCallback(void* userData, int kind, long param1, long)
{
    if (kind != CM_CALLBACK_FRAME || !userData || !param1)
        return 0;
    static_cast<FramePipeline*>(userData)->onFrame(*reinterpret_cast<const CWImage*>(param1));
    return 0;
}

void FramePipeline::onFrame(const CWImage& frame)
{
    std::lock_guard guard(lock_);
    // MJPEG decodes at the scale the view draws it (a 4K JPEG costs more
    // than a frame interval at full size); a recording needs every pixel.
    const bool recording = recorder_ && recorder_->isOpen();
    converter_.setJpegScale(frame.format == FMT_MJPG && sink_ && !recording ? sink_->pictureReduction() : 1);
    if (!converter_.convert(frame))
        return;
    CWImage& picture = converter_.displayImage();
    // The JPEG of a reduced picture is kept for a copy with every pixel.
    const bool reduced = picture.width != converter_.pictureWidth();
    if (reduced)
        lastJpeg_.assign(frame.data, frame.data + frame.dataSize);
    else
        lastJpeg_.clear();
    shading_.process(picture);
    if (camera_)
        camera_->processPixels(&picture);
    if (sink_ && reduced)
        sink_->updateReducedFrame(picture.width, picture.height, picture.data, converter_.pictureWidth(),
                                  converter_.pictureHeight());
    else if (sink_)
        sink_->updateFrame(picture.width, picture.height, picture.data);

    if (recorder_ && recorder_->isOpen()) {
        // A picture of another size than the recording's is not recorded
        // but counted, so the operator sees that the file misses it.
        const uint8_t* yuv = recorder_->width() == picture.width && recorder_->height() == picture.height
                                 ? converter_.toI420()
                                 : nullptr;
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

bool FramePipeline::startRecording(int width, int height, const char* path, Mp4Recorder::Options options)
{
    stopRecording();
    auto recorder = std::make_unique<Mp4Recorder>(std::move(options));
    const bool opened = recorder->open(width, height, path);
    std::lock_guard guard(lock_);
    recorder_ = std::move(recorder);
    return opened;
}

void FramePipeline::stopRecording() { finishRecording(); }

bool FramePipeline::isRecording()
{
    std::lock_guard guard(lock_);
    return recorder_ && recorder_->isOpen();
}

FramePipeline::RecordingStats FramePipeline::recordingStats()
{
    std::lock_guard guard(lock_);
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
    if (!lastJpeg_.empty()) {
        // The view got the last picture reduced; a copy has every pixel.
        const auto size = static_cast<unsigned>(lastJpeg_.size());
        const CWImage jpeg(converter_.pictureWidth(), converter_.pictureHeight(), lastJpeg_.data(), size, size, true,
                           FMT_MJPG, 0);
        if (fullConverter_.convert(jpeg)) {
            if (camera_)
                camera_->processPixels(&fullConverter_.displayImage());
            source = &fullConverter_.displayImage();
        }
    }
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
