#include "app/shell/picture/PictureCommands.h"

#include "app/common/AppMessages.h"
#include "app/shell/AppConfig.h"
#include "app/shell/MainWnd.h"
#include "app/shell/PictureSource.h"
#include "app/shell/capture/ImageFileWriter.h"
#include "app/shell/capture/ImageScale.h"
#include "app/shell/capture/SnapshotDestination.h"
#include "app/shell/picture/MeasuredPicture.h"
#include "app/shell/session/CameraSession.h"
#include "app/view/ImageRenderUI.h"
#include "camera/CMCameraBase.h"
#include "platform/AtomicFile.h"
#include "ui/Controls.h"
#include "ui/FileDialog.h"
#include "ui/MessageDialog.h"
#include "ui/PaintManager.h"
#include "ui/ResourceManager.h"

#include <strings.h>

#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>

namespace shell {
namespace {

constexpr WPARAM kFreezeKey = 0x75; // F6

std::string Text(const char* id) { return CResourceManager::GetInstance()->GetTextOrId(id); }

bool NameIs(const std::string& item, const char* name) { return ::strcasecmp(item.c_str(), name) == 0; }

template <class T> bool ready(const std::future<T>& work)
{
    return work.valid() && work.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

} // namespace

// One freeze's still on its way: asked for on the UI thread, taken and
// converted on the session's worker, shown back on the UI thread.
struct PictureCommands::FreezeRequest {
    const CMCameraBase* camera = nullptr; // the camera asked; compared, never used
    // Written by the worker under `lock`; `taken` says it is done.
    std::mutex lock;
    bool taken = false;
    std::shared_ptr<StillPicture> still; // null when the camera gave none
};

PictureCommands::PictureCommands(MainWindowServices& services) : WindowPart(services) {}

PictureCommands::~PictureCommands() = default;

std::string PictureCommands::ErrorText(PictureLoadError error, const std::string& path)
{
    const char* id = "STR_OPEN_CORRUPT";
    switch (error) {
    case PictureLoadError::None: return std::string();
    case PictureLoadError::Missing: id = "STR_OPEN_MISSING"; break;
    case PictureLoadError::Unreadable: id = "STR_OPEN_UNREADABLE"; break;
    case PictureLoadError::Empty: id = "STR_OPEN_EMPTY"; break;
    case PictureLoadError::NotAPicture: id = "STR_OPEN_NOT_PICTURE"; break;
    case PictureLoadError::TooLarge: id = "STR_OPEN_TOO_LARGE"; break;
    case PictureLoadError::Corrupt: id = "STR_OPEN_CORRUPT"; break;
    case PictureLoadError::Unsupported: id = "STR_OPEN_UNSUPPORTED"; break;
    }
    return Text(id) + ": " + path;
}

void PictureCommands::Init()
{
    // Files dropped anywhere on the window open as pictures.
    m_services.window.DragAcceptFiles(true);
}

bool PictureCommands::Notify(TNotifyUI& msg)
{
    const std::string name = msg.pSender ? msg.pSender->GetName() : std::string();
    PictureSource* pictures = m_services.pictures;
    // The capture button saves the still shown; the live camera's snapshot
    // is the capture commands'.
    if (msg.sType == "click" && name == "ToolbarBtnCapture" && pictures && !pictures->isLive()) {
        SaveShown();
        return true;
    }
    if (msg.sType == "click" && name == "ToolbarBtnOpen") {
        ChooseAndOpen();
        return true;
    }
    if (msg.sType == "click" && name == PictureSource::kScaleButton && pictures) {
        pictures->useOwnScale(!pictures->usesOwnScale());
        return true;
    }
    if (msg.sType == "selectchanged" && name == "ToolbarBtnFreeze") {
        auto* option = dynamic_cast<COptionUI*>(msg.pSender);
        if (option && pictures && (m_freeze || option->IsSelected() == pictures->isLive()))
            ToggleFreeze();
        EnableMeasuring(); // a freeze that could not be made unselects it again
        return true;
    }
    return false;
}

bool PictureCommands::HandleMessage(UINT message, WPARAM wParam, LPARAM, LRESULT& result)
{
    if (message == WM_DROPFILES) {
        // One picture is shown at a time: the first file dropped.
        const auto* files = reinterpret_cast<const std::vector<std::string>*>(wParam);
        if (files && !files->empty())
            Open(files->front());
        result = 0;
        return true;
    }
    if (message == WM_FREEZE_STILL_TAKEN) {
        result = 0;
        FinishFreeze();
        return true;
    }
    if (message != WM_TIMER || wParam != kWorkTimer)
        return false;
    result = 0;
    CollectWork();
    return true;
}

bool PictureCommands::OnKey(WPARAM key)
{
    if (key == kFreezeKey) {
        ToggleFreeze();
        return true;
    }
    if (key == VK_RETURN && m_services.pictures && !m_services.pictures->isLive()) {
        SaveShown();
        return true;
    }
    return false;
}

bool PictureCommands::OnMenuCommand(const std::string& item)
{
    if (NameIs(item, "Main_Menu_Item_Open")) {
        ChooseAndOpen();
        return true;
    }
    if (NameIs(item, "Main_Menu_Item_Freeze")) {
        ToggleFreeze();
        return true;
    }
    if (NameIs(item, "Main_Menu_Item_Save_Measured")) {
        SaveShownWithMeasurements();
        return true;
    }
    return false;
}

void PictureCommands::OnCameraChanged()
{
    // A still stays when the camera goes, and is measured without one; a
    // still on its way from a camera that went is not wanted any more.
    if (m_freeze && m_freeze->camera != m_services.session.Camera())
        DropFreeze();
    EnableMeasuring();
}

void PictureCommands::EnableMeasuring()
{
    const bool still = m_services.pictures && !m_services.pictures->isLive();
    if (still)
        if (CControlUI* tab = m_services.paint.FindControl("MainTabOptMeasure"))
            tab->SetEnabled(true);
    if (auto* freeze = dynamic_cast<COptionUI*>(m_services.paint.FindControl("ToolbarBtnFreeze"))) {
        freeze->SetEnabled(still || m_services.session.Camera());
        // Pressed too while the still for a freeze is on its way.
        const bool pressed = still || m_freeze;
        if (freeze->IsSelected() != pressed)
            freeze->Selected(pressed, false);
    }
}

bool PictureCommands::ConfirmLeave()
{
    const PictureSource* pictures = m_services.pictures;
    if (!pictures || !pictures->hasUnsavedMeasurements())
        return true;
    return ShowMessage(m_services.window.GetHWND(), Text("STR_LEAVE_UNSAVED_MEASUREMENTS"), Text("STR_MESSAGE"), 1,
                       MB_ICONQUESTION) == IDOK;
}

void PictureCommands::OnClosing()
{
    // The session releases the camera after its queued work, so a still on
    // its way ends before the window goes; nothing here waits for it.
    DropFreeze();
    if (m_load.valid())
        m_load.wait();
    if (m_save.valid())
        m_save.wait();
    m_services.window.KillTimer(kWorkTimer);
}

void PictureCommands::ToggleFreeze()
{
    PictureSource* pictures = m_services.pictures;
    if (!pictures)
        return;
    if (m_freeze) {
        m_services.setStatus(Text("STR_FREEZE_BUSY"));
        return;
    }
    if (!pictures->isLive()) {
        if (!ConfirmLeave())
            return;
        pictures->showLive();
        ShowHint(false);
        UpdateTitle();
        if (!m_services.session.Camera())
            if (CControlUI* tab = m_services.paint.FindControl("MainTabOptMeasure"))
                tab->SetEnabled(false);
        EnableMeasuring();
        return;
    }
    CMCameraBase* camera = m_services.session.Camera();
    if (!camera)
        return;
    if (camera->isSupportStillCapture() && Config().DisableStillCap == 0 && RequestFreezeStill(*camera)) {
        EnableMeasuring();
        return;
    }
    FreezePreview();
}

bool PictureCommands::RequestFreezeStill(CMCameraBase& camera)
{
    auto request = std::make_shared<FreezeRequest>();
    request->camera = &camera;
    // The camera may take a moment for a still; that is no lost camera.
    m_services.session.PauseWatchdog();
    FramePipeline& pipeline = m_services.session.Pipeline();
    const platform::HWND window = m_services.window.GetHWND();
    const bool queued =
        m_services.session.RunWithCamera([request, converter = m_converter, &pipeline, window](CMCameraBase& taking) {
            // The live picture's processing, as a snapshot gets it.
            auto still = std::make_shared<StillPicture>();
            if (converter->snap(taking, pipeline, still->rgba, still->width, still->height)) {
                for (size_t i = 0; i + 3 < still->rgba.size(); i += 4)
                    std::swap(still->rgba[i], still->rgba[i + 2]);
                PrepareViewCopy(*still);
            } else {
                still.reset();
            }
            {
                std::lock_guard guard(request->lock);
                request->still = std::move(still);
                request->taken = true;
            }
            platform::PostMessage(window, WM_FREEZE_STILL_TAKEN);
        });
    if (!queued) {
        m_services.session.ResumeWatchdog();
        return false;
    }
    m_freeze = std::move(request);
    return true;
}

void PictureCommands::FinishFreeze()
{
    if (!m_freeze)
        return;
    std::shared_ptr<StillPicture> still;
    {
        std::lock_guard guard(m_freeze->lock);
        if (!m_freeze->taken)
            return;
        still = std::move(m_freeze->still);
    }
    m_freeze.reset();
    m_services.session.ResumeWatchdog();
    // A file opened meanwhile is what the user looks at now.
    if (!m_services.pictures || !m_services.pictures->isLive()) {
        EnableMeasuring();
        return;
    }
    if (still) {
        ShowFrozen(std::move(still));
        return;
    }
    m_services.setStatus(Text("STR_FREEZE_NO_STILL"));
    if (!FreezePreview())
        EnableMeasuring();
}

void PictureCommands::DropFreeze()
{
    if (!m_freeze)
        return;
    m_freeze.reset();
    m_services.session.ResumeWatchdog();
}

bool PictureCommands::FreezePreview()
{
    CWImage latest;
    latest.externalBuffer = false;
    if (!m_services.pictures || !m_services.session.Pipeline().copyDisplayImage(latest))
        return false;
    ShowFrozen(CopyStill(latest.width, latest.height, latest.data, size_t(latest.width) * 4));
    return true;
}

void PictureCommands::ShowFrozen(std::shared_ptr<StillPicture> frozen)
{
    m_services.pictures->showStill(SourceKind::Frozen, std::move(frozen));
    ShowHint(true);
    UpdateTitle();
    EnableMeasuring();
}

void PictureCommands::ShowHint(bool still)
{
    CControlUI* label = m_services.paint.FindControl("StatusBarLabelInfo");
    if (!label)
        return;
    const std::string shown = label->GetText();
    const std::string live = Text("STR_CAMERA_OPENED_HINT");
    if (still && (shown.empty() || shown == live || shown == m_hint)) {
        m_hint = Text("STR_STILL_HINT");
        m_services.setStatus(m_hint);
    } else if (!still && !m_hint.empty() && shown == m_hint) {
        m_services.setStatus(m_services.session.Camera() ? live : std::string());
    }
    if (!still)
        m_hint.clear();
}

void PictureCommands::OnLanguageChanged()
{
    CControlUI* label = m_services.paint.FindControl("StatusBarLabelInfo");
    if (!m_hint.empty() && label && label->GetText() == m_hint) {
        m_hint = Text("STR_STILL_HINT");
        m_services.setStatus(m_hint);
    }
}

void PictureCommands::ChooseAndOpen()
{
    ui::FileDialogRequest request;
    request.owner = m_services.window.GetHWND();
    request.title = Text("STR_OPEN_PICTURE");
    request.filters = {{"Pictures (*.tif;*.tiff;*.png;*.jpg;*.jpeg;*.bmp)", "*.tif;*.tiff;*.png;*.jpg;*.jpeg;*.bmp"},
                       {"All files (*)", "*"}};
    const std::string path = ui::GetOpenFileName(request);
    if (!path.empty())
        Open(path);
}

bool PictureCommands::Open(const std::string& path)
{
    if (m_load.valid())
        return false;
    m_loadPath = path;
    m_load = std::async(std::launch::async, [path] {
        PictureLoadResult result = LoadPictureFile(path);
        if (result.picture)
            PrepareViewCopy(*result.picture);
        return result;
    });
    m_services.window.SetTimer(kWorkTimer, kWorkMs);
    return true;
}

bool PictureCommands::SaveShown() { return StartSave(false); }

bool PictureCommands::SaveShownWithMeasurements() { return StartSave(true); }

bool PictureCommands::StartSave(bool withMeasurements)
{
    PictureSource* pictures = m_services.pictures;
    std::shared_ptr<const StillPicture> still = pictures ? pictures->sharedStill() : nullptr;
    if (!still || m_save.valid())
        return false;
    const bool automatic = Config().FileSave_Rule == 0;
    const std::string path = ChooseSnapshotPath(m_services, automatic);
    if (path.empty())
        return false;
    // A name chosen in the dialog was agreed to, also over an existing file.
    const platform::ExistingFile existing =
        automatic ? platform::ExistingFile::Number : platform::ExistingFile::Replace;
    // The file's own scale, else the calibration in force for this picture.
    std::optional<ImageScale> scale = still->scale;
    if (!scale && m_services.view) {
        ImageScale current;
        if (CurrentImageScale(m_services.view->container(), still->width, still->width, current))
            scale = current;
    }
    // The still never changes once shown: the worker converts it from the
    // shared copy, so a large picture costs the window nothing. The
    // measurements are copied now, as they are when the user asked.
    std::shared_ptr<SFPrimitiveContainer> measurements;
    std::shared_ptr<std::vector<uint8_t>> drawn;
    Saved job;
    job.withMeasurements = withMeasurements;
    if (withMeasurements && m_services.view) {
        measurements = CopyAtFullSize(m_services.view->container());
        job.fingerprint = pictures->measurementFingerprint();
        // Drawn here: the graphics library never gives back a context made
        // on a worker thread that then ends.
        drawn = std::make_shared<std::vector<uint8_t>>(DrawMeasuredPicture(*still, *measurements));
        m_saveMeasurements = measurements; // let go here too, for the same reason
        if (drawn->empty()) {
            m_services.setStatus(Text("STR_SNAP_FAIL"));
            return false;
        }
    }
    m_save =
        std::async(std::launch::async, [path, existing, still = std::move(still), scale, measurements, drawn, job] {
            Saved saved = job;
            std::vector<uint8_t> converted;
            if (!drawn) {
                converted = still->rgba;
                for (size_t i = 0; i + 3 < converted.size(); i += 4)
                    std::swap(converted[i], converted[i + 2]);
            }
            const std::vector<uint8_t>& bgra = drawn ? *drawn : converted;
            if (bgra.empty() || !WriteImageFile(path, bgra.data(), still->width, still->height,
                                                scale ? &*scale : nullptr, &saved.picture, existing))
                return saved;
            if (measurements) {
                // Beside the picture under its final name, replacing an older list.
                const std::string csv = std::filesystem::path(saved.picture).replace_extension(".csv").string();
                platform::AtomicFile file(csv, platform::ExistingFile::Replace);
                if (file.isOpen() && measurements->exportCsv(file.tempPath(), MeasurementUnit(*measurements)) &&
                    file.commit())
                    saved.csv = file.finalPath();
            }
            return saved;
        });
    m_services.window.SetTimer(kWorkTimer, kWorkMs);
    return true;
}

void PictureCommands::CollectWork()
{
    if (ready(m_load)) {
        PictureLoadResult result = m_load.get();
        if (result.error != PictureLoadError::None) {
            m_services.setStatus(ErrorText(result.error, m_loadPath));
        } else if (m_services.pictures && ConfirmLeave()) {
            m_services.pictures->showStill(SourceKind::File, std::move(result.picture));
            m_services.setStatus(std::string());
            ShowHint(true);
            UpdateTitle();
            EnableMeasuring();
        }
    }
    if (ready(m_save)) {
        const Saved saved = m_save.get();
        m_saveMeasurements.reset();
        if (saved.picture.empty() || (saved.withMeasurements && saved.csv.empty())) {
            m_services.setStatus(Text("STR_SNAP_FAIL"));
        } else {
            if (saved.withMeasurements && m_services.pictures)
                m_services.pictures->markMeasurementsSaved(saved.fingerprint);
            m_services.setStatus(Text("STR_SAVED_TO") + " " + saved.picture);
        }
    }
    if (!m_load.valid() && !m_save.valid())
        m_services.window.KillTimer(kWorkTimer);
}

void PictureCommands::UpdateTitle()
{
    const PictureSource* pictures = m_services.pictures;
    std::string title = AppConfig::kProductName;
    if (pictures && pictures->kind() == SourceKind::File && pictures->still())
        title = std::filesystem::path(pictures->still()->path).filename().string() + " - " + title;
    if (CControlUI* caption = m_services.paint.FindControl("caption"))
        caption->SetText(title);
    m_services.window.SetWindowText(title);
}

} // namespace shell
