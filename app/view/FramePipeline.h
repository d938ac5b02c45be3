#pragma once
// What the camera session does with each frame on the capture thread: convert
// it to RGBA, apply the camera's software pixel processing, hand it to the
// view and, while recording, encode it. One recursive lock guards the
// camera's frames, the working buffers and the recorder, so a frame never
// reaches a recorder that is being replaced or closed.

#include "app/view/FrameConverter.h"
#include "app/view/Mp4Recorder.h"
#include "app/view/ShadingCorrection.h"
#include "platform/CriticalSection.h"

#include <memory>
#include <string>
#include <vector>

class CMCameraBase;
class FrameSink;

class FramePipeline {
public:
    FramePipeline() = default;
    FramePipeline(const FramePipeline&) = delete;
    FramePipeline& operator=(const FramePipeline&) = delete;
    ~FramePipeline();

    // Capture thread. The camera frame callback; `userData` is the pipeline.
    static int frameCallback(void* userData, int kind, long param1, long param2);

    // Capture thread; takes the lock, never waits for a drawing pass. A frame
    // shorter than its format and size need is dropped and the previous
    // picture stays.
    void onFrame(const CWImage& frame);

    // UI thread; under the lock, so no frame sees a half-changed pair.
    void setCamera(CMCameraBase* camera);
    void setSink(FrameSink* sink);

    // UI thread. Replaces any running recording with a new one of the given
    // frame size. False when the file or the encoder could not be opened;
    // nothing is recorded then and isRecording() says false.
    bool startRecording(int width, int height, const char* path, Mp4Recorder::Options options = {});
    // UI thread. Finishes and drops the recording. The recorder leaves the
    // lock first: frames go on while it waits for the shortest recording's
    // three seconds and for its file to reach the disk.
    void stopRecording();
    // Any thread.
    bool isRecording();

    // Any thread. What the running recording has done so far; all zero
    // without one.
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

    // Any thread but the capture thread's callback. Copies the latest converted
    // picture (RGBA) under the lock, at the camera's full size also while the
    // view gets MJPEG reduced; false and `target` unchanged when there is none
    // yet.
    bool copyDisplayImage(CWImage& target);

    // Outermost of the program's frame locks: pipeline → render view → container.
    platform::CriticalSection& lock() { return lock_; }
    // The flat-field correction every frame gets before the view, the
    // snapshots and the recording (and before mirror and flip). Use it with
    // lock() held.
    ShadingCorrection& shading() { return shading_; }

private:
    platform::CriticalSection lock_;
    CMCameraBase* camera_ = nullptr;
    FrameSink* sink_ = nullptr;
    FrameConverter converter_;
    // The last MJPEG frame while the view gets it reduced, and the converter
    // that makes a full-size copy of it.
    std::vector<uint8_t> lastJpeg_;
    FrameConverter fullConverter_;
    ShadingCorrection shading_;
    std::unique_ptr<Mp4Recorder> recorder_;
};
