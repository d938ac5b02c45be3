#include "app/shell/session/CameraSession.h"

#include "app/common/AppMessages.h"
#include "app/shell/dialogs/VideoControlsDialog.h"
#include "app/shell/session/CameraSettingsStore.h"
#include "app/view/ImageRenderUI.h"
#include "camera/CMCameraBase.h"
#include "camera/factory/CMFactory.h"
#include "camera/usb/UsbOpenFailure.h"
#include "platform/DebugOutput.h"
#include "platform/Tick.h"

#include <algorithm>
#include <cstring>

namespace shell {
namespace {

// A camera is taken for lost after this long without a frame (and at least
// three frame intervals), so the pauses the camera library makes on a
// format change or a still capture are not mistaken for a loss.
constexpr unsigned kWatchdogMinimumMs = 5000;
// How often a lost camera is looked for again.
constexpr unsigned kLocalRetryMs = 2000;
constexpr unsigned kNetworkRetryMs = 3000;

void ReleaseCamera(CMCameraBase* camera)
{
    if (!camera)
        return;
    camera->Release();
    delete camera;
}

// The position of `identity` among the listed devices; false when absent.
bool FindIdentity(const std::vector<_tag_VideoDeviceList>& groups,
                  const std::vector<std::vector<std::string>>& identities, const std::string& identity, int& group,
                  int& device)
{
    if (identity.empty())
        return false;
    for (size_t g = 0; g < groups.size() && g < identities.size(); ++g)
        for (size_t d = 0; d < identities[g].size() && d < groups[g].devices.size(); ++d)
            if (identities[g][d] == identity) {
                group = int(g);
                device = int(d);
                return true;
            }
    return false;
}

} // namespace

struct CameraSession::OpenOutcome {
    CMCameraBase* camera = nullptr;
    int failure = CM_OPEN_FAILURE_NONE;
    bool mismatch = false; // the device that opened was another camera
    CameraSource source;
    bool reconnect = false;
    unsigned serial = 0;
};

CameraSession::CameraSession(platform::HWND window) : m_window(window) {}

CameraSession::~CameraSession() { Close(); }

void CameraSession::SetView(CImageRenderUI* view)
{
    m_view = view;
    m_pipeline.setSink(view);
}

int CameraSession::FrameCallback(void* userData, int kind, long param1, long param2)
{
    auto* session = static_cast<CameraSession*>(userData);
    if (!session)
        return 0;
    switch (kind) {
    case CM_CALLBACK_FRAME:
        if (param1) {
            session->m_frames.fetch_add(1, std::memory_order_relaxed);
            FramePipeline::frameCallback(&session->m_pipeline, kind, param1, param2);
        }
        break;
    case 1: // exposure settled: the value itself travels
        if (param1 != 0 && session->m_window)
            platform::PostMessage(session->m_window, WM_CAMERA_EXPOSURE_REPORT, static_cast<platform::WPARAM>(param1));
        break;
    case 2: // white balance done: four ints the sender keeps valid during the send
        if (!param1 || !session->m_window)
            break;
        if (session->m_closing.load()) {
            // The window waits for this thread to end: a send would never
            // return. A copy is posted instead.
            std::memcpy(session->m_whiteBalanceCopy, reinterpret_cast<const int*>(param1),
                        sizeof session->m_whiteBalanceCopy);
            platform::PostMessage(session->m_window, WM_CAMERA_WHITE_BALANCE_REPORT,
                                  reinterpret_cast<platform::WPARAM>(session->m_whiteBalanceCopy));
            break;
        }
        platform::SendMessage(session->m_window, WM_CAMERA_WHITE_BALANCE_REPORT, static_cast<platform::WPARAM>(param1));
        break;
    default: break;
    }
    return 0;
}

// ---- device list ----

void CameraSession::RefreshDevices()
{
    if (m_listingQueued)
        return;
    m_listingQueued = true;
    m_worker.Post([this] {
        auto listing = std::make_unique<Listing>();
        CMFactory::GetVideoDeviceList(&listing->groups, &listing->identities);
        {
            std::lock_guard guard(m_resultLock);
            m_listing = std::move(listing);
        }
        platform::PostMessage(m_window, WM_SESSION_DEVICES_LISTED);
    });
}

bool CameraSession::SourceListedIn(const std::vector<_tag_VideoDeviceList>& groups,
                                   const std::vector<std::vector<std::string>>& identities, int& group,
                                   int& device) const
{
    // At any position: a camera that moved up when another went is the same
    // camera, and one of two identical cameras is never taken for the other.
    return m_source.kind == CameraSource::Kind::Local &&
           FindIdentity(groups, identities, m_source.identity, group, device);
}

bool CameraSession::FindOpenCameraRow(int& group, int& device) const
{
    return SourceListedIn(m_devices, m_identities, group, device);
}

bool CameraSession::FindCamera(const std::string& identity, int& group, int& device) const
{
    return FindIdentity(m_devices, m_identities, identity, group, device);
}

void CameraSession::FinishListing(bool& changed)
{
    std::unique_ptr<Listing> listing;
    {
        std::lock_guard guard(m_resultLock);
        listing = std::move(m_listing);
    }
    m_listingQueued = false;
    if (!listing)
        return;
    ++m_listingsDone;
    m_devices = std::move(listing->groups);
    m_identities = std::move(listing->identities);
    int group = -1, device = -1;
    const bool listed = SourceListedIn(m_devices, m_identities, group, device);
    if (listed) {
        m_source.group = group;
        m_source.device = device;
    }
    if (m_camera && m_source.kind == CameraSource::Kind::Local && !listed) {
        LoseCamera();
        changed = true;
    } else if (m_lost && listed && !m_opening) {
        StartOpen(m_source, true);
    }
}

// ---- open and close ----

int CameraSession::OpenLocal(int group, int device)
{
    if (group < 0 || device < 0 || m_opening)
        return kSessionNotOpened;
    CameraSource source;
    source.kind = CameraSource::Kind::Local;
    source.group = group;
    source.device = device;
    if (size_t(group) < m_devices.size()) {
        source.groupType = m_devices[group].type;
        if (size_t(device) < m_devices[group].devices.size()) {
            source.vid = m_devices[group].devices[device].vid;
            source.pid = m_devices[group].devices[device].pid;
        }
        if (size_t(group) < m_identities.size() && size_t(device) < m_identities[group].size())
            source.identity = m_identities[group][device];
    }
    StartOpen(source, false);
    return kSessionOpened;
}

int CameraSession::OpenNetwork(int protocol, const std::string& address)
{
    if (address.empty() || m_opening)
        return kSessionNotOpened;
    CameraSource source;
    source.kind = CameraSource::Kind::Network;
    source.protocol = protocol;
    // The camera library takes at most 260 bytes.
    source.address = address.substr(0, 259);
    source.identity = (protocol == CMFactory::kWirelessBox ? "box " : "rtsp ") + source.address;
    StartOpen(source, false);
    return kSessionOpened;
}

void CameraSession::StartOpen(CameraSource source, bool reconnect)
{
    m_opening = true;
    m_openIsReconnect = reconnect;
    const unsigned serial = ++m_openSerial;
    m_lastRetryTick = platform::GetTickCount();
    // What the user set on the camera that goes is kept before it goes.
    SaveAdjustments();
    CMCameraBase* old = m_camera;
    m_camera = nullptr;
    // The settings dialog of the camera that goes away closes first.
    if (old)
        CloseVideoControls();
    if (!reconnect)
        RestoreAutomatics(old);
    if (!reconnect) {
        m_lost = false;
        m_format = -1;
        m_previewSize = {0, 0};
    }
    const int format = m_format;
    const _tag_CMSIZE size = m_previewSize;
    // Cameras forget their values when they lose power: what was kept for
    // this one is set again before its preview starts.
    CameraAdjustments kept;
    CameraSettingsStore().Load(source.identity, kept);
    m_worker.Post([this, old, source, reconnect, format, size, serial, kept]() mutable {
        // The old camera goes first, so a failed switch leaves none open.
        if (old) {
            old->Release();
            m_pipeline.setCamera(nullptr);
            delete old;
        }
        CMCameraBase* camera = nullptr;
        int failure = CM_OPEN_FAILURE_NONE;
        bool mismatch = false;
        if (source.kind == CameraSource::Kind::Local) {
            // The list may have changed since the row was shown: the camera
            // is looked for by what it is, not where it was.
            std::vector<_tag_VideoDeviceList> groups;
            std::vector<std::vector<std::string>> identities;
            CMFactory::GetVideoDeviceList(&groups, &identities);
            int group = -1, device = -1;
            if (FindIdentity(groups, identities, source.identity, group, device)) {
                source.group = group;
                source.device = device;
                char name[260] = {};
                int vid = -1, pid = -1;
                camera = CMFactory::GetCamera(unsigned(group), unsigned(device), name, sizeof name, &vid, &pid, true);
            }
            if (!camera)
                failure = CM_OPEN_FAILURE_GONE;
        } else {
            camera = CMFactory::GetCamera(source.protocol, source.address.c_str());
        }
        if (camera) {
            // Visible to CancelRunningOpen while Init runs; an attempt
            // cancelled before it got here does not start at all.
            bool cancelled = false;
            {
                std::lock_guard guard(m_initLock);
                cancelled = serial <= m_cancelledSerial;
                m_initializing = cancelled ? nullptr : camera;
                m_initializingSerial = serial;
            }
            m_pipeline.setCamera(camera);
            const bool local = source.kind == CameraSource::Kind::Local;
            const int initialised =
                cancelled ? -1
                          : camera->Init(&CameraSession::FrameCallback, this, local ? 1920 : 800, local ? 1080 : 600);
            {
                std::lock_guard guard(m_initLock);
                m_initializing = nullptr;
            }
            // Why a listed local camera could not be opened (access, busy,
            // gone), as this open recorded it; a network camera has no such
            // reason, and one another kind recorded earlier is not its own.
            if (initialised != 0 && source.kind == CameraSource::Kind::Local)
                failure = CMGetLastOpenFailure();
            // A network camera tells its own (refused, no answer, no stream).
            else if (initialised != 0)
                failure = camera->GetOpenFailure();
            // The device that opened must be the camera of the row: between
            // the listing and the open another may have taken its place.
            if (initialised == 0 && source.kind == CameraSource::Kind::Local) {
                const std::string opened = CMFactory::GetCameraIdentity(camera);
                if (opened != source.identity) {
                    platform::DebugPrintf("opened \"%s\" instead of \"%s\"\n", opened.c_str(), source.identity.c_str());
                    mismatch = !opened.empty();
                    failure = opened.empty() ? CM_OPEN_FAILURE_GONE : CM_OPEN_FAILURE_NONE;
                }
            }
            if (initialised != 0 || mismatch || failure != CM_OPEN_FAILURE_NONE) {
                camera->Release();
                m_pipeline.setCamera(nullptr);
                delete camera;
                camera = nullptr;
            }
        }
        if (camera) {
            ApplyAdjustments(*camera, kept);
            if (reconnect) {
                // Back with the format and size it had when it went away.
                if (format >= 0)
                    camera->SetFormat(format);
                if (size.width > 0 && size.height > 0)
                    camera->SetPreviewSize(size);
            }
            camera->startPreview();
        }
        auto outcome = std::make_unique<OpenOutcome>();
        outcome->camera = camera;
        outcome->failure = camera ? CM_OPEN_FAILURE_NONE : failure;
        outcome->mismatch = mismatch;
        outcome->source = source;
        outcome->reconnect = reconnect;
        outcome->serial = serial;
        {
            std::lock_guard guard(m_resultLock);
            if (m_openOutcome) // never read: the window went before it
                ReleaseCamera(m_openOutcome->camera);
            m_openOutcome = std::move(outcome);
        }
        platform::PostMessage(m_window, WM_SESSION_OPEN_DONE, camera ? kSessionOpened : kSessionOpenFailed,
                              reconnect ? 1 : 0);
    });
}

void CameraSession::FinishOpen(bool& changed)
{
    std::unique_ptr<OpenOutcome> outcome;
    {
        std::lock_guard guard(m_resultLock);
        outcome = std::move(m_openOutcome);
    }
    if (!outcome)
        return;
    if (outcome->serial != m_openSerial) { // a cancelled attempt
        ReleaseOnWorker(outcome->camera);
        return;
    }
    m_opening = false;
    m_lastOpenFailure = outcome->failure;
    m_lastOpenMismatch = outcome->mismatch;
    if (outcome->reconnect)
        m_lastRetryTick = platform::GetTickCount(); // the retry period counts from here
    if (outcome->reconnect && !m_lost) {            // closed while the attempt ran
        ReleaseOnWorker(outcome->camera);
        return;
    }
    if (!outcome->camera) {
        if (!outcome->reconnect) {
            m_source = CameraSource{};
            changed = true;
        }
        return;
    }
    m_camera = outcome->camera;
    m_source = outcome->source;
    m_adjustmentsChanged = false;
    if (m_source.kind == CameraSource::Kind::Local && !outcome->reconnect)
        CameraSettingsStore().SetLastCamera(m_source.identity);
    const bool wasLost = m_lost;
    m_lost = false;
    // Lost while held and back after the hold ended: the camera may still
    // keep the manual modes the hold set.
    if (outcome->reconnect && m_automaticsHolds == 0)
        RestoreAutomatics(m_camera);
    m_lastFrameCount = FramesDelivered();
    m_lastFrameCheckTick = platform::GetTickCount();
    int format = -1;
    if (m_camera->GetFormat(format) == 0)
        m_format = format;
    _tag_CMSIZE size{0, 0};
    if (m_camera->GetPreviewSize(size) == 0)
        m_previewSize = size;
    if (wasLost)
        platform::PostMessage(m_window, WM_SESSION_STATUS, kSessionCameraBack);
    changed = true;
}

void CameraSession::ReleaseOnWorker(CMCameraBase* camera)
{
    if (!camera)
        return;
    m_worker.Post([this, camera] {
        camera->Release();
        m_pipeline.setCamera(nullptr);
        delete camera;
    });
}

void CameraSession::CancelRunningOpen()
{
    std::lock_guard guard(m_initLock);
    m_cancelledSerial = m_openSerial;
    if (m_initializing && m_initializingSerial <= m_cancelledSerial)
        CMFactory::AbortOpen(m_initializing);
}

bool CameraSession::CancelReconnect()
{
    if (!m_opening || !m_openIsReconnect)
        return false;
    CancelRunningOpen();
    m_opening = false;
    m_lastRetryTick = platform::GetTickCount();
    return true;
}

void CameraSession::Close()
{
    // A running attempt gives up instead of holding the window for seconds,
    // and the capture thread must not send to the waiting window.
    CancelRunningOpen();
    m_closing = true;
    SaveAdjustments();
    CMCameraBase* camera = m_camera;
    m_camera = nullptr;
    if (camera)
        CloseVideoControls();
    RestoreAutomatics(camera);
    m_lost = false;
    m_source = CameraSource{};
    m_worker.Run([this, camera] {
        if (camera) {
            camera->Release();
            m_pipeline.setCamera(nullptr);
            delete camera;
        }
    });
    // An open that finished but was not yet taken over is released too.
    std::unique_ptr<OpenOutcome> outcome;
    {
        std::lock_guard guard(m_resultLock);
        outcome = std::move(m_openOutcome);
    }
    if (outcome && outcome->camera)
        m_worker.Run([this, &outcome] {
            outcome->camera->Release();
            m_pipeline.setCamera(nullptr);
            delete outcome->camera;
        });
    m_opening = false;
    m_closing = false;
}

void CameraSession::AdjustmentsChanged(bool settled)
{
    m_adjustmentsChanged = true;
    if (settled)
        SaveAdjustments();
}

void CameraSession::SaveAdjustments()
{
    if (!m_adjustmentsChanged || !m_camera || m_source.identity.empty())
        return;
    const CameraAdjustments values = ReadAdjustments(*m_camera);
    // A camera that answers nothing has gone: what was kept stays.
    if (values.autoExposure < 0 && values.autoWhiteBalance < 0 && values.properties.empty())
        return;
    m_adjustmentsChanged = false;
    CameraSettingsStore().Save(m_source.identity, values);
}

void CameraSession::LoseCamera()
{
    CMCameraBase* camera = m_camera;
    m_camera = nullptr;
    // Its settings dialog (and whatever it opened) closes before the camera
    // is released.
    CloseVideoControls();
    m_lost = true;
    m_lastRetryTick = platform::GetTickCount();
    platform::DebugPrintf("camera lost; waiting for it to return\n");
    ReleaseOnWorker(camera);
    platform::PostMessage(m_window, WM_SESSION_STATUS, kSessionCameraLost);
}

// ---- holding the automatic modes ----

void CameraSession::HoldAutomatics()
{
    if (m_automaticsHolds++ > 0 || !m_camera)
        return;
    bool automatic = false;
    if (m_camera->getExposure(automatic) == 0 && automatic)
        m_heldExposure = m_camera->setExposure(false) == 0;
    // Only a continuous automatic white balance can be held; a one-push
    // balance stays where it was put.
    if (m_camera->getWhiteBalanceMode() == 1 && m_camera->getWhiteBalance(automatic) == 0 && automatic)
        m_heldWhiteBalance = m_camera->setWhiteBalance(false) == 0;
}

void CameraSession::ReleaseAutomatics()
{
    if (m_automaticsHolds == 0 || --m_automaticsHolds > 0)
        return;
    // A lost camera gets them back when it returns.
    if (m_camera)
        RestoreAutomatics(m_camera);
}

void CameraSession::RestoreAutomatics(CMCameraBase* camera)
{
    if (camera && m_heldExposure)
        camera->setExposure(true);
    if (camera && m_heldWhiteBalance)
        camera->setWhiteBalance(true);
    m_heldExposure = false;
    m_heldWhiteBalance = false;
}

// ---- watchdog ----

void CameraSession::PauseWatchdog() { ++m_watchdogPauses; }

void CameraSession::ResumeWatchdog()
{
    if (m_watchdogPauses > 0)
        --m_watchdogPauses;
    m_lastFrameCheckTick = platform::GetTickCount();
}

void CameraSession::OnWatchdogTick(bool& changed)
{
    const unsigned now = platform::GetTickCount();
    if (m_lost) {
        const unsigned period = m_source.kind == CameraSource::Kind::Network ? kNetworkRetryMs : kLocalRetryMs;
        if (m_opening || now - m_lastRetryTick < period)
            return;
        if (m_source.kind == CameraSource::Kind::Network)
            StartOpen(m_source, true);
        else
            RefreshDevices(); // the listing reopens it once it is back
        m_lastRetryTick = now;
        return;
    }
    if (!m_camera)
        return;
    // A slider dragged for a while is kept once per tick, not per step.
    SaveAdjustments();
    const unsigned long frames = FramesDelivered();
    if (frames != m_lastFrameCount || m_watchdogPauses > 0 || m_opening || m_camera->IsPaused()) {
        m_lastFrameCount = frames;
        m_lastFrameCheckTick = now;
        return;
    }
    const float rate = m_camera->GetFrameRate();
    const unsigned threeFrames = rate > 0.01f ? unsigned(3000.0f / rate) : 0;
    if (now - m_lastFrameCheckTick >= std::max(kWatchdogMinimumMs, threeFrames)) {
        LoseCamera();
        changed = true;
    }
}

// ---- waiting for the camera off the UI thread ----

bool CameraSession::RunWithCamera(std::function<void(CMCameraBase&)> task)
{
    CMCameraBase* camera = m_camera;
    if (!camera || !task)
        return false;
    m_worker.Post([camera, task = std::move(task)] { task(*camera); });
    return true;
}

// ---- format and size chain ----

bool CameraSession::SetFormatIndex(int index)
{
    if (!m_camera)
        return false;
    std::vector<int> formats;
    m_camera->GetSupportedFormats(&formats);
    if (index < 0 || size_t(index) >= formats.size())
        return false;
    WatchdogPause pause(*this);
    // Only what the camera took is restored after a reconnect.
    if (m_camera->SetFormat(formats[index]) != 0)
        return false;
    m_format = formats[index];
    m_adjustmentsChanged = true;
    return true;
}

bool CameraSession::SetPreviewSizeIndex(int index)
{
    if (!m_camera)
        return false;
    std::vector<_tag_CMSIZE> sizes;
    m_camera->GetSupportedPreviewSizes(&sizes);
    if (index < 0 || size_t(index) >= sizes.size()) {
        platform::DebugPrintf("CamSetPreviewSize: index %d < sizes.size() %d\n", index, int(sizes.size()));
        return false;
    }
    WatchdogPause pause(*this);
    if (m_camera->SetPreviewSize(sizes[index]) != 0)
        return false;
    m_previewSize = sizes[index];
    m_adjustmentsChanged = true;
    return true;
}

bool CameraSession::SetStillSizeIndex(int index)
{
    if (!m_camera) {
        platform::DebugPrintf("m_pCamera == NULL\n");
        return false;
    }
    std::vector<_tag_CMSIZE> sizes;
    m_camera->GetSupportedStillCaptureSizes(&sizes);
    if (index < 0 || size_t(index) >= sizes.size()) {
        platform::DebugPrintf("CamSetStillSize: index %d < sizes.size() %d\n", index, int(sizes.size()));
        return false;
    }
    m_camera->SetStillCaptureSize(sizes[index]);
    return true;
}

// ---- messages ----

bool CameraSession::HandleMessage(platform::UINT message, platform::WPARAM wParam, platform::LPARAM, bool& changed)
{
    changed = false;
    if (message == WM_SESSION_OPEN_DONE) {
        FinishOpen(changed);
        return true;
    }
    if (message == WM_SESSION_DEVICES_LISTED) {
        FinishListing(changed);
        return true;
    }
    if (message == platform::WM_DEVICECHANGE) {
        if (wParam == 7 || wParam == 0x8000 || wParam == 0x8004)
            RefreshDevices();
        return true;
    }
    if (message == platform::WM_TIMER && wParam == kSessionTimerId) {
        OnWatchdogTick(changed);
        return true;
    }
    return false;
}

} // namespace shell
