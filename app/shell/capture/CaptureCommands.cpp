#include "app/shell/capture/CaptureCommands.h"

#include "app/common/AppMessages.h"
#include "app/shell/AppConfig.h"
#include "app/shell/MainWnd.h"
#include "app/shell/capture/ImageFileWriter.h"
#include "app/shell/capture/SnapshotDestination.h"
#include "app/shell/capture/SnapshotFiles.h"
#include "app/shell/dialogs/Dialogs.h"
#include "app/shell/session/CameraSession.h"
#include "app/view/ImageRenderUI.h"
#include "camera/CMCameraBase.h"
#include "ui/Controls.h"
#include "ui/FileDialog.h"
#include "ui/Menu.h"
#include "ui/MessageDialog.h"
#include "ui/PaintManager.h"
#include "ui/ResourceManager.h"

#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <vector>

namespace shell {
namespace {

constexpr const char* kStillSizePrefix = "Menu_SubItem_StillSize_";

std::string Text(const char* id) { return CResourceManager::GetInstance()->GetTextOrId(id); }

bool NameIs(const std::string& item, const char* name) { return ::strcasecmp(item.c_str(), name) == 0; }

// "m:ss" or "h:mm:ss".
std::string FormatElapsed(int64_t micros)
{
    const int64_t seconds = micros / 1'000'000;
    char text[32];
    if (seconds >= 3600)
        std::snprintf(text, sizeof text, "%d:%02d:%02d", int(seconds / 3600), int(seconds / 60 % 60),
                      int(seconds % 60));
    else
        std::snprintf(text, sizeof text, "%d:%02d", int(seconds / 60), int(seconds % 60));
    return text;
}

// Why a recording's file could not be written, in the user's words.
const char* WriteFailureReason(int error)
{
    switch (error) {
    case ENOSPC:
    case EFBIG:
    case EDQUOT: return "STR_REASON_DISK_FULL";
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case EIO:
    case ESTALE: return "STR_REASON_FOLDER_GONE";
    default: return "STR_REASON_WRITE_FAILED";
    }
}

} // namespace

// One still on its way: asked for on the UI thread, taken and converted on
// the session's worker, saved back on the UI thread.
struct CaptureCommands::StillRequest {
    // Set on the UI thread before the task is queued.
    std::string path;
    platform::ExistingFile existing = platform::ExistingFile::Number;
    int previewWidth = 0;
    bool watchdogPaused = false;
    // Written by the worker under `lock`; `taken` says it is done.
    std::mutex lock;
    std::condition_variable done;
    bool taken = false;
    bool converted = false;
    std::vector<uint8_t> bgra;
    int width = 0;
    int height = 0;
};

// A recorder being opened on the session's worker; `finished` says it is
// done, `started` whether it opened.
struct CaptureCommands::RecordingStart {
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;
    bool started = false;
};

CaptureCommands::CaptureCommands(MainWindowServices& services)
    : WindowPart(services), m_menuCheckInfo(std::make_unique<CStdStringPtrMap>())
{
}

CaptureCommands::~CaptureCommands() = default;

COptionUI* CaptureCommands::Option(const char* name) const
{
    return dynamic_cast<COptionUI*>(m_services.paint.FindControl(name));
}

bool CaptureCommands::Notify(TNotifyUI& msg)
{
    if (!msg.pSender)
        return false;
    const std::string& name = msg.pSender->GetName();
    if (msg.sType == "click") {
        if (name == "ToolbarBtnCapture") {
            if (m_seriesRunning) {
                // The click's own toggle decides the option's look.
                const bool selected = Option("ToolbarBtnCapture") && Option("ToolbarBtnCapture")->IsSelected();
                EndSeries();
                if (COptionUI* capture = Option("ToolbarBtnCapture"))
                    capture->Selected(selected, false);
            } else {
                TakeSnapshot();
                if (COptionUI* capture = Option("ToolbarBtnCapture"))
                    capture->Selected(true, false);
            }
            return true;
        }
        if (name == "ToolbarBtnCaptureSet") {
            ShowSnapMenu();
            return true;
        }
        if (name == "ToolbarBtnFiles") {
            OpenImageFolder();
            return true;
        }
        if (name == "MeasureBtnScreenShot") {
            SaveScreenshot();
            return true;
        }
    } else if (msg.sType == "selectchanged" && name == "ToolbarBtnRecord") {
        auto* record = Option("ToolbarBtnRecord");
        if (record && record->IsSelected())
            StartRecording();
        else
            StopRecording();
        return true;
    }
    return false;
}

bool CaptureCommands::HandleMessage(UINT message, WPARAM wParam, LPARAM, LRESULT& result)
{
    if (message == WM_SNAPSHOT_TAKEN) {
        result = 0;
        FinishStill();
        return true;
    }
    if (message == WM_RECORDING_OPENED) {
        result = 0;
        FinishRecordingStart();
        return true;
    }
    if (message == WM_FOLDER_OPENER_FAILED) {
        result = 0;
        SayWherePicturesAre();
        return true;
    }
    if (message != WM_TIMER)
        return false;
    result = 0;
    switch (wParam) {
    case kSeriesTimer: SeriesTick(); return true;
    case kRecordingStatusTimer: ShowRecordingStatus(); return true;
    case kSaveResultsTimer: CollectSaveResults(); return true;
    default: return false;
    }
}

bool CaptureCommands::OnKey(WPARAM key)
{
    if (key == VK_RETURN) {
        TakeSnapshot();
        return true;
    }
    if (key == VK_F9) {
        auto* record = Option("ToolbarBtnRecord");
        if (!record || !record->IsEnabled())
            return false;
        record->Selected(!record->IsSelected()); // the change starts or stops recording
        return true;
    }
    return false;
}

// ---- snapshots ----

void CaptureCommands::TakeSnapshot()
{
    CControlUI* capture = m_services.paint.FindControl("ToolbarBtnCapture");
    if (!capture || !capture->IsEnabled())
        return;
    const bool automatic = m_seriesRunning || Config().FileSave_Rule == 0;
    if (m_still) {
        m_services.setStatus(Text("STR_SNAP_BUSY"));
        return;
    }
    const std::string path = ChooseSnapshotPath(m_services, automatic);
    if (path.empty())
        return;
    if (!RequestStill(path, automatic ? platform::ExistingFile::Number : platform::ExistingFile::Replace))
        m_services.setStatus(Text("STR_SNAP_FAIL"));
}

bool CaptureCommands::RequestStill(const std::string& path, platform::ExistingFile existing)
{
    CMCameraBase* camera = m_services.session.Camera();
    if (!camera)
        return false;
    auto request = std::make_shared<StillRequest>();
    request->path = path;
    request->existing = existing;
    int previewHeight = 0;
    camera->GetPreviewSize(request->previewWidth, previewHeight);
    // A still of its own may pause the camera's frames for a moment; that is
    // no lost camera. A copy of the next live frame pauses nothing, so the
    // watchdog keeps watching a camera that stops meanwhile.
    request->watchdogPaused = camera->isSupportStillCapture();
    if (request->watchdogPaused)
        m_services.session.PauseWatchdog();
    FramePipeline& pipeline = m_services.session.Pipeline();
    const platform::HWND window = m_services.window.GetHWND();
    const bool queued =
        m_services.session.RunWithCamera([request, converter = m_converter, &pipeline, window](CMCameraBase& taking) {
            std::vector<uint8_t> bgra;
            int width = 0, height = 0;
            const bool converted = converter->snap(taking, pipeline, bgra, width, height);
            {
                std::lock_guard guard(request->lock);
                request->converted = converted;
                request->bgra = std::move(bgra);
                request->width = width;
                request->height = height;
                request->taken = true;
            }
            request->done.notify_all();
            platform::PostMessage(window, WM_SNAPSHOT_TAKEN);
        });
    if (!queued) {
        if (request->watchdogPaused)
            m_services.session.ResumeWatchdog();
        return false;
    }
    m_still = std::move(request);
    return true;
}

void CaptureCommands::FinishStill()
{
    if (!m_still)
        return;
    SnapshotSaver::Job job;
    bool converted = false;
    {
        std::lock_guard guard(m_still->lock);
        // The message of a still that OnClosing already finished.
        if (!m_still->taken)
            return;
        converted = m_still->converted;
        job.bgra = std::move(m_still->bgra);
        job.width = m_still->width;
        job.height = m_still->height;
    }
    const std::shared_ptr<StillRequest> request = std::move(m_still);
    if (request->watchdogPaused)
        m_services.session.ResumeWatchdog();
    if (!converted) {
        m_services.setStatus(Text("STR_SNAP_FAIL"));
        if (m_seriesTickWaiting && m_saver.pending() == 0)
            SeriesTick();
        return;
    }
    if (IsTiffPath(request->path)) {
        ImageScale scale;
        if (m_services.view && CurrentImageScale(m_services.view->container(), request->previewWidth, job.width, scale))
            job.scale = scale;
    }
    job.path = request->path;
    job.existing = request->existing;
    if (!m_saver.submit(job)) {
        m_services.setStatus(Text("STR_SNAP_BUSY"));
        return;
    }
    m_services.window.SetTimer(kSaveResultsTimer, kSaveResultsMs);
}

void CaptureCommands::CollectSaveResults()
{
    for (const SnapshotSaver::Result& result : m_saver.takeResults())
        m_services.setStatus(result.saved ? Text("STR_SAVED_TO") + " " + result.path : Text("STR_SNAP_FAIL"));
    if (m_saver.pending() != 0)
        return;
    m_services.window.KillTimer(kSaveResultsTimer);
    if (m_seriesTickWaiting && !m_still)
        SeriesTick();
}

// ---- continuous shooting ----

void CaptureCommands::StartSeries()
{
    if (Config().ConshotCount <= 0 || Config().ConshotInterval < 0 || m_seriesRunning)
        return;
    m_seriesDone = 0;
    m_seriesTickWaiting = false;
    // An interval of 0 runs as fast as the timer allows.
    m_services.window.SetTimer(kSeriesTimer, UINT(std::max(10, Config().ConshotInterval * 1000)));
    if (COptionUI* capture = Option("ToolbarBtnCapture"))
        capture->Selected(true, false);
    for (const char* name : {"ToolbarBtnRecord", "ToolbarBtnCaptureSet", "combo_preview_size", "combo_preview_format"})
        if (CControlUI* control = m_services.paint.FindControl(name))
            control->SetEnabled(false);
    m_seriesRunning = true;
    if (m_services.desktopIdle)
        m_seriesAwake = m_services.desktopIdle->hold(Text("STR_IDLE_REASON"));
}

void CaptureCommands::SeriesTick()
{
    m_seriesTickWaiting = false;
    if (!m_seriesRunning)
        return;
    if (m_seriesDone >= Config().ConshotCount) {
        EndSeries();
        return;
    }
    // Still taking or writing the previous picture: take this one as soon
    // as it is written rather than queue work or skip a picture.
    if (m_still || m_saver.pending() != 0) {
        m_seriesTickWaiting = true;
        return;
    }
    TakeSnapshot();
    ++m_seriesDone;
}

void CaptureCommands::EndSeries()
{
    if (!m_seriesRunning)
        return;
    m_services.window.KillTimer(kSeriesTimer);
    m_seriesRunning = false;
    m_seriesTickWaiting = false;
    m_seriesAwake.reset();
    if (COptionUI* capture = Option("ToolbarBtnCapture"))
        capture->Selected(false, false);
    const bool camera = m_services.session.Camera() != nullptr;
    for (const char* name : {"ToolbarBtnRecord", "ToolbarBtnCaptureSet", "combo_preview_size", "combo_preview_format"})
        if (CControlUI* control = m_services.paint.FindControl(name))
            control->SetEnabled(camera);
}

// ---- recording ----

void CaptureCommands::SetCaptureControlsEnabled(bool enabled)
{
    for (const char* name : {"combo_preview_size", "combo_preview_format", "ToolbarBtnCapture", "ToolbarBtnCaptureSet"})
        if (CControlUI* control = m_services.paint.FindControl(name))
            control->SetEnabled(enabled);
}

void CaptureCommands::StartRecording()
{
    // Pressed again while the last press's recorder opens: that one goes on.
    if (m_recordingStart)
        return;
    CMCameraBase* camera = m_services.session.Camera();
    int width = 0, height = 0;
    if (camera)
        camera->GetPreviewSize(width, height);
    if (!(width > 0 && width <= 1920 && height > 0 && height <= 1080)) {
        ShowMessage(m_services.window.GetHWND(), Text("STR_RECORD_WRONG_SIZE"), Text("STR_ERROR"), 0, 16);
        if (COptionUI* record = Option("ToolbarBtnRecord"))
            record->Selected(false, false);
        return;
    }
    std::string path;
    if (Config().FileSave_Rule != 0) {
        ui::FileDialogRequest request;
        request.owner = m_services.window.GetHWND();
        request.title = Text("STR_SAVE_FILE");
        request.filters = {{"MP4 File(*.mp4)", "*.mp4"}};
        request.defaultExtension = "*.mp4";
        path = ui::GetSaveFileName(request);
    } else if (const std::string folder = ImageFolder(); !folder.empty()) {
        path = AutomaticFileName(folder, ".mp4");
    }
    bool queued = false;
    if (!path.empty()) {
        Mp4Recorder::Options options;
        options.replaceExisting = Config().FileSave_Rule != 0; // the user chose that name
        // The encoder plans its bits and level for the rate the camera delivers now.
        if (const float rate = camera->GetFrameRate(); rate >= 1.0f)
            options.frameRate = int(rate + 0.5f);
        // The encoder works on a thread of its own, so the capture thread only
        // copies each picture; four waiting pictures ride out a slow moment
        // of the encoder (about 70 ms at 60 frames/s) before frames are dropped.
        options.queuedFrames = 4;
        auto start = std::make_shared<RecordingStart>();
        FramePipeline& pipeline = m_services.session.Pipeline();
        const platform::HWND window = m_services.window.GetHWND();
        queued = m_services.session.RunWithCamera(
            [start, &pipeline, width, height, path, options = std::move(options), window](CMCameraBase&) {
                const bool started = pipeline.startRecording(width, height, path.c_str(), options);
                if (!started)
                    pipeline.stopRecording(); // a recorder that did not open is not kept
                {
                    std::lock_guard guard(start->lock);
                    start->started = started;
                    start->finished = true;
                }
                start->done.notify_all();
                platform::PostMessage(window, WM_RECORDING_OPENED);
            });
        if (queued)
            m_recordingStart = std::move(start);
    }
    if (!queued) {
        SayRecordingDidNotStart();
        return;
    }
    m_recordingCamera = camera;
    SetCaptureControlsEnabled(false);
}

void CaptureCommands::FinishRecordingStart()
{
    if (!m_recordingStart)
        return;
    bool started = false;
    {
        std::lock_guard guard(m_recordingStart->lock);
        // The message of a start that OnClosing already finished.
        if (!m_recordingStart->finished)
            return;
        started = m_recordingStart->started;
    }
    m_recordingStart.reset();
    if (!started) {
        SayRecordingDidNotStart();
        return;
    }
    COptionUI* record = Option("ToolbarBtnRecord");
    m_recording = true;
    if (m_services.desktopIdle)
        m_recordingAwake = m_services.desktopIdle->hold(Text("STR_IDLE_REASON"));
    if (m_services.view)
        m_services.view->showRecordingIndicator(true);
    m_services.window.SetTimer(kRecordingStatusTimer, kRecordingStatusMs);
    ShowRecordingStatus();
    // Stopped by the operator, or left by its camera, while it opened: the
    // file keeps what it got, as any short recording does.
    if (!(record && record->IsSelected()) || m_services.session.Camera() != m_recordingCamera) {
        if (record)
            record->Selected(false, false);
        StopRecording();
    }
}

void CaptureCommands::SayRecordingDidNotStart()
{
    m_services.setStatus(Text("STR_RECORD_FAIL"));
    if (COptionUI* record = Option("ToolbarBtnRecord"))
        record->Selected(false, false);
    SetCaptureControlsEnabled(m_services.session.Camera() != nullptr);
}

void CaptureCommands::StopRecording()
{
    // A recorder still opening is stopped when it has opened.
    if (m_recordingStart)
        return;
    std::string name;
    FramePipeline::RecordingStats final;
    {
        // Closing a short recording waits for its three seconds.
        CameraSession::WatchdogPause pause(m_services.session);
        name = m_services.session.Pipeline().finishRecording(&final);
    }
    const bool wasRecording = m_recording;
    m_recording = false;
    m_recordingAwake.reset();
    m_services.window.KillTimer(kRecordingStatusTimer);
    if (m_services.view)
        m_services.view->showRecordingIndicator(false);
    SetCaptureControlsEnabled(m_services.session.Camera() != nullptr);
    if (!name.empty() && final.writeError != 0) {
        char text[1024];
        std::snprintf(text, sizeof text, Text("STR_RECORD_STOPPED").c_str(),
                      Text(WriteFailureReason(final.writeError)).c_str(), static_cast<long long>(final.framesWritten),
                      name.c_str());
        m_services.setStatus(text);
    } else if (!name.empty()) {
        // A lost camera ended it: the disconnection stays said beside where it went.
        const bool lost = !m_services.session.Camera() && m_services.session.IsLost();
        m_services.setStatus((lost ? Text("STR_CAMERA_DISCONNECTED") + " " : std::string()) + Text("STR_SAVED_TO") +
                             " " + name);
    } else if (wasRecording)
        m_services.setStatus(Text("STR_RECORD_FAIL"));
}

void CaptureCommands::ShowRecordingStatus()
{
    const FramePipeline::RecordingStats stats = m_services.session.Pipeline().recordingStats();
    if (stats.writeError != 0) {
        // The file cannot take more: stop, and say why and what it holds.
        if (COptionUI* record = Option("ToolbarBtnRecord"))
            record->Selected(false, false);
        StopRecording();
        return;
    }
    // One clock with the indicator on the picture, and the line written
    // again just after each of its whole seconds, so both turn together.
    int64_t elapsed = stats.elapsedMicros;
    if (m_services.view && m_services.view->isRecordingIndicatorShown())
        elapsed = std::chrono::duration_cast<std::chrono::microseconds>(m_services.view->recordingElapsed()).count();
    char text[512];
    std::snprintf(text, sizeof text, Text("STR_RECORD_STATUS").c_str(), FormatElapsed(elapsed).c_str(),
                  static_cast<long long>(stats.framesWritten), static_cast<long long>(stats.framesDropped));
    m_services.setStatus(text);
    const auto intoSecond = UINT(elapsed / 1000 % kRecordingStatusMs);
    m_services.window.SetTimer(kRecordingStatusTimer, kRecordingStatusMs - intoSecond + 5);
}

// ---- folder, screenshot, menu ----

void CaptureCommands::OpenImageFolder()
{
    const std::string folder = ImageFolder();
    // Without a desktop opener, or when it finds no file manager, the button
    // would do nothing: say where the pictures are instead.
    if (!folder.empty() && !ui::OpenFolder(folder, m_services.window.GetHWND(), WM_FOLDER_OPENER_FAILED))
        SayWherePicturesAre();
}

void CaptureCommands::SayWherePicturesAre()
{
    std::string text = Text("STR_NO_FILE_MANAGER");
    if (const size_t at = text.find("%s"); at != std::string::npos)
        text.replace(at, 2, ImageFolder());
    m_services.setStatus(text);
}

void CaptureCommands::SaveScreenshot()
{
    if (!m_services.session.Camera()) {
        ShowMessage(m_services.window.GetHWND(), Text("STR_ERROR_CAMERA_NOT_OPEN"), Text("STR_ERROR"), 0, 16);
        return;
    }
    ui::FileDialogRequest request;
    request.owner = m_services.window.GetHWND();
    request.title = Text("STR_SAVE_FILE");
    request.defaultName = "screenshot.png";
    request.filters = {{"Portable Network Graphics (*.png)", "*.png"},
                       {"JPEG files (*.jpg;*.jpeg;*.jpe)", "*.jpg;*.jpeg;*.jpe"},
                       {"Windows Bitmaps (*.bmp;*.dib)", "*.bmp;*.dib"}};
    request.defaultExtension = "*.png";
    const std::string path = ui::GetSaveFileName(request);
    if (!path.empty() && m_services.view)
        m_services.view->requestSnapshot(path);
}

void CaptureCommands::ShowSnapMenu()
{
    CControlUI* button = m_services.paint.FindControl("ToolbarBtnCaptureSet");
    CMCameraBase* camera = m_services.session.Camera();
    if (!button)
        return;
    const RECT pos = button->GetPos();
    POINT pt{pos.left, pos.bottom};
    m_services.window.ClientToScreen(pt);
    m_menu.reset();
    m_stillSizeItems.clear();
    m_menuCheckInfo->RemoveAll();
    auto menu = std::make_unique<CMenuWnd>();
    if (!menu->Init(nullptr, "xmls\\menus\\menu_snap.xml", pt, &m_services.paint, m_menuCheckInfo.get(),
                    eMenuAlignment_Left | eMenuAlignment_Top))
        return;

    auto* sizes = new CMenuElementUI;
    sizes->SetName("Menu_Picture_Size");
    sizes->SetText("STR_PICTURE_SIZE");
    sizes->SetResourceText(true);
    sizes->SetShowExpandIcon(true);
    char text[64];
    std::vector<_tag_CMSIZE> stills;
    if (camera && camera->isSupportStillCapture() && Config().DisableStillCap == 0 &&
        camera->GetSupportedStillCaptureSizes(&stills) == 0 && !stills.empty()) {
        int currentWidth = 0, currentHeight = 0;
        camera->GetStillCaptureSize(currentWidth, currentHeight);
        for (size_t i = 0; i < stills.size(); ++i) {
            auto* item = new CMenuElementUI;
            std::snprintf(text, sizeof text, "%d x %d", int(stills[i].width), int(stills[i].height));
            item->SetText(text);
            std::snprintf(text, sizeof text, "%d|%d", int(stills[i].width), int(stills[i].height));
            item->SetUserData(text);
            const std::string name = kStillSizePrefix + std::to_string(i);
            item->SetName(name);
            m_stillSizeItems[name] = text;
            item->SetFixedWidth(200);
            item->SetIcon("ui\\menu\\ic_menu_checked.png");
            item->SetIconSize(26, 26);
            item->SetCheckItem(true);
            const bool current = stills[i].width == currentWidth && stills[i].height == currentHeight;
            item->SetChecked(current);
            m_menuCheckInfo->Set(name, current ? item : nullptr);
            sizes->Add(item);
        }
    } else {
        int width = 0, height = 0;
        if (camera)
            camera->GetPreviewSize(width, height);
        auto* item = new CMenuElementUI;
        std::snprintf(text, sizeof text, "%d x %d", width, height);
        item->SetText(text);
        item->SetEnabled(false);
        sizes->Add(item);
    }
    menu->GetMenuUI()->AddAt(sizes, 0);

    if (CMenuElementUI* formats = menu->GetMenuUI()->GetItemAt(1))
        for (int i = 0; i < formats->GetCount(); ++i) {
            CMenuElementUI* item = formats->GetItemAt(i);
            item->SetChecked(i == Config().FileType);
            m_menuCheckInfo->Set(item->GetName(), i == Config().FileType ? item : nullptr);
            item->SetEnabled(Config().FileSave_Rule == 0);
        }
    m_menu = std::move(menu);
}

bool CaptureCommands::OnMenuCommand(const std::string& item)
{
    if (::strncasecmp(item.c_str(), kStillSizePrefix, std::char_traits<char>::length(kStillSizePrefix)) == 0) {
        const auto found = m_stillSizeItems.find(item);
        CMCameraBase* camera = m_services.session.Camera();
        if (found == m_stillSizeItems.end() || !camera)
            return true;
        const std::string& data = found->second;
        const size_t bar = data.find('|');
        if (bar == std::string::npos || bar == 0)
            return true;
        const int width = std::atoi(data.substr(0, bar).c_str());
        const int height = std::atoi(data.substr(bar + 1).c_str());
        camera->SetStillCaptureSize(width, height);
        // The capture-size combo shows the still list in the same order.
        const int index = std::atoi(item.c_str() + std::char_traits<char>::length(kStillSizePrefix));
        if (auto* combo = dynamic_cast<CComboUI*>(m_services.paint.FindControl("combo_capture_size")))
            if (combo->IsEnabled() && index < combo->GetCount())
                combo->SelectItem(index, false, false);
        return true;
    }
    static constexpr const char* kFileTypes[] = {"Cap_Menu_Item_Tif", "Cap_Menu_Item_Png", "Cap_Menu_Item_Bmp",
                                                 "Cap_Menu_Item_Jpg"};
    for (int type = 0; type < 4; ++type)
        if (NameIs(item, kFileTypes[type])) {
            Config().FileType = type;
            return true;
        }
    if (NameIs(item, "Cap_Menu_Item_ConShootStart")) {
        StartSeries();
        return true;
    }
    if (NameIs(item, "Cap_Menu_Item_ConShootSet")) {
        ShowSettings(m_services.window.GetHWND(), "setting_OptSnap");
        return true;
    }
    return false;
}

// ---- camera changes and closing ----

void CaptureCommands::OnCameraChanged()
{
    CMCameraBase* camera = m_services.session.Camera();
    // A series ends with its camera; a recording holds one camera's pictures.
    if (!camera)
        EndSeries();
    if (m_recording && camera != m_recordingCamera) {
        if (COptionUI* record = Option("ToolbarBtnRecord"))
            record->Selected(false, false);
        StopRecording();
    }
}

void CaptureCommands::OnClosing()
{
    EndSeries();
    if (const std::shared_ptr<RecordingStart> start = m_recordingStart) {
        std::unique_lock guard(start->lock);
        start->done.wait(guard, [&] { return start->finished; });
        guard.unlock();
        FinishRecordingStart();
    }
    if (m_recording) {
        if (COptionUI* record = Option("ToolbarBtnRecord"))
            record->Selected(false, false);
        StopRecording();
    }
    // A picture the user asked for is still saved.
    if (const std::shared_ptr<StillRequest> request = m_still) {
        std::unique_lock guard(request->lock);
        request->done.wait(guard, [&] { return request->taken; });
        guard.unlock();
        FinishStill();
    }
    m_saver.waitIdle();
    m_services.window.KillTimer(kSaveResultsTimer);
    m_menu.reset();
}

} // namespace shell
