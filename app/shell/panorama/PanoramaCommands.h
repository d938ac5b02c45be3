#pragma once
// PanoramaCommands: the live panorama.
//
// F8, the panorama toggle and the main menu's entry start and stop it. While
// it runs, automatic exposure and white balance are held and every frame the
// worker can take is found in the panorama so far and blended in; the view
// shows the growing panorama scaled to fit with the current field outlined,
// red while the stage is lost, and the mode field says what to do ("Move
// back over the stitched area", "Slow down"). Stopping shows it as the
// "Panorama" picture, measured in the calibration in force and saved with
// Enter like any still. A camera that changes size or goes away, or the
// panorama reaching its size limit, stops it with a message; what was
// stitched stays.
//
// Everything here runs on the UI thread; the worker reports through posted
// messages (WM_PANORAMA_NEWS).
#include "app/shell/WindowPart.h"

#include <cstdint>
#include <memory>

namespace shell {

class PanoramaCommands : public WindowPart {
public:
    explicit PanoramaCommands(MainWindowServices& services);
    ~PanoramaCommands() override;

    bool Notify(TNotifyUI& msg) override;
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    bool OnKey(WPARAM key) override;
    bool OnMenuCommand(const std::string& item) override;
    void OnCameraChanged() override;
    void OnClosing() override;

    // Starts stitching (with a camera), or stops and shows the panorama.
    void Toggle();
    bool Running() const { return m_run != nullptr; }
    // Frames placed in the running (or last) panorama.
    int FramesPlaced() const { return m_placed; }
    // The covered area's limit for the next panorama (pixels).
    void SetSizeLimit(int64_t pixels) { m_sizeLimit = pixels; }

private:
    struct Run;
    void Start();
    // Stops and shows the panorama; `reason` (a text id, or null when the
    // user stopped it) goes before the size in the status bar.
    void Stop(const char* reason);
    void OnNews();
    void SyncButton();

    std::unique_ptr<Run> m_run;
    int m_placed = 0;
    int64_t m_sizeLimit;
};

} // namespace shell
