#include "ui/Window.h"

#include "platform/DebugOutput.h"
#include "ui/Container.h"
#include "ui/DialogBuilder.h"
#include "ui/internal/Compositor.h"
#include "ui/internal/Dispatcher.h"
#include "ui/internal/ModalObserver.h"
#include "ui/internal/Resources.h"
#include "ui/internal/WindowHost.h"
#include "ui/internal/X11WindowManager.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDropEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTextEdit>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#include <string>
#include <utility>
#include <vector>

using namespace ui::detail;

namespace ui::detail {

unsigned virtualKey(int key)
{
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        return VK_RETURN;
    if (key == Qt::Key_Escape)
        return VK_ESCAPE;
    if (key == Qt::Key_Tab)
        return VK_TAB;
    if (key == Qt::Key_Backspace)
        return VK_BACK;
    if (key == Qt::Key_Delete)
        return VK_DELETE;
    if (key == Qt::Key_Space)
        return VK_SPACE;
    if (key >= Qt::Key_Left && key <= Qt::Key_Down)
        return static_cast<unsigned>(VK_LEFT + (key - Qt::Key_Left));
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return static_cast<unsigned>(VK_F1 + (key - Qt::Key_F1));
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9))
        return static_cast<unsigned>(key);
    if (key == Qt::Key_Plus || key == Qt::Key_Equal)
        return VK_OEM_PLUS;
    if (key == Qt::Key_Minus)
        return VK_OEM_MINUS;
    return 0;
}

LPARAM keyState(Qt::KeyboardModifiers modifiers)
{
    LPARAM state = 0;
    if (modifiers & Qt::ShiftModifier)
        state |= KEYSTATE_SHIFT;
    if (modifiers & Qt::ControlModifier)
        state |= KEYSTATE_CONTROL;
    if (modifiers & Qt::AltModifier)
        state |= KEYSTATE_ALT;
    return state;
}

namespace {

// A text box of `window` has the keyboard focus: every key is its own, also
// those it lets pass (Enter, or Ctrl with a digit).
bool textBoxFocused(const QWidget* window)
{
    // The window's own focus widget: it keeps it also while another window
    // is active, and keys given to it then still come here.
    const QWidget* focus = window->focusWidget();
    if (!focus || !focus->isVisible())
        return false;
    if (qobject_cast<const QLineEdit*>(focus) || qobject_cast<const QAbstractSpinBox*>(focus) ||
        qobject_cast<const QTextEdit*>(focus) || qobject_cast<const QPlainTextEdit*>(focus))
        return true;
    const auto* combo = qobject_cast<const QComboBox*>(focus);
    return combo && combo->isEditable();
}

} // namespace

