#pragma once
#include "camera/network/CMCameraSDKThread.h"
#include "camera/network/FFmpegHandles.h"
#include "camera/network/RemuxTimestamps.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// An RTSP stream (or any input FFmpeg opens), decoded and converted to RGB24
// on the polling thread. The stream can be recorded to a file as it arrives,
// without re-encoding.
class CWCameraFFmpegCore : public CMCameraSDKThread {
public:
    using CMCameraBase::GetPreviewSize;
    using CMCameraBase::SetPreviewSize;

    static constexpr uint32_t kOpenTimeoutMs = 10000;
    // The largest picture side anything in the program handles.
    static constexpr int kMaxPictureSide = 8192;

    CWCameraFFmpegCore(Seal seal, const std::string& url);
    ~CWCameraFFmpegCore() override;

    int Init(CMFrameCallback cb, void* userData, long width, long height) override;
    void Release() override;
    bool hasBuiltInRecorder() override;
    int startRecording(const std::string& path) override;
    int stopRecording() override;
    int GetSupportedPreviewSizes(std::vector<_tag_CMSIZE>* sizes) override;
    int GetPreviewSize(_tag_CMSIZE& size) override;
    int SetPreviewSize(_tag_CMSIZE size) override;
    int GetSupportedFormats(std::vector<int>* formats) override;
    int GetFormat(int& format) override;
    int SetFormat(int format) override;

    // How long opening the input may go without progress (tests shorten it).
    void setOpenTimeoutMs(uint32_t ms) { m_openTimeoutMs = ms; }
    // Any thread: an Init running (or starting later) gives up at once and
    // fails; the camera is then only to be released.
    void AbortOpen() { m_bOpenAborted = true; }

protected:
    int captureOnce() override;

private:
    static int interruptCallback(void* opaque);
    bool shouldInterrupt();
    void closeStream();
    // An open that failed for `reason` (a CMOpenFailure value): records why
    // and closes what was opened.
    void failOpen(int reason);
    bool sizeFromFirstPicture(AVCodecParameters& parameters);
    void deliverDecoded();
    bool convert(const AVFrame* picture);
    void record(const AVPacket* packet);
    void finishRecording();

    std::string m_url;
    ffmpeg::Input m_input;
    ffmpeg::Codec m_codec;
    ffmpeg::Frame m_frame;
    ffmpeg::Packet m_packet;
    ffmpeg::Scaler m_scaler;
    std::vector<uint8_t> m_rgb; // the RGB24 picture handed to the host
    int m_videoStream = -1;
    bool m_bDrained = false; // the decoder was flushed at the end of the input
    int m_streamWidth = 0;
    int m_streamHeight = 0;
    int64_t m_frameTicks = 1; // one frame, in the input stream's time base

    // Interrupt callback state: read by FFmpeg on the opening or polling thread.
    std::atomic<bool> m_bConnecting{false};
    std::atomic<bool> m_bClosing{false}; // Release cuts blocking reads short
    std::atomic<bool> m_bOpenTimedOut{false};
    std::atomic<bool> m_bOpenAborted{false}; // set once, by AbortOpen
    std::atomic<uint32_t> m_lastActivity{0};
    std::atomic<uint32_t> m_openTimeoutMs{kOpenTimeoutMs};

    // The recording is started and stopped by the host's thread while the
    // polling thread writes to it: the mutex guards everything below.
    std::mutex m_recordMutex;
    ffmpeg::Output m_output;
    std::unique_ptr<RemuxTimestamps> m_stamps;
    bool m_waitingForKeyFrame = false;
};

using CWCameraFFmpeg = CMPolledCamera<CWCameraFFmpegCore>;
