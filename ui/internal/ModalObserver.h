#pragma once
// Lets the test driver answer modal windows and file dialogs (ui/ internal).
#include "ui/internal/ModalRun.h"

#include <QEventLoop>

class CWindowWnd;
class QFileDialog;

namespace ui::detail {

// The state of one ShowModal call, on its stack.
struct ModalState {
    explicit ModalState(CWindowWnd* window) : run(window) {}
    QEventLoop loop;
    unsigned result = 0;
    ModalRun run; // what CloseModalWindows ends
};

class ModalObserver {
public:
    virtual ~ModalObserver() = default;
    // A window has just been shown modal (its loop starts next).
    virtual void modalWindowShown(CWindowWnd* window) = 0;
    // A file dialog (a widget dialog while an observer is set) is about to
    // run its loop.
    virtual void fileDialogShown(QFileDialog* dialog) = 0;
};

void setModalObserver(ModalObserver* observer);
ModalObserver* modalObserver();

} // namespace ui::detail
