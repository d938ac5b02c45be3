#include "app/shell/capture/TimeLapseCommands.h"

#include "app/shell/AppConfig.h"
#include "app/shell/MainWnd.h"
#include "app/shell/PictureSource.h"
#include "app/shell/capture/SnapshotFiles.h"
#include "app/shell/session/CameraSession.h"
#include "camera/CMCameraBase.h"
#include "ui/Controls.h"
#include "ui/MessageDialog.h"
#include "ui/PaintManager.h"
#include "ui/ResourceManager.h"

#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>

namespace shell {
namespace {

std::string Text(const char* id) { return CResourceManager::GetInstance()->GetTextOrId(id); }

// "m:ss" or "h:mm:ss".
std::string Duration(int64_t milliseconds)
{
    const int64_t seconds = std::max<int64_t>(0, (milliseconds + 999) / 1000);
    char text[32];
    if (seconds >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02d:%02d", static_cast<long long>(seconds / 3600),
                      int(seconds / 60 % 60), int(seconds % 60));
    else
        std::snprintf(text, sizeof text, "%d:%02d", int(seconds / 60), int(seconds % 60));
    return text;
}

// The local clock time of a frame for the time table, to the millisecond.
std::string ClockTime()
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::tm local{};
    ::localtime_r(&now.tv_sec, &local);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03ld", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, now.tv_nsec / 1'000'000);
    return text;
}

constexpr const char* kLockedControls[] = {"ToolbarBtnRecord", "ToolbarBtnCaptureSet", "combo_preview_size",
                                           "combo_preview_format"};

} // namespace

TimeLapseCommands::TimeLapseCommands(MainWindowServices& services) : WindowPart(services)
{
    m_picture.externalBuffer = false; // the pipeline's copies are ours to free
}

bool TimeLapseCommands::Notify(TNotifyUI& msg)
{
    // While it runs, the capture button stops it (as it stops a series).
    if (!IsRunning() || msg.sType != "click" || !msg.pSender || msg.pSender->GetName() != "ToolbarBtnCapture")
        return false;
    Stop();
    return true;
}

bool TimeLapseCommands::HandleMessage(UINT message, WPARAM wParam, LPARAM, LRESULT& result)
{
    if (message != WM_TIMER || wParam != kTickTimer)
        return false;
    result = 0;
    Tick();
    return true;
}

bool TimeLapseCommands::OnMenuCommand(const std::string& item)
{
    // The series' start makes a video when the settings ask for one.
    if (::strcasecmp(item.c_str(), "Cap_Menu_Item_ConShootStart") != 0 || Config().TimeLapse == 0)
        return false;
    if (!IsRunning())
        Start();
    return true;
}

bool TimeLapseCommands::Start()
{
    const AppConfig& config = Config();
    CMCameraBase* camera = m_services.session.Camera();
    // A count of 0 starts nothing, as for a series, unless it runs until stopped.
    if (!camera || IsRunning() || (config.TimeLapseUntilStopped == 0 && config.ConshotCount <= 0))
        return false;
    int width = 0, height = 0;
    camera->GetPreviewSize(width, height);
    if (!(width > 0 && width <= 1920 && height > 0 && height <= 1080)) {
        ShowMessage(m_services.window.GetHWND(), Text("STR_RECORD_WRONG_SIZE"), Text("STR_ERROR"), 0, 16);
        return false;
    }
    const std::string folder = ImageFolder();
    const int rate = std::clamp(config.TimeLapseRate, 1, 60);
    if (folder.empty() || !m_recording.start(AutomaticFileName(folder, ".mp4"), width, height, rate)) {
        m_services.setStatus(Text("STR_TIMELAPSE_FAIL"));
        return false;
    }
    m_wanted = config.TimeLapseUntilStopped != 0 ? 0 : config.ConshotCount;
    m_intervalMs =
        std::clamp(config.TimeLapseIntervalMs, AppConfig::kTimeLapseMinIntervalMs, AppConfig::kTimeLapseMaxIntervalMs);
    m_started = std::chrono::steady_clock::now();
    if (m_services.desktopIdle)
        m_awake = m_services.desktopIdle->hold(Text("STR_IDLE_REASON"));
    SetControlsEnabled(false);
    if (auto* capture = dynamic_cast<COptionUI*>(m_services.paint.FindControl("ToolbarBtnCapture")))
        capture->Selected(true, false);
    m_services.window.SetTimer(kTickTimer, UINT(m_intervalMs));
    Tick(); // the first frame at once
    return true;
}

void TimeLapseCommands::Tick()
{
    if (!IsRunning())
        return;
    if (m_recording.writeError() != 0) {
        Stop();
        return;
    }
    if (m_wanted > 0 && m_recording.framesAdded() >= m_wanted) {
        // The last frame is written before the video is finished.
        if (m_recording.framesWritten() >= m_recording.framesAdded())
            Stop();
        return;
    }
    // No picture yet, or the last frame not on the disk yet: the next tick
    // takes it.
    if (m_services.session.Pipeline().copyDisplayImage(m_picture) &&
        m_recording.addFrame(m_picture.data, m_picture.width, m_picture.height, ClockTime()))
        ShowProgress();
}

void TimeLapseCommands::ShowProgress()
{
    if (!m_services.pictures)
        return;
    const long long taken = static_cast<long long>(m_recording.framesAdded());
    char text[256];
    if (m_wanted > 0)
        std::snprintf(text, sizeof text, Text("STR_TIMELAPSE_PROGRESS").c_str(), taken,
                      static_cast<long long>(m_wanted), Duration((m_wanted - taken) * int64_t(m_intervalMs)).c_str());
    else
        std::snprintf(
            text, sizeof text, Text("STR_TIMELAPSE_RUNNING").c_str(), taken,
            Duration(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - m_started)
                         .count())
                .c_str());
    m_services.pictures->setModeText(text);
}

void TimeLapseCommands::Stop()
{
    if (!IsRunning())
        return;
    m_services.window.KillTimer(kTickTimer);
    const int error = m_recording.writeError();
    const long long frames = static_cast<long long>(m_recording.framesWritten());
    const std::string name = m_recording.finish();
    m_awake.reset();
    SetControlsEnabled(m_services.session.Camera() != nullptr);
    if (auto* capture = dynamic_cast<COptionUI*>(m_services.paint.FindControl("ToolbarBtnCapture")))
        capture->Selected(false, false);
    if (m_services.pictures)
        m_services.pictures->setModeText("");
    if (error != 0) {
        char text[1024];
        std::snprintf(text, sizeof text, Text("STR_TIMELAPSE_STOPPED").c_str(), frames, name.c_str());
        m_services.setStatus(text);
    } else {
        m_services.setStatus(Text("STR_SAVED_TO") + " " + name);
    }
}

void TimeLapseCommands::SetControlsEnabled(bool enabled)
{
    for (const char* name : kLockedControls)
        if (CControlUI* control = m_services.paint.FindControl(name))
            control->SetEnabled(enabled);
}

void TimeLapseCommands::OnCameraChanged()
{
    // A video holds one camera's pictures.
    Stop();
}

void TimeLapseCommands::OnClosing() { Stop(); }

} // namespace shell
