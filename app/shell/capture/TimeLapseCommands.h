#pragma once
// TimeLapseCommands: a timed series made into one time-lapse video. With
// "Time-lapse video" chosen in the settings, the snap menu's series start
// records the preview picture (corrected and processed, as a snapshot) every
// interval as one frame of an MP4 in the image folder, with its time table
// beside it, for the series' count of frames or until the capture button
// stops it. The mode field shows frames taken and the time left; the desktop
// is kept awake while it runs. UI thread only.
#include "app/shell/WindowPart.h"
#include "app/shell/capture/DesktopIdleInhibitor.h"
#include "app/shell/capture/TimeLapseRecording.h"
#include "camera/CWImage.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace shell {

class TimeLapseCommands : public WindowPart {
public:
    static constexpr UINT kTickTimer = 1041;

    explicit TimeLapseCommands(MainWindowServices& services);

    bool Notify(TNotifyUI& msg) override;
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    bool OnMenuCommand(const std::string& item) override;
    void OnCameraChanged() override;
    void OnClosing() override;

    // Starts with the settings' interval, rate and count; false (with a box
    // or a status line saying why) when it cannot.
    bool Start();
    // Finishes the video and its table; the status bar names the file.
    void Stop();
    bool IsRunning() const { return m_recording.isRunning(); }
    // One tick: the current picture as the next frame (a frame still being
    // written makes the tick wait for the next one).
    void Tick();
    int64_t FramesTaken() const { return m_recording.framesAdded(); }

private:
    void ShowProgress();
    void SetControlsEnabled(bool enabled);

    TimeLapseRecording m_recording;
    CWImage m_picture;    // the preview picture of the tick, reused
    int64_t m_wanted = 0; // frames to take; 0 until stopped
    int m_intervalMs = 0;
    std::chrono::steady_clock::time_point m_started;
    DesktopIdleInhibitor::Hold m_awake;
};

} // namespace shell