WindowHost::WindowHost(CWindowWnd* owner, QWidget* ownerWidget)
    : QWidget(ownerWidget, Qt::Window | Qt::FramelessWindowHint), m_owner(owner)
{
    // Without a compositing manager transparent parts would show black: no
    // shadow then, and the round corners cut the window itself.
    m_translucent = compositingAvailable();
    if (m_translucent)
        setAttribute(Qt::WA_TranslucentBackground);
    setMouseTracking(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_client = new QWidget(this);
    m_client->setObjectName("windowClient");
    m_client->setAttribute(Qt::WA_StyledBackground);
    m_client->setMouseTracking(true);
    auto* clientLayout = new QVBoxLayout(m_client);
    clientLayout->setContentsMargins(0, 0, 0, 0);
    clientLayout->setSpacing(0);
    layout->addWidget(m_client);
}

WindowHost::~WindowHost()
{
    // Deleted with an owner window's widget while the window object lives.
    if (m_owner && m_owner->m_host == this)
        m_owner->m_host = nullptr;
}

int WindowHost::shadowMargin() const
{
    if (!m_owner || !m_translucent || isMaximized() || isFullScreen())
        return 0;
    CPaintManagerUI* pm = m_owner->GetFrameManager();
    return pm ? pm->Scale(pm->Frame().shadowSize) : 0;
}

void WindowHost::applyFrame()
{
    const int margin = shadowMargin();
    layout()->setContentsMargins(margin, margin, margin, margin);
    DWORD bk = 0xFFFFFFFF;
    if (m_owner)
        if (CPaintManagerUI* pm = m_owner->GetFrameManager()) {
            const WindowFrameInfo& f = pm->Frame();
            if (f.bkColor)
                bk = f.bkColor;
            if (f.minSize.cx > 0 || f.minSize.cy > 0)
                m_client->setMinimumSize(pm->Scale(f.minSize.cx), pm->Scale(f.minSize.cy));
            if (f.maxSize.cx > 0 && f.maxSize.cy > 0)
                m_client->setMaximumSize(pm->Scale(f.maxSize.cx), pm->Scale(f.maxSize.cy));
        }
    m_client->setStyleSheet(QStringLiteral("#windowClient { background-color: %1; }").arg(colorCss(bk)));
    updateMask();
    placeGrips();
    update();
}

void WindowHost::updateMask()
{
    CPaintManagerUI* pm = m_owner ? m_owner->GetFrameManager() : nullptr;
    const SIZE corner = pm ? pm->Frame().roundCorner : SIZE{};
    QWidget* shaped = m_translucent ? m_client : static_cast<QWidget*>(this);
    if (!pm || corner.cx <= 0 || isMaximized() || isFullScreen()) {
        shaped->clearMask();
        return;
    }
    // The client keeps a round-rectangle outline one pixel larger than the
    // window, like a window region.
    QPainterPath path;
    path.addRoundedRect(QRectF(0, 0, m_client->width() + 1, m_client->height() + 1), pm->Scale(corner.cx),
                        pm->Scale(corner.cy));
    shaped->setMask(QRegion(path.toFillPolygon().toPolygon()));
}

void WindowHost::paintEvent(QPaintEvent*)
{
    const int margin = shadowMargin();
    if (margin <= 0 || !m_owner)
        return;
    CPaintManagerUI* pm = m_owner->GetFrameManager();
    const int darkness = pm ? std::clamp(pm->Frame().shadowDarkness, 0, 255) : 80;
    const int radius = pm ? pm->Scale(pm->Frame().roundCorner.cx) : 0;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF inner = QRectF(m_client->geometry()).adjusted(0.5, 0.5, -0.5, -0.5);
    for (int i = 1; i <= margin; ++i) {
        // Darkest at the window's edge, fading out towards the margin.
        const int alpha = darkness * (margin - i + 1) * (margin - i + 1) / ((margin + 1) * (margin + 1));
        painter.setPen(QPen(QColor(0, 0, 0, alpha), 1.0));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(inner.adjusted(-i, -i, i, i), radius + i, radius + i);
    }
}

void WindowHost::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    updateMask();
    placeGrips();
    sendSize();
}

void WindowHost::sendSize()
{
    if (!m_owner)
        return;
    const WPARAM kind = isMinimized() ? SIZE_MINIMIZED : isMaximized() ? SIZE_MAXIMIZED : SIZE_RESTORED;
    const LPARAM size = (static_cast<LPARAM>(m_client->height()) << 16) | (m_client->width() & 0xFFFF);
    m_owner->SendMessage(WM_SIZE, kind, size);
}

void WindowHost::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && !isActiveWindow())
        releaseHeldKeys();
    if (event->type() == QEvent::WindowStateChange) {
        const int margin = shadowMargin();
        layout()->setContentsMargins(margin, margin, margin, margin);
        updateMask();
        placeGrips();
        sendSize();
    }
}

namespace {
// The local files a drag carries (links to other places are no files).
std::vector<std::string> droppedFiles(const QMimeData* data)
{
    std::vector<std::string> files;
    if (data && data->hasUrls())
        for (const QUrl& url : data->urls())
            if (url.isLocalFile())
                files.push_back(url.toLocalFile().toStdString());
    return files;
}
} // namespace

void WindowHost::dragEnterEvent(QDragEnterEvent* event)
{
    if (m_owner && !droppedFiles(event->mimeData()).empty())
        event->acceptProposedAction();
}

void WindowHost::dragMoveEvent(QDragMoveEvent* event)
{
    if (m_owner && !droppedFiles(event->mimeData()).empty())
        event->acceptProposedAction();
}

void WindowHost::dropEvent(QDropEvent* event)
{
    const std::vector<std::string> files = droppedFiles(event->mimeData());
    if (!m_owner || files.empty())
        return;
    event->acceptProposedAction();
    const QPoint p = m_client->mapFrom(this, event->position().toPoint());
    const LPARAM point = (static_cast<LPARAM>(p.y() & 0xFFFF) << 16) | (p.x() & 0xFFFF);
    m_owner->SendMessage(WM_DROPFILES, reinterpret_cast<WPARAM>(&files), point);
}

