#include "app/shell/focus/FocusCommands.h"

#include "app/common/AppMessages.h"
#include "app/focus/FocusFigure.h"
#include "app/focus/FocusStacker.h"
#include "app/measure/SFPrimitiveContainer.h"
#include "app/shell/MainWnd.h"
#include "app/shell/PictureSource.h"
#include "app/shell/session/CameraSession.h"
#include "app/view/FrameAnalysis.h"
#include "app/view/ImageRenderUI.h"
#include "app/view/LatestResult.h"
#include "camera/CMCameraBase.h"
#include "ui/Controls.h"
#include "ui/PaintManager.h"
#include "ui/ResourceManager.h"

#include <strings.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace shell {
namespace {

constexpr WPARAM kStackKey = 0x76; // F7
constexpr const char* kFocusButton = "ToolbarBtnFocus";
constexpr const char* kStackButton = "ToolbarBtnStack";
// How often the growing stack is put on the view.
constexpr auto kPreviewInterval = std::chrono::milliseconds(150);
// WM_FOCUS_STACK's wParam.
enum StackNews : WPARAM { kStackPreview = 0, kStackSizeChanged = 1 };

std::string Text(const char* id) { return CResourceManager::GetInstance()->GetTextOrId(id); }

bool NameIs(const std::string& item, const char* name) { return ::strcasecmp(item.c_str(), name) == 0; }

cv::Mat Wrap(const AnalysisFrame& frame)
{
    return cv::Mat(frame.height, frame.width, CV_8UC4, const_cast<uint8_t*>(frame.rgba));
}

// A rectangle of picture pixels in one word (16 bits a field), so the worker
// can read it without a lock; 0 is no rectangle.
uint64_t Pack(const cv::Rect& r)
{
    if (r.width < 3 || r.height < 3 || r.x < 0 || r.y < 0 || r.br().x > 0xffff || r.br().y > 0xffff)
        return 0;
    return uint64_t(r.x) << 48 | uint64_t(r.y) << 32 | uint64_t(r.width) << 16 | uint64_t(r.height);
}

cv::Rect Unpack(uint64_t packed)
{
    return {int(packed >> 48), int(packed >> 32 & 0xffff), int(packed >> 16 & 0xffff), int(packed & 0xffff)};
}

// What the figure covers in a picture of `size`: the packed rectangle's part
// of it, or the centre third when there is none.
cv::Rect AreaOf(uint64_t packed, cv::Size size)
{
    return packed ? Unpack(packed) & cv::Rect(cv::Point(), size) : focus::centreThird(size);
}

// The picture as a still of its own (the merging buffer goes on changing).
std::shared_ptr<StillPicture> StillOf(const cv::Mat& rgba)
{
    return CopyStill(rgba.cols, rgba.rows, rgba.data, rgba.step);
}

} // namespace

// The figure worker's state; the worker owns `figure`, `best` and `measured`.
struct FocusCommands::Indicator {
    struct Reading {
        double figure;
        double best;
    };
    focus::FocusFigure figure;
    double best = 0.0;
    // The rectangle the figure covers (Pack), 0 for the centre third; set by
    // the UI thread, read by the capture thread (the region the worker gets)
    // and the worker. A change of the area measured starts the best anew.
    std::atomic<uint64_t> area{0};
    cv::Rect measured;
    LatestResult<Reading> readings;
    std::unique_ptr<FrameAnalysis> analysis; // last: stops first
};

// One run of the stack. The worker owns `stacker` until the analysis ends.
struct FocusCommands::StackRun {
    std::unique_ptr<CameraSession::AutomaticsHold> hold;
    CMCameraBase* camera = nullptr;
    int format = -1;
    std::unique_ptr<focus::FocusStacker> stacker;
    std::chrono::steady_clock::time_point lastPreview{};
    std::atomic<int> merged{0};
    std::atomic<bool> sizeChanged{false};
    LatestResult<std::shared_ptr<StillPicture>> previews;
    std::unique_ptr<FrameAnalysis> analysis; // last: stops first
};

FocusCommands::FocusCommands(MainWindowServices& services) : WindowPart(services) {}

FocusCommands::~FocusCommands() { OnClosing(); }

bool FocusCommands::Notify(TNotifyUI& msg)
{
    if (msg.sType != "selectchanged" || !msg.pSender)
        return false;
    const std::string name = msg.pSender->GetName();
    auto* option = dynamic_cast<COptionUI*>(msg.pSender);
    if (name == kFocusButton) {
        if (option && option->IsSelected() != IndicatorOn())
            SetIndicator(option->IsSelected());
        SyncButtons();
        return true;
    }
    if (name == kStackButton) {
        if (option && option->IsSelected() != Stacking())
            ToggleStack();
        SyncButtons();
        return true;
    }
    return false;
}

bool FocusCommands::HandleMessage(UINT message, WPARAM wParam, LPARAM, LRESULT& result)
{
    if (message == WM_FOCUS_FIGURE) {
        OnFigure();
        result = 0;
        return true;
    }
    if (message == WM_FOCUS_STACK) {
        OnStackUpdate(wParam);
        result = 0;
        return true;
    }
    return false;
}

