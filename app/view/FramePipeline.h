#pragma once
// What the camera session does with each frame: convert it to RGBA, apply the
// shading correction and the camera's software pixel processing, hand it to
// the view and, while recording, encode it. Uncompressed frames convert on
// the capture thread (copying them elsewhere would cost as much as the
// conversion). MJPEG frames are copied into a one-frame queue and decoded on the
// pipeline's own decoding thread: a large JPEG can take longer to decode than
// a frame interval, and the capture thread must be back for the next dequeue
// in time. When the decoder falls behind, the oldest waiting frame is dropped
// and counted. One recursive lock guards the camera, the sink, the working
// buffers and the recorder (the decoder takes it only once a picture is
// decoded), so a frame never reaches a recorder that is being replaced or
// closed. The recording's figures are read under a small lock of their own
// that the capture thread never takes, so the window's status line never
// waits for a frame's way through the pipeline.

#include "app/view/CompressedFrameQueue.h"
#include "app/view/FrameConverter.h"
#include "app/view/FrameSink.h"
#include "app/view/Mp4Recorder.h"
#include "app/view/ShadingCorrection.h"
#include "platform/CriticalSection.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CMCameraBase;
class FrameAnalysis;

class FramePipeline {
public:
    // Starts the decoding thread.
    FramePipeline();
    FramePipeline(const FramePipeline&) = delete;
    FramePipeline& operator=(const FramePipeline&) = delete;
    ~FramePipeline();

    // Capture thread. The camera frame callback; `userData` is the pipeline.
    static int frameCallback(void* userData, int kind, long param1, long param2);

    // Capture thread; never waits for a drawing pass or a JPEG decode. An
    // uncompressed frame is converted and delivered before it returns (under
    // the lock); an MJPEG frame is queued for the decoding thread. A frame
    // shorter than its format and size need is dropped and the previous
    // picture stays; so is a frame older than the picture last delivered.
    void onFrame(const CWImage& frame);
    // Any thread. MJPEG frames dropped unseen because the decoder was behind
    // (or an uncompressed frame came after them).
    int64_t framesDropped() const { return queue_.dropped(); }

    // UI thread; under the lock, so no frame sees a half-changed pair.
    void setCamera(CMCameraBase* camera);
    void setSink(FrameSink* sink);

    // The window's thread, or a worker it waits for (opening the encoder
    // takes tens of milliseconds); one thread at a time with stopRecording()
    // and finishRecording(). Replaces any running recording with a new one
    // of the given frame size. False when the file or the encoder could not
    // be opened; nothing is recorded then and isRecording() says false.
    bool startRecording(int width, int height, const char* path, Mp4Recorder::Options options = {});
    // Same threads as startRecording(). Finishes and drops the recording.
    // The recorder leaves the lock first: frames go on while it waits for
    // the shortest recording's three seconds and for its file to reach the disk.
    void stopRecording();
    // Any thread; never waits for a frame.
    bool isRecording();

    // Any thread; never waits for a frame or the encoder. What the running
    // recording has done so far; all zero without one.
    struct RecordingStats {
        int64_t elapsedMicros = 0;
        int64_t framesWritten = 0;
        int64_t framesDropped = 0;
        // errno of a write failure that stopped the file; 0 while all is well.
        int writeError = 0;
    };
    RecordingStats recordingStats();
    // UI thread. Finishes the recording and says which file it was ("" without
    // one) and, in `final`, what reached it; blocks like stopRecording().
    std::string finishRecording(RecordingStats* final = nullptr);

    // Any thread but the capture and decoding threads. Copies the latest
    // picture (RGBA) under the lock, at the camera's full size also while the
    // view gets MJPEG reduced (the kept JPEG is decoded again, shaded and
    // processed as the view's picture was); false and `target` unchanged when
    // there is none yet.
    bool copyDisplayImage(CWImage& target);

    // Any thread but the capture thread's callback; under the lock. An
    // attached analysis is offered every processed frame (FrameAnalysis
    // attaches and detaches itself); after detach returns none is in flight.
    void attachAnalysis(FrameAnalysis* analysis);
    void detachAnalysis(FrameAnalysis* analysis);

    // Outermost of the program's frame locks: pipeline → render view → container.
    platform::CriticalSection& lock() { return lock_; }
    // The flat-field correction every frame gets before the view, the
    // snapshots and the recording (and before mirror and flip). Use it with
    // lock() held.
    ShadingCorrection& shading() { return shading_; }

private:
    using FrameTime = FrameSink::FrameTime;
    // Decoding thread: decodes queued MJPEG frames until the queue closes.
    void decodeLoop();
    // Shading, the camera's processing, the view and the recording for a
    // picture `converter` made (lock held).
    void deliverLocked(FrameConverter& converter, FrameTime dequeued);

    platform::CriticalSection lock_;
    CMCameraBase* camera_ = nullptr;
    FrameSink* sink_ = nullptr;
    // Uncompressed frames (capture thread, under the lock).
    FrameConverter converter_;
    ShadingCorrection shading_;
    std::unique_ptr<Mp4Recorder> recorder_;
    // Guards recorder_ for the figures' readers. Taken inside lock_ where
    // recorder_ changes; the capture and decoding threads never take it.
    std::mutex recorderFiguresLock_;
    std::vector<FrameAnalysis*> analyses_;
    // Numbers frames as they arrive; the newest delivered one (under the lock).
    std::atomic<uint64_t> arrivals_{0};
    uint64_t delivered_ = 0;
    // The last picture came from an MJPEG frame: its JPEG, kept for a copy
    // with every pixel, and the converter that makes it (under the lock).
    bool latestIsJpeg_ = false;
    CompressedFrameQueue::Frame lastJpeg_;
    FrameConverter fullConverter_;
    // Decoding thread only (outside the lock while it decodes).
    FrameConverter jpegConverter_;
    CompressedFrameQueue queue_;
    std::thread decoder_;
};