void WindowHost::closeEvent(QCloseEvent* event)
{
    // The window manager's close button: the window decides (it may refuse).
    event->ignore();
    if (m_owner)
        m_owner->SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
}

void WindowHost::keyPressEvent(QKeyEvent* event)
{
    const unsigned vk = virtualKey(event->key());
    if (!vk || !m_owner) {
        QWidget::keyPressEvent(event);
        return;
    }
    CWindowWnd* owner = m_owner;
    LPARAM state = keyState(event->modifiers());
    if (textBoxFocused(this))
        state |= KEYSTATE_TEXT_FOCUS;
    if (event->isAutoRepeat())
        state |= KEYSTATE_REPEAT;
    m_heldKeys.insert(vk);
    LRESULT result = 0;
    CPaintManagerUI* pm = owner->GetFrameManager();
    if (!pm || !pm->PreMessageHandler(WM_KEYDOWN, vk, state, result))
        owner->SendMessage(WM_KEYDOWN, vk, state);
    event->accept();
}

void WindowHost::keyReleaseEvent(QKeyEvent* event)
{
    const unsigned vk = virtualKey(event->key());
    // A held key repeats as release and press pairs: only the last release counts.
    if (!vk || !m_owner || event->isAutoRepeat()) {
        QWidget::keyReleaseEvent(event);
        return;
    }
    m_heldKeys.erase(vk);
    LPARAM state = keyState(event->modifiers());
    if (textBoxFocused(this))
        state |= KEYSTATE_TEXT_FOCUS;
    m_owner->SendMessage(WM_KEYUP, vk, state);
    event->accept();
}

void WindowHost::releaseHeldKeys()
{
    // Keys let go while another window had the keyboard never report their
    // release here; the window must not believe them held.
    const std::set<unsigned> held = std::exchange(m_heldKeys, {});
    if (m_owner)
        for (unsigned vk : held)
            m_owner->SendMessage(WM_KEYUP, vk, 0);
}

int WindowHost::hitTestAt(const QPoint& hostPos) const
{
    if (!m_owner)
        return HTCLIENT;
    const QPoint p = m_client->mapFrom(this, hostPos);
    if (!m_client->rect().contains(p))
        return 0;
    return m_owner->HitTest({p.x(), p.y()});
}

namespace {
Qt::Edges edgesOf(int code)
{
    switch (code) {
    case HTLEFT: return Qt::LeftEdge;
    case HTRIGHT: return Qt::RightEdge;
    case HTTOP: return Qt::TopEdge;
    case HTBOTTOM: return Qt::BottomEdge;
    case HTTOPLEFT: return Qt::TopEdge | Qt::LeftEdge;
    case HTTOPRIGHT: return Qt::TopEdge | Qt::RightEdge;
    case HTBOTTOMLEFT: return Qt::BottomEdge | Qt::LeftEdge;
    case HTBOTTOMRIGHT: return Qt::BottomEdge | Qt::RightEdge;
    default: return {};
    }
}

Qt::CursorShape cursorOf(int code)
{
    switch (code) {
    case HTLEFT:
    case HTRIGHT: return Qt::SizeHorCursor;
    case HTTOP:
    case HTBOTTOM: return Qt::SizeVerCursor;
    case HTTOPLEFT:
    case HTBOTTOMRIGHT: return Qt::SizeFDiagCursor;
    case HTTOPRIGHT:
    case HTBOTTOMLEFT: return Qt::SizeBDiagCursor;
    default: return Qt::ArrowCursor;
    }
}
} // namespace

namespace {
// A strip along an edge (or a corner) of a resizable window, above whatever
// control lies there: a press on it resizes the window, also where that
// control would take the press itself (a list, a slider).
class SizeGrip : public QWidget {
public:
    SizeGrip(QWidget* host, int code) : QWidget(host), m_code(code) { setCursor(cursorOf(code)); }
    int code() const { return m_code; }

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() != Qt::LeftButton)
            return;
        if (QWindow* handle = window()->windowHandle())
            handle->startSystemResize(edgesOf(m_code));
    }

private:
    int m_code;
};
} // namespace