bool FocusCommands::OnKey(WPARAM key)
{
    if (key != kStackKey)
        return false;
    ToggleStack();
    return true;
}

bool FocusCommands::OnMenuCommand(const std::string& item)
{
    if (!NameIs(item, "Main_Menu_Item_Stack"))
        return false;
    ToggleStack();
    return true;
}

void FocusCommands::OnCameraChanged()
{
    // The session said the loss before this: the stack's line comes after it.
    if (m_stack && m_services.session.IsLost())
        StopStack("STR_STACK_STOPPED_LOST");
    else if (m_stack && m_services.session.Camera() != m_stack->camera)
        StopStack("STR_STACK_STOPPED_CAMERA");
    if (m_indicator && !m_services.session.Camera())
        SetIndicator(false);
    SyncButtons();
}

void FocusCommands::OnClosing()
{
    m_indicator.reset();
    // The window goes: nothing is shown any more, only the hold ends.
    m_stack.reset();
}

// ---- the focus figure ----

void FocusCommands::SetIndicator(bool on)
{
    if (on == IndicatorOn())
        return;
    if (!on) {
        m_indicator.reset();
        UpdateModeText();
        SyncButtons();
        return;
    }
    if (!m_services.session.Camera()) {
        m_services.setStatus(Text("STR_FOCUS_NO_CAMERA"));
        SyncButtons();
        return;
    }
    m_indicator = std::make_unique<Indicator>();
    m_figure = m_bestFigure = 0.0;
    m_figuresShown = 0;
    Indicator* state = m_indicator.get();
    state->area = Pack(DrawnRectangle());
    const HWND window = m_services.window.GetHWND();
    FrameAnalysisOptions options;
    // The worker gets only the pixels it measures, not the whole frame.
    options.region = [state](int width, int height) {
        const cv::Rect r = AreaOf(state->area.load(std::memory_order_relaxed), cv::Size(width, height));
        return AnalysisRegion{r.x, r.y, r.width, r.height};
    };
    state->analysis = std::make_unique<FrameAnalysis>(
        m_services.session.Pipeline(),
        [state, window](const AnalysisFrame& frame) {
            const cv::Size size(frame.pictureWidth, frame.pictureHeight);
            const cv::Rect area = AreaOf(state->area.load(std::memory_order_relaxed), size);
            const cv::Rect have(frame.left, frame.top, frame.width, frame.height);
            if ((area & have) != area)
                return; // the rectangle changed since the copy: the next frame has it
            if (area != state->measured) {
                state->measured = area;
                state->best = 0.0;
            }
            const double figure = state->figure.measure(Wrap(frame), area - have.tl());
            state->best = std::max(state->best, figure);
            if (state->readings.put({figure, state->best}))
                platform::PostMessage(window, WM_FOCUS_FIGURE);
        },
        std::move(options));
    UpdateModeText();
    SyncButtons();
}

void FocusCommands::OnFigure()
{
    if (!m_indicator)
        return; // a message from a figure switched off since
    const auto reading = m_indicator->readings.take();
    if (!reading)
        return;
    m_figure = reading->figure;
    m_bestFigure = reading->best;
    ++m_figuresShown;
    UpdateModeText();
    // The rectangle is looked for as often as the figure comes (a short walk
    // over the measurements), so drawing, moving or deleting it takes effect.
    m_indicator->area = Pack(DrawnRectangle());
}

cv::Rect FocusCommands::DrawnRectangle() const
{
    if (!m_services.view)
        return {};
    const SFPrimitiveContainer& container = m_services.view->container();
    const ViewFit fit = m_services.view->currentFit();
    cv::Rect area;
    for (int i = container.count() - 1; i >= 0 && area.empty(); --i)
        container.withPrimitive(i, [&](const SFPrimitiveBase& primitive) {
            const sf::VertexArray& corners = primitive.shapeVertexArray();
            if (primitive.typeName() != "Rectangle" || !primitive.isFinished() || corners.getVertexCount() < 3)
                return;
            // Its corners in the view, into picture pixels.
            const sf::Vector2f a = corners[0].position, b = corners[2].position;
            const cv::Point2f p((a.x - fit.originX) / fit.zoom, (a.y - fit.originY) / fit.zoom);
            const cv::Point2f q((b.x - fit.originX) / fit.zoom, (b.y - fit.originY) / fit.zoom);
            area = cv::Rect(cv::Point(int(std::lround(std::min(p.x, q.x))), int(std::lround(std::min(p.y, q.y)))),
                            cv::Point(int(std::lround(std::max(p.x, q.x))), int(std::lround(std::max(p.y, q.y)))));
            area &= cv::Rect(0, 0, 0xffff, 0xffff);
        });
    return area;
}

// ---- the focus stack ----

void FocusCommands::ToggleStack()
{
    if (m_stack)
        StopStack(nullptr);
    else
        StartStack();
}

