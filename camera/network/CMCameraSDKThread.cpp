#include "camera/network/CMCameraSDKThread.h"

#include "camera/CameraRecords.h"
#include "platform/DebugOutput.h"

#include <system_error>

namespace {
// Failures in a row that are retried at the fast pace before backing off.
constexpr unsigned kFastRetries = 100;
constexpr uint32_t kFastRetryMs = 1;
constexpr uint32_t kSlowRetryMs = 50;
constexpr uint32_t kQuickExitMs = 1000;
} // namespace

CMCameraSDKThread::CMCameraSDKThread(Seal, int deviceIndex) : CMCameraSDK(deviceIndex) {}

// The thread has ended by now (CMPolledCamera's destructor); this only
// releases the handle.
CMCameraSDKThread::~CMCameraSDKThread() { stopThread(); }

int CMCameraSDKThread::startThread(CMFrameCallback cb, void* userData)
{
    stopThread();
    setCallback(cb, userData);
    m_wakeEvent.reset();
    m_stopEvent.reset();
    m_exitedEvent.reset();
    m_bRunning = true;
    try {
        m_thread = std::thread([this] { threadCapture(); });
    } catch (const std::system_error&) {
        m_bRunning = false;
        return CM_E_FAILED;
    }
    return CM_OK;
}

void CMCameraSDKThread::stopThread()
{
    if (!m_thread.joinable())
        return;
    m_bRunning = false;
    m_stopEvent.set();
    m_wakeEvent.set();
    if (m_exitedEvent.wait(kQuickExitMs))
        platform::ConsolePrintf("CMCameraSDKThread::threadCapture exit OK!\n");
    m_thread.join();
}

int CMCameraSDKThread::startPreview()
{
    m_wakeEvent.set();
    m_bPaused = false;
    return CM_OK;
}

int CMCameraSDKThread::stopPreview()
{
    m_wakeEvent.reset();
    m_bPaused = true;
    if (m_pFrameRate)
        m_pFrameRate->rate = 0.0f;
    return CM_OK;
}

uint32_t CMCameraSDKThread::retryDelayMs(unsigned consecutiveFailures) const
{
    return consecutiveFailures <= kFastRetries ? kFastRetryMs : kSlowRetryMs;
}

void CMCameraSDKThread::threadCapture()
{
    unsigned failures = 0;
    while (m_bRunning) {
        m_wakeEvent.wait();
        if (!m_bRunning)
            break;
        const int result = captureOnce();
        if (result == kSourceGone) {
            // Nothing more will come: wait for Release instead of polling a
            // closed connection.
            m_stopEvent.wait();
            break;
        }
        if (result != 0) {
            ++failures;
            m_stopEvent.wait(retryDelayMs(failures));
            continue;
        }
        failures = 0;
        frameCount();
    }
    platform::DebugPrintf("CMCameraSDKThread::threadCapture end!\n");
    m_exitedEvent.set();
}
