#include "ui/ModalWindows.h"

#include "ui/Window.h"
#include "ui/internal/ModalRun.h"

#include <QDialog>

#include <algorithm>
#include <vector>

namespace ui::detail {
namespace {
// Innermost last.
std::vector<ModalRun*>& runs()
{
    static std::vector<ModalRun*> stack;
    return stack;
}
} // namespace

ModalRun::ModalRun(CWindowWnd* window) : m_window(window) { runs().push_back(this); }

ModalRun::ModalRun(QDialog* dialog) : m_dialog(dialog) { runs().push_back(this); }

ModalRun::~ModalRun()
{
    auto& stack = runs();
    stack.erase(std::remove(stack.begin(), stack.end(), this), stack.end());
}

void ModalRun::end()
{
    if (m_ended)
        return;
    m_ended = true;
    if (m_dialog) {
        m_dialog->reject();
        return;
    }
    if (!m_window)
        return;
    // The window's own cancel path first (a dialog stops its scan, restores
    // what it previewed); destroyed anyway if it stays open.
    m_window->SendMessage(WM_CLOSE, IDCANCEL, 0);
    if (m_window && m_window->IsWindow()) {
        m_window->m_modalResult = IDCANCEL;
        m_window->DestroyWindow();
    }
}

} // namespace ui::detail

namespace ui {

using detail::ModalRun;
using detail::runs;

void CloseModalWindows()
{
    // A copy: ending runs window code, which must not change what is ended.
    const std::vector<ModalRun*> open = runs();
    for (auto it = open.rbegin(); it != open.rend(); ++it)
        (*it)->end();
}

bool CloseModalWindow(HWND window)
{
    CWindowWnd* target = CWindowWnd::FromHandle(window);
    const std::vector<ModalRun*> open = runs();
    const auto at = std::find_if(open.begin(), open.end(),
                                 [target](const ModalRun* run) { return target && run->window() == target; });
    if (at == open.end())
        return false;
    for (auto it = open.rbegin(); it.base() != at; ++it)
        (*it)->end();
    return true;
}

int ModalWindowCount() { return int(runs().size()); }

} // namespace ui
