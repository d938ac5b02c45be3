#pragma once
// CaptureCommands: snapshots, the snap menu, timed series, recording, the
// image folder and view screenshots. UI thread only; snapshots are encoded
// and written by a SnapshotSaver thread.
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

    // Takes one picture and hands it to the saver (the status bar reports
    // the file when it is written).
    void TakeSnapshot();
    bool IsSeriesRunning() const { return m_seriesRunning; }
    // Snapshots handed to the saver and not yet written.
    size_t PendingSaves() const { return m_saver.pending(); }

private:
    // An automatic name is numbered when taken; a chosen one is replaced.
    bool SavePicture(const std::string& path, platform::ExistingFile existing);
    void CollectSaveResults();
    void StartSeries();
    void SeriesTick();
    void EndSeries();
    void StartRecording();
    void StopRecording();
    void ShowRecordingStatus();
    void SetCaptureControlsEnabled(bool enabled);
    void OpenImageFolder();
    void SaveScreenshot();
    void ShowSnapMenu();
    COptionUI* Option(const char* name) const;

    SnapshotConverter m_converter;
    SnapshotSaver m_saver;
    bool m_seriesRunning = false;
    int m_seriesDone = 0;
    // A tick came while the previous picture was still being written: the
    // next picture is taken as soon as it is.
    bool m_seriesTickWaiting = false;
    bool m_recording = false;
    // The desktop stays awake while a series or a recording runs.
    DesktopIdleInhibitor::Hold m_seriesAwake, m_recordingAwake;
    CMCameraBase* m_recordingCamera = nullptr;
    std::unique_ptr<CMenuWnd> m_menu;
    std::unique_ptr<CStdStringPtrMap> m_menuCheckInfo;
    // The still-size items of the open snap menu: name → "width|height".
    std::map<std::string, std::string> m_stillSizeItems;
};

} // namespace shell
