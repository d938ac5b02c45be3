#pragma once
// PictureCommands: freezing the live picture (F6, the tool bar, the main
// menu), opening a picture file (Ctrl+O, the tool bar, the main menu, a file
// dropped on the window, the command line), saving the still picture shown
// (Enter and the capture button while a still is shown), alone or with its
// measurements and scale bar drawn in and the results beside it as CSV, and
// asking before a still with unsaved measurements is left. Files are read
// and written on worker threads; a short timer of the window collects the
// results, so a large file never stops the window. Bad files are reported
// in the status bar and change nothing. A camera's still for a freeze is
// waited for on the camera session's worker. UI thread only.
#include "app/shell/WindowPart.h"
#include "app/shell/capture/SnapshotImage.h"
#include "app/shell/picture/PictureLoader.h"

#include <future>
#include <memory>
#include <string>

namespace shell {

class PictureCommands : public WindowPart {
public:
    // Collects a finished load or save.
    static constexpr UINT kWorkTimer = 1030;
    static constexpr UINT kWorkMs = 20;

    explicit PictureCommands(MainWindowServices& services);
    ~PictureCommands() override;

    void Init() override;
    bool Notify(TNotifyUI& msg) override;
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    bool OnKey(WPARAM key) override;
    bool OnMenuCommand(const std::string& item) override;
    void OnCameraChanged() override;
    void OnLanguageChanged() override;
    void OnClosing() override;

    // Freezes the live picture, or goes back to live from any still. A
    // camera that takes stills is asked for one at its still size and the
    // call returns at once: the still is shown when it comes (the preview
    // frame then when it gives none, and the status bar says so), and while
    // it is on its way another freeze is refused with a busy line. The
    // camera keeps streaming, and a recording goes on.
    void ToggleFreeze();
    // A freeze's still was asked of the camera and has not come back yet.
    bool IsFreezing() const { return m_freeze != nullptr; }
    // Asks for a picture file and opens it.
    void ChooseAndOpen();
    // Starts reading `path`; the picture is shown when it is read. False
    // while another file is still being read.
    bool Open(const std::string& path);
    // Saves the still shown under an automatic name (or the save dialog's,
    // as snapshots do); false when no still is shown.
    bool SaveShown();
    // The same at full size with the measurements and the scale bar drawn
    // in, and the results as CSV under the same name with ".csv".
    bool SaveShownWithMeasurements();
    // A load or save runs on the worker.
    bool IsBusy() const { return m_load.valid() || m_save.valid(); }

    // The status bar's text for a load error on `path`.
    static std::string ErrorText(PictureLoadError error, const std::string& path);

private:
    struct Saved {
        std::string picture; // "" on failure
        std::string csv;     // "" when none was asked for or it failed
        std::string fingerprint;
        bool withMeasurements = false;
    };
    void CollectWork();
    // Starts writing the still shown; `withMeasurements` draws them in.
    bool StartSave(bool withMeasurements);
    // The still shown may be left: nothing unsaved, or the user agreed.
    bool ConfirmLeave();
    struct FreezeRequest;
    // Queues the camera's still on the session's worker; false without a camera.
    bool RequestFreezeStill(CMCameraBase& camera);
    // The still came back: shows it, or the preview frame when there is
    // none; nothing when the user went on to another picture or camera.
    void FinishFreeze();
    // Forgets the still on its way (another camera, the window closes); the
    // worker's task ends on its own and its message finds nothing to do.
    void DropFreeze();
    // Freezes the frame the view shows now; false when there is none.
    bool FreezePreview();
    void ShowFrozen(std::shared_ptr<StillPicture> frozen);
    // The status bar's hint says what F6 does now: back to live while a
    // still is shown. Replaces only an empty line or the other hint.
    void ShowHint(bool still);
    // The measure page and the freeze button work on a still without a
    // camera; the freeze button is selected while a still is shown.
    void EnableMeasuring();
    void UpdateTitle();

    // Shared with the still's task on the worker, so a window that goes
    // first leaves the task nothing dangling; one freeze at a time uses it.
    std::shared_ptr<SnapshotConverter> m_converter = std::make_shared<SnapshotConverter>();
    std::shared_ptr<FreezeRequest> m_freeze; // the still on its way; null when none
    std::string m_hint;                      // the still's hint this part put in the status bar
    std::future<PictureLoadResult> m_load;
    std::string m_loadPath;
    std::future<Saved> m_save;
    // The measurements a save with them writes as CSV; released on this thread.
    std::shared_ptr<SFPrimitiveContainer> m_saveMeasurements;
};

} // namespace shell
