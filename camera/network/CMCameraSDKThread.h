#pragma once
#include "camera/CMCameraSDK.h"
#include "platform/Event.h"

#include <atomic>
#include <cstdint>
#include <thread>

// A camera that pulls its frames on a thread of its own: the thread waits
// while the preview is stopped and otherwise calls captureOnce() again and
// again. A failed poll is retried after 1 ms; a source that keeps failing is
// retried less and less often (up to every 50 ms), so a vanished server does
// not keep a core busy.
class CMCameraSDKThread : public CMCameraSDK {
public:
    explicit CMCameraSDKThread(int deviceIndex);
    ~CMCameraSDKThread() override;

    int startPreview() override;
    int stopPreview() override;

protected:
    // One blocking poll; 0 when it succeeded.
    virtual int captureOnce() = 0;

    // Stores the callback and starts the thread (end of a successful Init).
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
