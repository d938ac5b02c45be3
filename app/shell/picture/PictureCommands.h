#pragma once
// PictureCommands: freezing the live picture (F6, the tool bar, the main
// menu), opening a picture file (Ctrl+O, the tool bar, the main menu, a file
// dropped on the window, the command line), saving the still picture shown
// (Enter and the capture button while a still is shown), alone or with its
// measurements and scale bar drawn in and the results beside it as CSV, and
// asking before a still with unsaved measurements is left. Files are read
// and written on worker threads; a short timer of the window collects the
// results, so a large file never stops the window. Bad files are reported
// in the status bar and change nothing. UI thread only.
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
    void OnClosing() override;

    // Freezes the live picture, or goes back to live from any still. A
    // camera that takes stills is asked for one at its still size (the
    // preview frame stays the picture when it gives none, and the status bar
    // says so); it keeps streaming, and a recording goes on.
    void ToggleFreeze();
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
    // A still at the camera's still size, with the live picture's
    // processing; null when the camera gave none.
    std::shared_ptr<StillPicture> TakeStill(CMCameraBase& camera);
    // The measure page and the freeze button work on a still without a
    // camera; the freeze button is selected while a still is shown.
    void EnableMeasuring();
    void UpdateTitle();

    SnapshotConverter m_converter;
    std::future<PictureLoadResult> m_load;
    std::string m_loadPath;
    std::future<Saved> m_save;
    // The measurements a save with them writes as CSV; released on this thread.
    std::shared_ptr<SFPrimitiveContainer> m_saveMeasurements;
};

} // namespace shell
