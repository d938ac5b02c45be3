#pragma once
// The open camera and what its frames go through, without any UI: open,
// close, switch and reconnect run here; the window learns of changes through
// posted messages (WM_SESSION_* of app/common/AppMessages.h).
//
// Threads: every public function is UI thread only unless it says otherwise.
// The camera library's housekeeping (device lists, GetCamera, Init, Release)
// runs one call at a time on the session's worker thread, so the window keeps
// painting while an RTSP open waits up to ten seconds. The frame callback runs
// on the camera's capture thread.
#include "app/shell/session/SessionWorker.h"
#include "app/view/FramePipeline.h"
#include "camera/CMTypes.h"
#include "platform/WindowMessages.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CMCameraBase;
class CImageRenderUI;

namespace shell {

// Where the open camera came from, so it can be marked in the list and found
// again after it was unplugged.
struct CameraSource {
    enum class Kind { None, Local, Network };
    Kind kind = Kind::None;
    int groupType = -1; // local: type of its group (VIDEO_DEVICE_GROUP_*)
    int group = -1;     // local: group position in the list it was opened from
    int device = -1;    // local: position inside its group
    int vid = -1;       // local: USB ids from the list
    int pid = -1;
    int protocol = 0;    // network: 7 wireless box, 8 RTSP URL
    std::string address; // network: box address or URL
    // Which camera it is (CMFactory::GetCameraIdentity): what finds a local
    // camera in a listing, at whatever position, and keys its settings.
    std::string identity;
};

// How the last open attempt ended (WM_SESSION_OPEN_DONE's wParam).
enum SessionOpenResult { kSessionOpened = 0, kSessionOpenFailed = 1, kSessionNotOpened = 2 };

// The session's timer on the main window (watchdog and reconnect polls): the
// camera list panel starts it and hands its WM_TIMER to HandleMessage.
constexpr unsigned kSessionTimerId = 1003;
constexpr unsigned kSessionTimerMs = 500;

// What the session tells the status bar (WM_SESSION_STATUS's wParam).
enum SessionStatus { kSessionCameraLost = 1, kSessionCameraBack = 2 };

class CameraSession {
public:
    explicit CameraSession(platform::HWND window);
    CameraSession(const CameraSession&) = delete;
    CameraSession& operator=(const CameraSession&) = delete;
    // Waits for the worker and releases any camera still open.
    ~CameraSession();

    // The open camera, null when none (also while it is lost).
    CMCameraBase* Camera() const { return m_camera; }
    // Converts, processes, shows and records every frame (capture thread);
    // its lock() guards the frames, the working buffers and the recorder.
    FramePipeline& Pipeline() { return m_pipeline; }
    // The render view frames are shown in; null until the layout made it.
    CImageRenderUI* View() const { return m_view; }
    void SetView(CImageRenderUI* view);
    platform::HWND Window() const { return m_window; }

    // ---- device list ----
    // Lists the local cameras on the worker; WM_SESSION_DEVICES_LISTED follows.
    // Requests made while one is queued merge into it.
    void RefreshDevices();
    // The groups of the last finished listing.
    const std::vector<_tag_VideoDeviceList>& Devices() const { return m_devices; }
    // Listings finished since the session started.
    unsigned ListingsDone() const { return m_listingsDone; }
    // Group and device position in Devices() of the open (or lost) local
    // camera, found by its identity at whatever position. False when it is
    // not listed.
    bool FindOpenCameraRow(int& group, int& device) const;
    // The position in Devices() of the camera with this identity; false when
    // it is not listed.
    bool FindCamera(const std::string& identity, int& group, int& device) const;