void WindowHost::placeGrips()
{
    CPaintManagerUI* pm = m_owner ? m_owner->GetFrameManager() : nullptr;
    const RECT box = pm ? pm->Frame().sizeBox : RECT{};
    const bool resizable = pm && !isMaximized() && !isFullScreen() && box.left + box.top + box.right + box.bottom > 0;
    if (m_grips.empty() && !resizable)
        return;
    if (m_grips.empty())
        for (int code : {HTLEFT, HTRIGHT, HTTOP, HTBOTTOM, HTTOPLEFT, HTTOPRIGHT, HTBOTTOMLEFT, HTBOTTOMRIGHT})
            m_grips.push_back(new SizeGrip(this, code));
    const QRect c = m_client->geometry();
    const int l = resizable ? pm->Scale(box.left) : 0, t = resizable ? pm->Scale(box.top) : 0;
    const int r = resizable ? pm->Scale(box.right) : 0, b = resizable ? pm->Scale(box.bottom) : 0;
    const int right = c.x() + c.width() - r, bottom = c.y() + c.height() - b;
    for (QWidget* grip : m_grips) {
        QRect area;
        switch (static_cast<SizeGrip*>(grip)->code()) {
        case HTLEFT: area = QRect(c.x(), c.y() + t, l, c.height() - t - b); break;
        case HTRIGHT: area = QRect(right, c.y() + t, r, c.height() - t - b); break;
        case HTTOP: area = QRect(c.x() + l, c.y(), c.width() - l - r, t); break;
        case HTBOTTOM: area = QRect(c.x() + l, bottom, c.width() - l - r, b); break;
        case HTTOPLEFT: area = QRect(c.x(), c.y(), l, t); break;
        case HTTOPRIGHT: area = QRect(right, c.y(), r, t); break;
        case HTBOTTOMLEFT: area = QRect(c.x(), bottom, l, b); break;
        default: area = QRect(right, bottom, r, b); break;
        }
        grip->setGeometry(area);
        grip->setVisible(resizable && !area.isEmpty());
        grip->raise();
    }
}

void WindowHost::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const int code = hitTestAt(event->position().toPoint());
    QWindow* handle = windowHandle();
    if (code == HTCAPTION) {
        m_movePending = true;
        m_pressGlobal = event->globalPosition().toPoint();
    } else if (Qt::Edges edges = edgesOf(code)) {
        if (handle)
            handle->startSystemResize(edges);
    }
}

void WindowHost::mouseMoveEvent(QMouseEvent* event)
{
    if (m_movePending && (event->buttons() & Qt::LeftButton)) {
        if ((event->globalPosition().toPoint() - m_pressGlobal).manhattanLength() < QApplication::startDragDistance())
            return;
        // The window manager moves the window from here on (it takes the
        // pointer over); without one the window follows the pointer itself.
        m_movePending = false;
        QWindow* handle = windowHandle();
        if (!handle || !handle->startSystemMove()) {
            m_dragging = true;
            m_dragOffset = m_pressGlobal - pos();
        }
    }
    if (m_dragging && (event->buttons() & Qt::LeftButton)) {
        move(event->globalPosition().toPoint() - m_dragOffset);
        return;
    }
    if (!event->buttons())
        setCursor(cursorOf(hitTestAt(event->position().toPoint())));
}

void WindowHost::mouseReleaseEvent(QMouseEvent*)
{
    m_dragging = false;
    m_movePending = false;
}

void WindowHost::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (!m_owner || hitTestAt(event->position().toPoint()) != HTCAPTION)
        return;
    CPaintManagerUI* pm = m_owner->GetFrameManager();
    const RECT box = pm ? pm->Frame().sizeBox : RECT{};
    if (box.left + box.top + box.right + box.bottom == 0)
        return; // not resizable
    m_owner->SendMessage(WM_SYSCOMMAND, isMaximized() ? SC_RESTORE : SC_MAXIMIZE, 0);
}

void WindowHost::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_initSent)
        return;
    m_initSent = true;
    // "windowinit" comes from the message loop once the window is up, then
    // the window's first focus.
    QTimer::singleShot(0, this, [this] {
        CPaintManagerUI* pm = m_owner ? m_owner->GetFrameManager() : nullptr;
        if (!pm || !pm->GetRoot())
            return;
        pm->SendNotify(pm->GetRoot(), "windowinit");
        if (m_owner && pm->GetRoot() && !pm->GetFocus())
            pm->SetFocus(pm->GetRoot());
    });
}

} // namespace ui::detail

// ---------------------------------------------------------------- CWindowWnd
CWindowWnd::CWindowWnd() = default;

