#pragma once
// PictureCommands: freezing the live picture (F6, the main menu), opening a
// picture file (Ctrl+O, the main menu, the command line) and saving the
// still picture shown (Enter and the capture button while a still is shown).
// Files are read and written on worker threads; a short timer of the window
// collects the results, so a large file never stops the window. Bad files
// are reported in the status bar and change nothing. UI thread only.
#include "app/shell/WindowPart.h"
#include "app/shell/picture/PictureLoader.h"

#include <future>
#include <string>

namespace shell {

class PictureCommands : public WindowPart {
public:
    // Collects a finished load or save.
    static constexpr UINT kWorkTimer = 1030;
    static constexpr UINT kWorkMs = 20;

    explicit PictureCommands(MainWindowServices& services);
    ~PictureCommands() override;

    bool Notify(TNotifyUI& msg) override;
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    bool OnKey(WPARAM key) override;
    bool OnMenuCommand(const std::string& item) override;
    void OnCameraChanged() override;
    void OnClosing() override;

    // Freezes the live picture, or goes back to live from any still.
    void ToggleFreeze();
    // Asks for a picture file and opens it.
    void ChooseAndOpen();
    // Starts reading `path`; the picture is shown when it is read. False
    // while another file is still being read.
    bool Open(const std::string& path);
    // Saves the still shown under an automatic name (or the save dialog's,
    // as snapshots do); false when no still is shown.
    bool SaveShown();
    // A load or save runs on the worker.
    bool IsBusy() const { return m_load.valid() || m_save.valid(); }

    // The status bar's text for a load error on `path`.
    static std::string ErrorText(PictureLoadError error, const std::string& path);

private:
    void CollectWork();
    // The measure page works on a still without a camera.
    void EnableMeasuring();
    void UpdateTitle();

    std::future<PictureLoadResult> m_load;
    std::string m_loadPath;
    std::future<std::string> m_save; // the file written, "" on failure
};

} // namespace shell