    // ---- open and close ----
    // Releases the open camera, then opens device `device` of group `group`
    // of Devices() on the worker (1920 × 1080 requested) and starts its
    // preview; WM_SESSION_OPEN_DONE (wParam SessionOpenResult) follows.
    // The camera is looked for by its identity in a new listing, so the one
    // of that row opens even when the others moved; the device that opened
    // is checked against it (LastOpenFoundAnotherCamera). The settings kept
    // for the camera are applied before its preview starts, and it becomes
    // the camera opened last.
    // kSessionNotOpened at once (no message) for a negative position or while
    // another open runs.
    int OpenLocal(int group, int device);
    // The same for a network camera (protocol 7 box, 8 RTSP; 800 × 600).
    int OpenNetwork(int protocol, const std::string& address);
    // Why the last open failed (a CMOpenFailure value this open recorded; 0
    // when it did not fail or gave no reason).
    int LastOpenFailure() const { return m_lastOpenFailure; }
    // The last open failed because the device that opened was another
    // camera than the row's (the cameras changed places since the listing).
    bool LastOpenFoundAnotherCamera() const { return m_lastOpenMismatch; }
    // The user changed an adjustment of the open camera: the camera's values
    // are kept under its identity at once when `settled`, else (a slider
    // still being dragged) on the session's next timer tick; and before the
    // camera is switched or closed. Values a camera cannot answer (it was
    // unplugged) never replace the kept ones.
    void AdjustmentsChanged(bool settled = true);
    // An open (or a reconnect attempt) is running on the worker.
    bool IsOpening() const { return m_opening; }
    // Ends a running reconnect attempt at once: a network camera's Init gives
    // up (CMFactory::AbortOpen), its outcome is dropped, and the session may
    // open another camera right away. The camera stays lost (and is looked
    // for again) until another one is opened. False when no reconnect
    // attempt runs (a user's own open is not cancelled).
    bool CancelReconnect();
    // Releases the camera (on the worker; waits for it). The caller finishes
    // recordings first. Also ends reconnection.
    void Close();
    // What the open or lost camera is; Kind::None after Close().
    const CameraSource& Source() const { return m_source; }
    // The open camera went away and the session is waiting for it to return.
    bool IsLost() const { return m_lost; }

    // ---- the frame watchdog ----
    // Suspends the watchdog while frames are expected to pause for seconds
    // (still capture, closing a recording, a size or format change); calls
    // nest. UI thread only.
    void PauseWatchdog();
    void ResumeWatchdog();
    class WatchdogPause {
    public:
        explicit WatchdogPause(CameraSession& session) : m_session(session) { m_session.PauseWatchdog(); }
        ~WatchdogPause() { m_session.ResumeWatchdog(); }
        WatchdogPause(const WatchdogPause&) = delete;
        WatchdogPause& operator=(const WatchdogPause&) = delete;

    private:
        CameraSession& m_session;
    };
    // Frames the callback has handed on since the camera opened (any thread).
    unsigned long FramesDelivered() const { return m_frames.load(std::memory_order_relaxed); }

    // ---- waiting for the camera off the UI thread ----
    // Queues `task` on the worker with the open camera, for a call that may
    // wait for the camera for seconds (a still waits up to the camera's
    // time-out for its frame): the window goes on answering meanwhile, and
    // the camera is not released before `task` returned (its release queues
    // behind it). `task` runs on the worker thread and must not touch the UI.
    // False, with nothing queued, without an open camera.
    bool RunWithCamera(std::function<void(CMCameraBase&)> task);

    // ---- holding the automatic modes ----
    // While a job merges frames (a focus stack, a panorama) the camera's
    // automatic exposure and white balance are held: each one that is on is
    // switched off, so the pictures keep the brightness and colour of the
    // first, and switched on again when the last hold ends. Holds nest; a
    // mode the camera cannot switch (one-push white balance, none at all) is
    // left as it is. Closing or switching the camera while held switches
    // them on again on the old camera first; a camera that was lost gets
    // them back when it returns after the last hold ended. A camera opened
    // while a hold runs is not held.
    void HoldAutomatics();
    void ReleaseAutomatics();
    class AutomaticsHold {
    public:
        explicit AutomaticsHold(CameraSession& session) : m_session(session) { m_session.HoldAutomatics(); }
        ~AutomaticsHold() { m_session.ReleaseAutomatics(); }
        AutomaticsHold(const AutomaticsHold&) = delete;
        AutomaticsHold& operator=(const AutomaticsHold&) = delete;