CWindowWnd::~CWindowWnd()
{
    if (auto* dispatcher = UiDispatcher::instance())
        dispatcher->forget(this);
    if (m_modalLoop) {
        // Deleted inside its own ShowModal: the loop ends, and the run no
        // longer points here.
        m_modalLoop->run.forgetWindow();
        m_modalLoop->loop.exit(0);
        m_modalLoop = nullptr;
    }
    if (m_host) {
        m_host->detach();
        m_host->hide();
        m_host->deleteLater();
        m_host = nullptr;
    }
}

CWindowWnd* CWindowWnd::FromHandle(HWND hWnd) { return dynamic_cast<CWindowWnd*>(hWnd); }

HWND CWindowWnd::Create(HWND hwndParent, LPCTSTR pstrName, DWORD dwStyle, DWORD, int x, int y, int cx, int cy)
{
    if (m_host)
        return GetHWND();
    if (auto* dispatcher = UiDispatcher::instance())
        dispatcher->remember(this);
    m_owner = hwndParent;
    CWindowWnd* ownerWindow = FromHandle(hwndParent);
    m_host = new WindowHost(this, ownerWindow ? ownerWindow->GetWidget() : nullptr);
    if (pstrName)
        m_host->setWindowTitle(toQString(pstrName));
    if (HandleMessage(WM_CREATE, 0, 0) == -1) {
        platform::DebugPrintf("window %s: creation refused\n", GetWindowClassName());
        DestroyWindow();
        return nullptr;
    }
    if (!m_host)
        return nullptr;
    m_host->applyFrame();
    CPaintManagerUI* pm = GetFrameManager();
    if (cx != CW_USEDEFAULT && cy != CW_USEDEFAULT)
        ResizeClient(cx, cy);
    else if (pm && pm->Frame().initSize.cx > 0 && pm->Frame().initSize.cy > 0)
        ResizeClient(pm->Scale(pm->Frame().initSize.cx), pm->Scale(pm->Frame().initSize.cy));
    else
        m_host->adjustSize();
    if (x != CW_USEDEFAULT && y != CW_USEDEFAULT)
        m_host->move(x - m_host->shadowMargin(), y - m_host->shadowMargin());
    else
        CenterWindow();
    if (dwStyle & WS_VISIBLE)
        ShowWindow(true);
    return GetHWND();
}

bool CWindowWnd::IsWindow() const { return m_host != nullptr; }

QWidget* CWindowWnd::GetWidget() const { return m_host; }

QWidget* CWindowWnd::GetClientWidget() const { return m_host ? m_host->client() : nullptr; }

void CWindowWnd::ShowWindow(bool bShow, bool bTakeFocus)
{
    if (!m_host)
        return;
    if (!bShow) {
        m_host->hide();
        return;
    }
    if (!bTakeFocus)
        m_host->setAttribute(Qt::WA_ShowWithoutActivating);
    m_host->show();
    if (bTakeFocus) {
        m_host->raise();
        m_host->activateWindow();
    }
}

bool CWindowWnd::IsWindowVisible() const { return m_host && m_host->isVisible(); }

UINT CWindowWnd::ShowModal()
{
    if (!m_host)
        return 0;
    m_host->setWindowModality(Qt::ApplicationModal);
    ShowWindow(true);
    ModalState modal(this);
    m_modalLoop = &modal;
    if (ModalObserver* observer = modalObserver())
        observer->modalWindowShown(this);
    if (m_host)
        modal.loop.exec(QEventLoop::DialogExec);
    // The window object may be gone now (OnFinalMessage may delete it; the
    // run then forgot it). A loop ended otherwise (the application quit)
    // leaves the window, which must not keep pointing at this stack frame.
    if (CWindowWnd* window = modal.run.window(); window && window->m_modalLoop == &modal)
        window->m_modalLoop = nullptr;
    return modal.result;
}

void CWindowWnd::Close(UINT nRet) { PostMessage(WM_CLOSE, nRet, 0); }