void FocusCommands::StartStack()
{
    CMCameraBase* camera = m_services.session.Camera();
    if (!camera || !m_services.pictures) {
        m_services.setStatus(Text("STR_STACK_NO_CAMERA"));
        SyncButtons();
        return;
    }
    m_stack = std::make_unique<StackRun>();
    StackRun* run = m_stack.get();
    run->camera = camera;
    camera->GetFormat(run->format);
    run->hold = std::make_unique<CameraSession::AutomaticsHold>(m_services.session);
    m_merged = 0;
    const HWND window = m_services.window.GetHWND();
    // A frame that comes while a merge runs is merged next, at once: the
    // worker never idles waiting for a frame, and a focus level the sweep
    // shows only during a merge still reaches the stack.
    FrameAnalysisOptions options;
    options.keepNewest = true;
    run->analysis = std::make_unique<FrameAnalysis>(
        m_services.session.Pipeline(),
        [run, window](const AnalysisFrame& frame) {
            if (run->sizeChanged.load())
                return;
            const cv::Mat picture = Wrap(frame);
            if (!run->stacker) // the first frame sets the stack's size; the one allocation
                run->stacker = std::make_unique<focus::FocusStacker>(picture.size());
            const auto outcome = run->stacker->add(picture);
            if (outcome == focus::FocusStacker::Outcome::WrongSize) {
                run->sizeChanged = true;
                platform::PostMessage(window, WM_FOCUS_STACK, kStackSizeChanged);
                return;
            }
            if (outcome != focus::FocusStacker::Outcome::NotPlaced)
                ++run->merged;
            const auto now = std::chrono::steady_clock::now();
            if (outcome != focus::FocusStacker::Outcome::Merged || now - run->lastPreview < kPreviewInterval)
                return;
            run->lastPreview = now;
            if (run->previews.put(StillOf(run->stacker->result())))
                platform::PostMessage(window, WM_FOCUS_STACK, kStackPreview);
        },
        std::move(options));
    m_services.setStatus(Text("STR_STACK_STARTED"));
    UpdateModeText();
    SyncButtons();
}

void FocusCommands::OnStackUpdate(WPARAM news)
{
    if (!m_stack)
        return; // from a stack stopped since
    if (news == kStackSizeChanged) {
        StopStack("STR_STACK_STOPPED_SIZE");
        return;
    }
    // A format change keeps the size but not the picture: stop as well.
    int format = -1;
    if (m_stack->camera == m_services.session.Camera() && m_stack->camera->GetFormat(format) == 0 &&
        format != m_stack->format) {
        StopStack("STR_STACK_STOPPED_FORMAT");
        return;
    }
    m_merged = m_stack->merged.load();
    if (auto preview = m_stack->previews.take(); preview && *preview && m_services.pictures)
        m_services.pictures->showStill(SourceKind::FocusStack, std::move(*preview));
    UpdateModeText();
}

void FocusCommands::StopStack(const char* reason)
{
    if (!m_stack)
        return;
    std::unique_ptr<StackRun> run = std::move(m_stack);
    // The worker ends first; the stacker is the UI thread's from here on.
    run->analysis.reset();
    run->hold.reset();
    m_merged = run->merged.load();
    if (run->stacker && run->stacker->framesAdded() > 0 && m_services.pictures)
        m_services.pictures->showStill(SourceKind::FocusStack, StillOf(run->stacker->result()));
    char text[256];
    std::snprintf(text, sizeof text, Text(reason ? reason : "STR_STACK_DONE").c_str(), m_merged);
    m_services.setStatus(text);
    UpdateModeText();
    SyncButtons();
}

// ---- status bar and buttons ----

void FocusCommands::UpdateModeText()
{
    if (!m_services.pictures)
        return;
    std::string text;
    char line[160];
    if (m_indicator) {
        std::snprintf(line, sizeof line, Text("STR_FOCUS_FIGURE").c_str(), int(std::lround(m_figure)),
                      int(std::lround(m_bestFigure)));
        text = line;
    }
    if (m_stack) {
        std::snprintf(line, sizeof line, Text("STR_STACK_RUNNING").c_str(), m_merged);
        text += text.empty() ? std::string(line) : std::string(" · ") + line;
    }
    m_services.pictures->setModeText(text);
}

void FocusCommands::SyncButtons()
{
    const bool camera = m_services.session.Camera() != nullptr;
    if (auto* focus = dynamic_cast<COptionUI*>(m_services.paint.FindControl(kFocusButton))) {
        if (focus->IsSelected() != IndicatorOn())
            focus->Selected(IndicatorOn(), false);
        focus->SetEnabled(camera || IndicatorOn());
    }
    if (auto* stack = dynamic_cast<COptionUI*>(m_services.paint.FindControl(kStackButton))) {
        if (stack->IsSelected() != Stacking())
            stack->Selected(Stacking(), false);
        stack->SetEnabled(camera || Stacking());
    }
}

} // namespace shell
