#pragma once
// ShadingCommands: the flat-field correction from the main menu and the
// toolbar. "Correct shading…" asks the user to move to an empty, evenly lit
// field (or to defocus), averages a few frames into a reference and keeps it
// for the camera and picture size (used again after a restart or a
// reconnect), or says why the field does not serve. "Shading correction on /
// off" and the toolbar toggle switch it (the toolbar button asks for a
// reference when there is none), "Clear shading reference" removes it. A
// picture size without a reference switches the correction off with a
// message. The menu item's check mark and the button's selection show whether
// pictures are being corrected.
//
// UI thread only. Making a reference and its gain map from the frames, or
// from a kept file, runs on a worker; only handing it to the pipeline takes
// the pipeline's lock.
#include "app/shell/WindowPart.h"
#include "app/view/ShadingStore.h"

#include <cstdint>
#include <future>
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
    ~ShadingCommands() override;

    bool Notify(TNotifyUI& msg) override;
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    bool OnMenuCommand(const std::string& item) override;
    void OnMainMenu(CMenuWnd& menu) override;
    void OnCameraChanged() override;
    void OnClosing() override;

    // Starts taking a reference from the next frames (after the user agreed).
    // False without a camera.
    bool TakeReference();
    void Toggle();
    void Clear();
    // Pictures are being corrected (switched on, with a reference for the
    // current picture size).
    bool Correcting() const;
    // A reference for the current picture size is in use or ready.
    bool HasReference() const;

    // The camera's identity for its references ("" without a camera).
    std::string Identity() const;
    // What references were kept under before cameras had an identity of
    // their own ("<vid>:<pid> <name> [address]"); still read, never written.
    std::string FormerIdentity() const;

private:
    // What the worker made: a reference and its gains, or why there is none.
    struct Prepared {
        ShadingRefusal refusal = ShadingRefusal::NoFrames;
        ShadingReference reference;
        cv::Mat gains;
        bool fromStore = false; // found for a new picture size
        bool kept = false;      // a new reference was written to the store
    };

    // Collects the frames of a reference, follows the picture size and
    // installs what the worker made.
    void Poll();
    void Install(Prepared prepared);
    // Asks the user to show an empty field, then takes the reference.
    void AskForReference();
    void ShowState();
    // A result or refusal, in the status bar.
    void Say(const char* textId, const std::string& detail = {});
    // "Taking the shading reference…" in the mode field while it is taken.
    void ShowTaking(bool taking);
    void DropWork();

    ShadingStore m_store;
    std::string m_identity, m_formerIdentity;
    int m_width = 0, m_height = 0; // the picture size the reference in use is for
    bool m_taking = false;
    bool m_hadReference = false; // a reference was in use before the size changed
    std::future<Prepared> m_work;
};

} // namespace shell