void CWindowWnd::DestroyWindow()
{
    if (!m_host || m_destroying)
        return;
    m_destroying = true;
    HandleMessage(WM_DESTROY, 0, 0);
    if (auto* dispatcher = UiDispatcher::instance())
        dispatcher->forget(this);
    m_timers.clear();
    if (m_host) {
        WindowHost* host = m_host;
        m_host = nullptr;
        host->detach();
        host->hide();
        host->deleteLater();
    }
    if (m_modalLoop) {
        m_modalLoop->result = m_modalResult;
        m_modalLoop->run.forgetWindow();
        m_modalLoop->loop.exit(0);
        m_modalLoop = nullptr;
    }
    m_destroying = false;
    OnFinalMessage(GetHWND()); // last: may delete this
}

void CWindowWnd::CenterWindow()
{
    if (!m_host)
        return;
    RECT area = GetPrimaryWorkArea();
    if (CWindowWnd* owner = FromHandle(m_owner); owner && owner->IsWindow() && !owner->IsMinimized())
        owner->GetWindowRect(area);
    RECT rc;
    GetWindowRect(rc);
    const int w = rc.width(), h = rc.height();
    RECT work = GetPrimaryWorkArea();
    int x = area.left + (area.width() - w) / 2;
    int y = area.top + (area.height() - h) / 2;
    x = std::clamp(x, work.left, std::max(work.left, work.right - w));
    y = std::clamp(y, work.top, std::max(work.top, work.bottom - h));
    MoveWindow({x, y, x + w, y + h});
}

void CWindowWnd::SetWindowText(const std::string& title)
{
    if (m_host)
        m_host->setWindowTitle(toQString(title));
}

void CWindowWnd::SetIcon(const std::string& skinImage)
{
    if (m_host)
        m_host->setWindowIcon(QIcon(skinPixmap(skinImage)));
}

bool CWindowWnd::GetWindowRect(RECT& rc) const
{
    if (!m_host)
        return false;
    const int m = m_host->shadowMargin();
    QRect g = m_host->geometry();
    // A window manager that reparents the window may move it without Qt
    // learning the new position (maximise, full screen): ask the X server.
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    auto* x11 = app ? app->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    int x = 0, y = 0;
    if (x11 && m_host->isVisible() && m_host->internalWinId() &&
        ui::detail::x11RootPosition(x11->display(), static_cast<unsigned long>(m_host->internalWinId()), x, y))
        g.moveTo(x, y);
    QSize size = m_host->isVisible() ? m_host->client()->size() : QSize(g.width() - 2 * m, g.height() - 2 * m);
    rc = {g.x() + m, g.y() + m, g.x() + m + size.width(), g.y() + m + size.height()};
    return true;
}

void CWindowWnd::MoveWindow(const RECT& rc)
{
    if (!m_host)
        return;
    const int m = m_host->shadowMargin();
    m_host->setGeometry(rc.left - m, rc.top - m, rc.width() + 2 * m, rc.height() + 2 * m);
}

void CWindowWnd::ResizeClient(int cx, int cy)
{
    if (!m_host)
        return;
    const int m = m_host->shadowMargin();
    m_host->resize(cx + 2 * m, cy + 2 * m);
}

bool CWindowWnd::ClientToScreen(POINT& pt) const
{
    if (!m_host)
        return false;
    const QPoint g = m_host->client()->mapToGlobal(QPoint(pt.x, pt.y));
    pt = {g.x(), g.y()};
    return true;
}

bool CWindowWnd::ScreenToClient(POINT& pt) const
{
    if (!m_host)
        return false;
    const QPoint c = m_host->client()->mapFromGlobal(QPoint(pt.x, pt.y));
    pt = {c.x(), c.y()};
    return true;
}

bool CWindowWnd::GetWindowPlacement(WINDOWPLACEMENT& placement) const
{
    if (!m_host)
        return false;
    const QRect normal =
        m_host->normalGeometry().isValid() && IsMaximized() ? m_host->normalGeometry() : m_host->geometry();
    const int m = IsMaximized() ? 0 : m_host->shadowMargin();
    placement.rcNormalPosition = {normal.x() + m, normal.y() + m, normal.right() + 1 - m, normal.bottom() + 1 - m};
    placement.maximized = IsMaximized();
    return true;
}

bool CWindowWnd::SetWindowPlacement(const WINDOWPLACEMENT& placement)
{
    if (!m_host)
        return false;
    if (placement.maximized) {
        m_host->showMaximized();
        // Without a window manager nothing maximises the window: it keeps
        // the rectangle it had.
        if (!WindowManagerRunning())
            MoveWindow(placement.rcNormalPosition);
    } else {
        m_host->showNormal();
        MoveWindow(placement.rcNormalPosition);
    }
    return true;
}

