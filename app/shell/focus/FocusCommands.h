#pragma once
// FocusCommands: the focus figure and the live focus stack.
//
// The focus toggle (tool bar) shows the sharpness of the live picture's
// centre third, or of the last rectangle drawn with the measuring rectangle
// tool, in the status bar's mode field, with the best figure since the
// toggle (or since the rectangle changed), updated as fast as frames come
// (a worker measures them; it is handed only the pixels it measures).
//
// F7, the stack toggle and the main menu's entry start and stop the focus
// stack: while it runs, automatic exposure and white balance are held and
// every frame the worker can take is placed and merged into one picture in
// which every part is sharp; the view shows it growing. Stopping shows it as
// the "Focus stack" picture, to be measured and saved like any still. A
// camera that changes size or format, or goes away, stops the stack with a
// message; what was merged stays.
//
// Everything here runs on the UI thread; the workers report through posted
// messages (WM_FOCUS_FIGURE, WM_FOCUS_STACK).
#include "app/shell/WindowPart.h"

#include <opencv2/core/types.hpp>

#include <memory>
#include <string>

namespace shell {

class FocusCommands : public WindowPart {
public:
    explicit FocusCommands(MainWindowServices& services);
    ~FocusCommands() override;

    bool Notify(TNotifyUI& msg) override;
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    bool OnKey(WPARAM key) override;
    bool OnMenuCommand(const std::string& item) override;
    void OnCameraChanged() override;
    void OnClosing() override;

    // The focus figure on or off (off without a camera).
    void SetIndicator(bool on);
    bool IndicatorOn() const { return m_indicator != nullptr; }
    // Figures put in the mode field since the indicator was switched on,
    // also those that read as the one before.
    int FiguresShown() const { return m_figuresShown; }
    // Starts the stack (with a camera), or stops it and shows what it made.
    void ToggleStack();
    bool Stacking() const { return m_stack != nullptr; }
    // Frames placed and merged into the running (or last) stack, whether or
    // not they were sharper anywhere.
    int FramesMerged() const { return m_merged; }

private:
    struct Indicator;
    struct StackRun;
    void StartStack();
    // Stops the stack and shows its picture; `reason` (a text id, or null
    // when the user stopped it) goes to the status bar.
    void StopStack(const char* reason);
    void OnFigure();
    // The last finished rectangle of the view's measurements, in picture
    // pixels; empty when there is none.
    cv::Rect DrawnRectangle() const;
    void OnStackUpdate(WPARAM wParam);
    void UpdateModeText();
    void SyncButtons();

    std::unique_ptr<Indicator> m_indicator;
    std::unique_ptr<StackRun> m_stack;
    int m_merged = 0;
    int m_figuresShown = 0;
    double m_figure = 0.0;
    double m_bestFigure = 0.0;
};

} // namespace shell
