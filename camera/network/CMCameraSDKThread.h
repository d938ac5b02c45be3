#pragma once
#include "camera/CMCameraSDK.h"
#include "platform/Event.h"

#include <atomic>
#include <cstdint>
#include <thread>
#include <utility>

template <class Camera> class CMPolledCamera;

// A camera that pulls its frames on a thread of its own: the thread waits
// while the preview is stopped and otherwise calls captureOnce() again and
// again. A failed poll is retried after 1 ms; a source that keeps failing is
// retried less and less often (up to every 50 ms), so a vanished server does
// not keep a core busy. A poll that reports the source gone for good parks
// the thread until Release.
//
// The thread calls a virtual of the derived camera, so it must end before the
// derived part is destroyed. That is built in: a polled camera can only be
// made as CMPolledCamera<Camera>, whose destructor (the first to run) stops
// the thread. Camera classes are declared as
//     class CMCameraXCore : public CMCameraSDKThread { CMCameraXCore(Seal, ...); };
//     using CMCameraX = CMPolledCamera<CMCameraXCore>;
class CMCameraSDKThread : public CMCameraSDK {
public:
    ~CMCameraSDKThread() override;

    int startPreview() override;
    int stopPreview() override;

protected:
    // The constructor's key, which only CMPolledCamera can make.
    class Seal {
        Seal() = default;
        template <class> friend class CMPolledCamera;
    };
    CMCameraSDKThread(Seal, int deviceIndex);

    // captureOnce() result: the source is gone for good (the connection
    // closed); the thread polls no more.
    static constexpr int kSourceGone = 1;

    // One blocking poll; 0 when it succeeded, kSourceGone, or any other
    // value for a failure worth retrying.
    virtual int captureOnce() = 0;

    // Stores the callback and starts the thread (end of a successful Init);
    // CM_E_FAILED when no thread can be created.
    int startThread(CMFrameCallback cb, void* userData);
    // Ends the thread after its current poll (inside Release); no callback is
    // delivered afterwards.
    void stopThread();

private:
    void threadCapture();
    uint32_t retryDelayMs(unsigned consecutiveFailures) const;

    std::atomic<bool> m_bRunning{false};
    std::thread m_thread;
    platform::Event m_wakeEvent{true, false};   // manual reset: set while previewing
    platform::Event m_stopEvent{true, false};   // cuts a retry delay short
    platform::Event m_exitedEvent{true, false}; // set by the thread as it ends
};

// The only way to make a polled camera: stops the thread before anything of
// the camera is destroyed.
template <class Camera> class CMPolledCamera final : public Camera {
public:
    template <class... Args>
    explicit CMPolledCamera(Args&&... args) : Camera(CMCameraSDKThread::Seal{}, std::forward<Args>(args)...)
    {
    }
    ~CMPolledCamera() override { this->stopThread(); }
};
