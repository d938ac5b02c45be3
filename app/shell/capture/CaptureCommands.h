#pragma once
// CaptureCommands: snapshots, the snap menu, timed series, recording, the
// image folder and view screenshots. UI thread only; the camera's still is
// waited for and a recording's encoder opened on the camera session's
// worker, and snapshots are encoded and written by a SnapshotSaver thread.
#include "app/shell/WindowPart.h"
#include "app/shell/capture/DesktopIdleInhibitor.h"
#include "app/shell/capture/SnapshotImage.h"
#include "app/shell/capture/SnapshotSaver.h"

#include <map>
#include <memory>
#include <string>

class CMCameraBase;
class CMenuWnd;
class CStdStringPtrMap;
class COptionUI;

namespace shell {

class CaptureCommands : public WindowPart {
public:
    // Continuous shooting: one picture per tick.
    static constexpr UINT kSeriesTimer = 1002;
    // Elapsed time and frame counts in the status bar while recording.
    static constexpr UINT kRecordingStatusTimer = 1020;
    static constexpr UINT kRecordingStatusMs = 1000;
    // Collects finished snapshot files while any are being written.
    static constexpr UINT kSaveResultsTimer = 1021;
    static constexpr UINT kSaveResultsMs = 50;

    explicit CaptureCommands(MainWindowServices& services);
    ~CaptureCommands() override;

    bool Notify(TNotifyUI& msg) override;
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    bool OnKey(WPARAM key) override;
    bool OnMenuCommand(const std::string& item) override;
    void OnCameraChanged() override;
    void OnClosing() override;

    // Asks the camera for one picture and hands it to the saver when it
    // comes (the status bar reports the file when it is written, or that the
    // camera gave none). Returns at once: a camera that stopped sending
    // never holds the window for its still time-out. While a picture is on
    // its way, another press is refused with the busy text.
    void TakeSnapshot();
    bool IsSeriesRunning() const { return m_seriesRunning; }
    // Snapshots handed to the saver and not yet written.
    size_t PendingSaves() const { return m_saver.pending(); }
    // A picture was asked of the camera and has not come back yet.
    bool IsStillPending() const { return m_still != nullptr; }

private:
    struct StillRequest;
    struct RecordingStart;
    // Queues the still on the session's worker; an automatic name is
    // numbered when taken, a chosen one replaced. False without a camera.
    bool RequestStill(const std::string& path, platform::ExistingFile existing);
    // The still came back (or the window closes and waited for it): hands
    // the picture to the saver or says that there is none.
    void FinishStill();
    void CollectSaveResults();
    void StartSeries();
    void SeriesTick();
    void EndSeries();
    // Checks the size, chooses the file and queues the recorder's opening on
    // the session's worker (the encoder takes tens of milliseconds to open);
    // the capture controls are off from here on.
    void StartRecording();
    // The recorder opened or failed (or the window closes and waited for
    // it): the recording runs, or the status bar says it did not start. A
    // recording stopped or left by its camera meanwhile is finished at once.
    void FinishRecordingStart();
    // "Failed to start recording"; the button off, the capture controls back.
    void SayRecordingDidNotStart();
    void StopRecording();
    void ShowRecordingStatus();
    void SetCaptureControlsEnabled(bool enabled);
    void OpenImageFolder();
    // "No file manager could be started", with the image folder.
    void SayWherePicturesAre();
    void SaveScreenshot();
    void ShowSnapMenu();
    COptionUI* Option(const char* name) const;

    // Shared with the still's task on the worker, so a window that goes
    // first leaves the task nothing dangling; one still at a time uses it.
    std::shared_ptr<SnapshotConverter> m_converter = std::make_shared<SnapshotConverter>();
    std::shared_ptr<StillRequest> m_still; // the still on its way; null when none
    SnapshotSaver m_saver;
    bool m_seriesRunning = false;
    int m_seriesDone = 0;
    // A tick came while the previous picture was still being written: the
    // next picture is taken as soon as it is.
    bool m_seriesTickWaiting = false;
    bool m_recording = false;
    // The recorder being opened on the worker; null when none.
    std::shared_ptr<RecordingStart> m_recordingStart;
    // The desktop stays awake while a series or a recording runs.
    DesktopIdleInhibitor::Hold m_seriesAwake, m_recordingAwake;
    CMCameraBase* m_recordingCamera = nullptr;
    std::unique_ptr<CMenuWnd> m_menu;
    std::unique_ptr<CStdStringPtrMap> m_menuCheckInfo;
    // The still-size items of the open snap menu: name → "width|height".
    std::map<std::string, std::string> m_stillSizeItems;
};

} // namespace shell