    private:
        CameraSession& m_session;
    };
    // Holds running (nested ones counted).
    int AutomaticsHolds() const { return m_automaticsHolds; }

    // ---- the format and size chain (with an open camera; false without) ----
    // False, with nothing recorded for a reconnect, when the camera refused.
    bool SetFormatIndex(int index);
    // Out of range: "CamSetPreviewSize: index %d < sizes.size() %d\n".
    bool SetPreviewSizeIndex(int index);
    // Out of range: "CamSetStillSize: index %d < sizes.size() %d\n".
    bool SetStillSizeIndex(int index);

    // Handles the session's own messages (WM_SESSION_*, WM_DEVICECHANGE and
    // its watchdog timer). True when `message` was one of them; the camera
    // list panel then updates the window from Source(), Devices() and
    // Camera(). `changed` is set when the open camera changed.
    bool HandleMessage(platform::UINT message, platform::WPARAM wParam, platform::LPARAM lParam, bool& changed);

    // The frame callback given to Init; `userData` is the session.
    static int FrameCallback(void* userData, int kind, long param1, long param2);

private:
    struct OpenOutcome;
    void StartOpen(CameraSource source, bool reconnect);
    void CancelRunningOpen();
    void FinishOpen(bool& changed);
    void FinishListing(bool& changed);
    void OnWatchdogTick(bool& changed);
    void LoseCamera();
    void ReleaseOnWorker(CMCameraBase* camera);
    // Switches the held automatic modes on again on `camera` (null: only
    // forgets them).
    void RestoreAutomatics(CMCameraBase* camera);
    // The open (or lost) local camera's position in a listing, by identity.
    bool SourceListedIn(const std::vector<_tag_VideoDeviceList>& groups,
                        const std::vector<std::vector<std::string>>& identities, int& group, int& device) const;
    // Keeps the open camera's values under its identity.
    void SaveAdjustments();

    platform::HWND m_window;
    CMCameraBase* m_camera = nullptr;
    CImageRenderUI* m_view = nullptr;
    FramePipeline m_pipeline;

    CameraSource m_source;
    std::vector<_tag_VideoDeviceList> m_devices;
    std::vector<std::vector<std::string>> m_identities; // one per device of m_devices
    bool m_adjustmentsChanged = false;
    bool m_lastOpenMismatch = false;
    bool m_opening = false;
    bool m_openIsReconnect = false;
    // Every open gets a number; an outcome of another number is stale.
    unsigned m_openSerial = 0;
    int m_lastOpenFailure = 0;
    bool m_lost = false;
    bool m_listingQueued = false;
    unsigned m_listingsDone = 0;
    int m_watchdogPauses = 0;
    int m_automaticsHolds = 0;
    // The modes a hold switched off, to be switched on again.
    bool m_heldExposure = false;
    bool m_heldWhiteBalance = false;
    unsigned m_lastFrameCheckTick = 0;
    unsigned long m_lastFrameCount = 0;
    unsigned m_lastRetryTick = 0;
    // Format and size of the open camera, restored after a reconnect.
    int m_format = -1;
    _tag_CMSIZE m_previewSize{0, 0};

    std::atomic<unsigned long> m_frames{0};

    // The camera whose Init runs on the worker, so the UI thread can abort it.
    std::mutex m_initLock;
    CMCameraBase* m_initializing = nullptr;
    unsigned m_initializingSerial = 0;
    unsigned m_cancelledSerial = 0; // opens up to this number are cancelled

    // Set while Close waits for the worker: the capture thread then posts its
    // white-balance report (a copy, kept here) instead of sending it.
    std::atomic<bool> m_closing{false};
    int m_whiteBalanceCopy[4] = {};

    // Handed from the worker to the UI thread.
    std::mutex m_resultLock;
    std::unique_ptr<OpenOutcome> m_openOutcome;
    struct Listing {
        std::vector<_tag_VideoDeviceList> groups;
        std::vector<std::vector<std::string>> identities;
    };
    std::unique_ptr<Listing> m_listing;

    // Last member: ends first, so the worker stops before what it uses goes.
    SessionWorker m_worker;
};

} // namespace shell
