#include "app/shell/panorama/PanoramaCommands.h"

#include "app/common/AppMessages.h"
#include "app/panorama/Stitcher.h"
#include "app/shell/MainWnd.h"
#include "app/shell/PictureSource.h"
#include "app/shell/session/CameraSession.h"
#include "app/view/FrameAnalysis.h"
#include "app/view/LatestResult.h"
#include "camera/CMCameraBase.h"
#include "ui/Controls.h"
#include "ui/PaintManager.h"
#include "ui/ResourceManager.h"

#include <opencv2/imgproc.hpp>

#include <strings.h>

#include <atomic>
#include <chrono>
#include <cstdio>

namespace shell {
namespace {

using panorama::FrameOutcome;

constexpr WPARAM kPanoramaKey = 0x77; // F8
constexpr const char* kButton = "ToolbarBtnPanorama";
constexpr const char* kMenuItem = "Main_Menu_Item_Panorama";
// How often the growing panorama is put on the view, and how large.
constexpr auto kPreviewInterval = std::chrono::milliseconds(200);
constexpr int kPreviewSide = 1600;
// The outline of the current field: found, or lost.
const cv::Scalar kFoundColour(40, 220, 40, 255);
const cv::Scalar kLostColour(230, 30, 30, 255);

std::string Text(const char* id) { return CResourceManager::GetInstance()->GetTextOrId(id); }

bool NameIs(const std::string& item, const char* name) { return ::strcasecmp(item.c_str(), name) == 0; }

// The picture as a still of its own (the merging buffer goes on changing).
std::shared_ptr<StillPicture> StillOf(const cv::Mat& rgba)
{
    return CopyStill(rgba.cols, rgba.rows, rgba.data, rgba.step);
}

// The panorama so far, reduced, with the current field outlined.
std::shared_ptr<StillPicture> PreviewOf(const panorama::Stitcher& stitcher)
{
    double scale = 0;
    cv::Mat preview = stitcher.canvas().preview(kPreviewSide, scale);
    if (preview.empty())
        return nullptr;
    const cv::Rect field = stitcher.field() - stitcher.canvas().bounds().tl();
    const cv::Rect outline(cv::Point(int(field.x * scale), int(field.y * scale)),
                           cv::Size(std::max(2, int(field.width * scale)), std::max(2, int(field.height * scale))));
    cv::rectangle(preview, outline, stitcher.lost() ? kLostColour : kFoundColour, 2);
    return StillOf(preview);
}

} // namespace

// One run. The worker owns `stitcher` until the analysis ends; the counters
// and the outcome cross to the UI thread.
struct PanoramaCommands::Run {
    explicit Run(int64_t limit) : stitcher(limit) {}
    std::unique_ptr<CameraSession::AutomaticsHold> hold;
    CMCameraBase* camera = nullptr;
    panorama::Stitcher stitcher;
    std::chrono::steady_clock::time_point lastPreview{};
    std::atomic<int> placed{0};
    std::atomic<FrameOutcome> latest{FrameOutcome::Lost};
    // Set once by the worker when the run cannot go on (another frame size,
    // the size limit); it takes no frame after it.
    std::atomic<bool> ended{false};
    std::atomic<FrameOutcome> endedBy{FrameOutcome::SizeChanged};
    LatestResult<std::shared_ptr<StillPicture>> previews;
    std::unique_ptr<FrameAnalysis> analysis; // last: stops first
};

PanoramaCommands::PanoramaCommands(MainWindowServices& services)
    : WindowPart(services), m_sizeLimit(panorama::Stitcher::kDefaultMaxPixels)
{
}

PanoramaCommands::~PanoramaCommands() { OnClosing(); }

bool PanoramaCommands::Notify(TNotifyUI& msg)
{
    if (msg.sType != "selectchanged" || !msg.pSender || msg.pSender->GetName() != kButton)
        return false;
    auto* option = dynamic_cast<COptionUI*>(msg.pSender);
    if (option && option->IsSelected() != Running())
        Toggle();
    SyncButton();
    return true;
}

bool PanoramaCommands::HandleMessage(UINT message, WPARAM, LPARAM, LRESULT& result)
{
    if (message != WM_PANORAMA_NEWS)
        return false;
    OnNews();
    result = 0;
    return true;
}

bool PanoramaCommands::OnKey(WPARAM key)
{
    if (key != kPanoramaKey)
        return false;
    Toggle();
    return true;
}

bool PanoramaCommands::OnMenuCommand(const std::string& item)
{
    if (!NameIs(item, kMenuItem))
        return false;
    Toggle();
    return true;
}

void PanoramaCommands::OnCameraChanged()
{
    if (m_run && m_services.session.IsLost())
        Stop("STR_PANORAMA_STOPPED_LOST");
    else if (m_run && m_services.session.Camera() != m_run->camera)
        Stop("STR_PANORAMA_STOPPED_CAMERA");
    SyncButton();
}

void PanoramaCommands::OnClosing()
{
    // The window goes: nothing is shown any more, only the hold ends.
    m_run.reset();
}

void PanoramaCommands::Toggle()
{
    if (m_run)
        Stop(nullptr);
    else
        Start();
}

void PanoramaCommands::Start()
{
    CMCameraBase* camera = m_services.session.Camera();
    if (!camera || !m_services.pictures) {
        m_services.setStatus(Text("STR_PANORAMA_NO_CAMERA"));
        SyncButton();
        return;
    }
    m_run = std::make_unique<Run>(m_sizeLimit);
    Run* run = m_run.get();
    run->camera = camera;
    run->hold = std::make_unique<CameraSession::AutomaticsHold>(m_services.session);
    m_placed = 0;
    const HWND window = m_services.window.GetHWND();
    run->analysis =
        std::make_unique<FrameAnalysis>(m_services.session.Pipeline(), [run, window](const AnalysisFrame& frame) {
            if (run->ended.load())
                return;
            const cv::Mat picture(frame.height, frame.width, CV_8UC4, const_cast<uint8_t*>(frame.rgba));
            const FrameOutcome outcome = run->stitcher.add(picture);
            if (outcome == FrameOutcome::SizeChanged || outcome == FrameOutcome::LimitReached) {
                run->endedBy = outcome;
                run->ended = true;
                platform::PostMessage(window, WM_PANORAMA_NEWS);
                return;
            }
            if (outcome == FrameOutcome::Placed)
                ++run->placed;
            const FrameOutcome before = run->latest.exchange(outcome);
            const auto now = std::chrono::steady_clock::now();
            if (before == outcome && now - run->lastPreview < kPreviewInterval)
                return;
            run->lastPreview = now;
            if (run->previews.put(PreviewOf(run->stitcher)))
                platform::PostMessage(window, WM_PANORAMA_NEWS);
        });
    m_services.setStatus(Text("STR_PANORAMA_STARTED"));
    m_services.pictures->setModeText(Text("STR_PANORAMA_FIND"));
    SyncButton();
}

void PanoramaCommands::OnNews()
{
    if (!m_run)
        return; // from a run stopped since
    if (m_run->ended.load()) {
        Stop(m_run->endedBy.load() == FrameOutcome::LimitReached ? "STR_PANORAMA_STOPPED_LIMIT"
                                                                 : "STR_PANORAMA_STOPPED_SIZE");
        return;
    }
    m_placed = m_run->placed.load();
    if (auto preview = m_run->previews.take(); preview && *preview && m_services.pictures)
        m_services.pictures->showStill(SourceKind::Panorama, std::move(*preview));
    if (!m_services.pictures)
        return;
    switch (m_run->latest.load()) {
    case FrameOutcome::Placed: {
        char line[160];
        std::snprintf(line, sizeof line, Text("STR_PANORAMA_RUNNING").c_str(), m_placed);
        m_services.pictures->setModeText(line);
        break;
    }
    case FrameOutcome::TooFast: m_services.pictures->setModeText(Text("STR_PANORAMA_SLOW_DOWN")); break;
    default:
        m_services.pictures->setModeText(Text(m_placed > 0 ? "STR_PANORAMA_MOVE_BACK" : "STR_PANORAMA_FIND"));
        break;
    }
}

void PanoramaCommands::Stop(const char* reason)
{
    if (!m_run)
        return;
    std::unique_ptr<Run> run = std::move(m_run);
    // The worker ends first; the stitcher is the UI thread's from here on.
    run->analysis.reset();
    run->hold.reset();
    m_placed = run->placed.load();
    std::string status = reason ? Text(reason) : std::string();
    const panorama::PanoramaCanvas& canvas = run->stitcher.canvas();
    if (m_services.pictures) {
        m_services.pictures->setModeText(std::string());
        if (!canvas.empty()) {
            auto still = std::make_shared<StillPicture>();
            canvas.copyPicture(still->rgba);
            still->width = canvas.bounds().width;
            still->height = canvas.bounds().height;
            m_services.pictures->showStill(SourceKind::Panorama, std::move(still));
            char line[200];
            std::snprintf(line, sizeof line, Text("STR_PANORAMA_DONE").c_str(), canvas.bounds().width,
                          canvas.bounds().height, m_placed);
            status += status.empty() ? std::string(line) : std::string(" ") + line;
        } else {
            m_services.pictures->showLive();
            if (!reason)
                status = Text("STR_PANORAMA_EMPTY");
        }
    }
    m_services.setStatus(status);
    SyncButton();
}

void PanoramaCommands::SyncButton()
{
    if (auto* button = dynamic_cast<COptionUI*>(m_services.paint.FindControl(kButton))) {
        if (button->IsSelected() != Running())
            button->Selected(Running(), false);
        button->SetEnabled(m_services.session.Camera() != nullptr || Running());
    }
}

} // namespace shell