void CWindowWnd::UpdateFrame()
{
    if (m_host)
        m_host->applyFrame();
}

bool CWindowWnd::WindowManagerRunning()
{
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    auto* x11 = app ? app->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 && ui::detail::x11WindowManagerRunning(x11->display());
}

bool CWindowWnd::SetFullScreen(bool on)
{
    if (!m_host || !WindowManagerRunning())
        return false;
    // The maximised state stays set underneath, so leaving restores it.
    const Qt::WindowStates state = m_host->windowState();
    m_host->setWindowState(on ? state | Qt::WindowFullScreen : state & ~Qt::WindowFullScreen);
    return true;
}

bool CWindowWnd::IsFullScreen() const { return m_host && m_host->isFullScreen(); }

void CWindowWnd::DragAcceptFiles(bool accept)
{
    if (m_host)
        m_host->setAcceptDrops(accept);
}

bool CWindowWnd::IsMaximized() const { return m_host && m_host->isMaximized(); }
bool CWindowWnd::IsMinimized() const { return m_host && m_host->isMinimized(); }

RECT CWindowWnd::GetPrimaryMonitorRect()
{
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect g = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
    return {g.x(), g.y(), g.x() + g.width(), g.y() + g.height()};
}

RECT CWindowWnd::GetPrimaryWorkArea()
{
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect g = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    return {g.x(), g.y(), g.x() + g.width(), g.y() + g.height()};
}

bool CWindowWnd::SetTimer(UINT id, UINT elapse)
{
    UiDispatcher* dispatcher = UiDispatcher::instance();
    if (!dispatcher || !m_host || !dispatcher->setTimer(this, id, elapse))
        return false;
    m_timers.insert(id);
    return true;
}

void CWindowWnd::KillTimer(UINT id)
{
    if (UiDispatcher* dispatcher = UiDispatcher::instance())
        dispatcher->killTimer(this, id);
    m_timers.erase(id);
}

LRESULT CWindowWnd::SendMessage(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    return platform::SendMessage(GetHWND(), uMsg, wParam, lParam);
}

bool CWindowWnd::PostMessage(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    return platform::PostMessage(GetHWND(), uMsg, wParam, lParam);
}

int CWindowWnd::HitTest(POINT pt)
{
    CPaintManagerUI* pm = GetFrameManager();
    if (!pm || !m_host)
        return HTCLIENT;
    const int w = m_host->client()->width(), h = m_host->client()->height();
    if (!IsMaximized()) {
        const RECT& b = pm->Frame().sizeBox;
        const int l = pm->Scale(b.left), t = pm->Scale(b.top), r = pm->Scale(b.right), bo = pm->Scale(b.bottom);
        const bool left = pt.x < l, right = pt.x >= w - r, top = pt.y < t, bottom = pt.y >= h - bo;
        if (top && left)
            return HTTOPLEFT;
        if (top && right)
            return HTTOPRIGHT;
        if (bottom && left)
            return HTBOTTOMLEFT;
        if (bottom && right)
            return HTBOTTOMRIGHT;
        if (top)
            return HTTOP;
        if (bottom)
            return HTBOTTOM;
        if (left)
            return HTLEFT;
        if (right)
            return HTRIGHT;
    }
    const RECT& c = pm->Frame().caption;
    const RECT caption{pm->Scale(c.left), pm->Scale(c.top), w - pm->Scale(c.right), pm->Scale(c.bottom)};
    if (caption.contains(pt)) {
        CControlUI* control = pm->FindControl(pt);
        if (control && (control->GetInterface("Button") || control->GetInterface("Text")))
            return HTCLIENT;
        return HTCAPTION;
    }
    return HTCLIENT;
}

LRESULT CWindowWnd::handleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return HandleMessage(message, wParam, lParam);
}

LRESULT CWindowWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProc(uMsg, wParam, lParam);
}

LRESULT CWindowWnd::DefWindowProc(UINT uMsg, WPARAM wParam, LPARAM)
{
    switch (uMsg) {
    case WM_CLOSE:
        m_modalResult = static_cast<UINT>(wParam);
        DestroyWindow();
        return 0;
    case WM_SYSCOMMAND:
        if (!m_host)
            return 0;
        switch (wParam & 0xFFF0) {
        case SC_CLOSE: SendMessage(WM_CLOSE, IDCANCEL, 0); break;
        case SC_MAXIMIZE: m_host->showMaximized(); break;
        case SC_MINIMIZE: m_host->showMinimized(); break;
        case SC_RESTORE: m_host->showNormal(); break;
        default: break;
        }
        return 0;
    default: return 0;
    }
}

