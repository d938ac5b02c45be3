#pragma once
// ShadingCommands: the flat-field correction from the main menu. "Correct
// shading…" asks the user to move to an empty, evenly lit field (or to
// defocus), averages a few frames into a reference and keeps it for the
// camera and picture size (used again after a restart or a reconnect), or
// says why the field does not serve. "Shading correction on / off" switches
// it, "Clear shading reference" removes it. A picture size without a
// reference switches the correction off with a message. UI thread only.
#include "app/shell/WindowPart.h"
#include "app/view/ShadingStore.h"

#include <string>

namespace shell {

class ShadingCommands : public WindowPart {
public:
    static constexpr UINT kTimer = 1031;
    static constexpr UINT kTimerMs = 100;
    // Frames averaged into a reference.
    static constexpr int kReferenceFrames = 8;

    explicit ShadingCommands(MainWindowServices& services);
    ShadingCommands(MainWindowServices& services, ShadingStore store);

    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    bool OnMenuCommand(const std::string& item) override;
    void OnCameraChanged() override;
    void OnClosing() override;

    // Starts taking a reference from the next frames (after the user agreed).
    // False without a camera.
    bool TakeReference();
    void Toggle();
    void Clear();

    // The camera's identity for its references ("" without a camera).
    std::string Identity() const;

private:
    // Collects a finished reference; follows the picture size.
    void Poll();
    void Say(const char* textId, const std::string& detail = {});

    ShadingStore m_store;
    std::string m_identity;
    int m_width = 0, m_height = 0; // the picture size the reference in use is for
    bool m_taking = false;
};

} // namespace shell
