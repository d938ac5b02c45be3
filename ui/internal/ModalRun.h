#pragma once
// One nested modal run (ui/ModalWindows.h), registered for as long as it is
// on the stack of the call that runs it. UI thread only.
#include <QPointer>

class CWindowWnd;
class QDialog;

namespace ui::detail {

class ModalRun {
public:
    // A window's ShowModal.
    explicit ModalRun(CWindowWnd* window);
    // A file dialog's exec.
    explicit ModalRun(QDialog* dialog);
    ~ModalRun();
    ModalRun(const ModalRun&) = delete;
    ModalRun& operator=(const ModalRun&) = delete;

    // The window, or null once it was destroyed (or for a file dialog).
    CWindowWnd* window() const { return m_window; }
    // The window is being destroyed: nothing of it may be touched any more.
    void forgetWindow() { m_window = nullptr; }
    // Ends the run as cancelled; later calls do nothing.
    void end();

private:
    CWindowWnd* m_window = nullptr;
    QPointer<QDialog> m_dialog;
    bool m_ended = false;
};

} // namespace ui::detail