void CWindowWnd::OnFinalMessage(HWND) {}

// ---------------------------------------------------------------- WindowImplBase
void WindowImplBase::Notify(TNotifyUI& msg)
{
    if (msg.sType != "click" || !msg.pSender)
        return;
    const std::string& name = msg.pSender->GetName();
    if (name == "closebtn")
        Close(IDCANCEL);
    else if (name == "minbtn")
        SendMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
    else if (name == "maxbtn")
        SendMessage(WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    else if (name == "restorebtn")
        SendMessage(WM_SYSCOMMAND, SC_RESTORE, 0);
}

LRESULT WindowImplBase::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    BOOL handled = TRUE;
    switch (uMsg) {
    case WM_CREATE: result = OnCreate(uMsg, wParam, lParam, handled); break;
    case WM_CLOSE: result = OnClose(uMsg, wParam, lParam, handled); break;
    case WM_DESTROY: result = OnDestroy(uMsg, wParam, lParam, handled); break;
    case WM_KEYDOWN: result = OnKeyDown(uMsg, wParam, lParam, handled); break;
    case WM_SIZE: result = OnSize(uMsg, wParam, lParam, handled); break;
    default: handled = FALSE; break;
    }
    if (handled)
        return result;
    handled = FALSE;
    result = HandleCustomMessage(uMsg, wParam, lParam, handled);
    if (handled)
        return result;
    return DefWindowProc(uMsg, wParam, lParam);
}

LRESULT WindowImplBase::HandleCustomMessage(UINT, WPARAM, LPARAM, BOOL& bHandled)
{
    bHandled = FALSE;
    return 0;
}

LRESULT WindowImplBase::OnCreate(UINT, WPARAM, LPARAM, BOOL& bHandled)
{
    bHandled = TRUE;
    m_PaintManager.Init(GetHWND());
    CDialogBuilder builder;
    CControlUI* root = builder.Create(GetSkinFile(), this, &m_PaintManager);
    if (!root) {
        platform::DebugPrintf("window %s: layout %s could not be loaded: %s\n", GetWindowClassName(),
                              GetSkinFile().c_str(), builder.GetLastError().c_str());
        return -1;
    }
    m_PaintManager.AttachDialog(root);
    m_PaintManager.AddNotifier(this);
    m_PaintManager.AddMessageFilter(this);
    InitWindow();
    return 0;
}

LRESULT WindowImplBase::OnClose(UINT, WPARAM, LPARAM, BOOL& bHandled)
{
    bHandled = FALSE;
    return 0;
}

LRESULT WindowImplBase::OnDestroy(UINT, WPARAM, LPARAM, BOOL& bHandled)
{
    bHandled = FALSE;
    return 0;
}

LRESULT WindowImplBase::OnKeyDown(UINT, WPARAM, LPARAM, BOOL& bHandled)
{
    bHandled = FALSE;
    return 0;
}

LRESULT WindowImplBase::OnSize(UINT, WPARAM wParam, LPARAM, BOOL& bHandled)
{
    // Keep the caption's maximise and restore buttons in step with the state.
    CControlUI* maxButton = m_PaintManager.FindControl("maxbtn");
    CControlUI* restoreButton = m_PaintManager.FindControl("restorebtn");
    if (maxButton && restoreButton && wParam != SIZE_MINIMIZED) {
        maxButton->SetVisible(wParam != SIZE_MAXIMIZED);
        restoreButton->SetVisible(wParam == SIZE_MAXIMIZED);
    }
    bHandled = FALSE;
    return 0;
}

LRESULT WindowImplBase::ResponseDefaultKeyEvent(WPARAM) { return FALSE; }

CControlUI* WindowImplBase::CreateControl(LPCTSTR) { return nullptr; }

LRESULT WindowImplBase::MessageHandler(UINT uMsg, WPARAM wParam, LPARAM, bool& bHandled)
{
    if (uMsg == WM_KEYDOWN && (wParam == VK_RETURN || wParam == VK_ESCAPE)) {
        const LRESULT result = ResponseDefaultKeyEvent(wParam);
        bHandled = result != 0;
        return result;
    }
    return 0;
}
