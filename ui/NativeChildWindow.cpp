#include "ui/NativeChildWindow.h"

#include "ui/Control.h"
#include "ui/Window.h"

#include <QMouseEvent>
#include <QPointer>
#include <QWidget>

// A widget with its own native window that Qt never paints into.
class CNativeChildWindow::Surface : public QWidget {
public:
    Surface(QWidget* parent, CNativeChildWindow* owner) : QWidget(parent), m_owner(owner)
    {
        setAttribute(Qt::WA_NativeWindow);
        setAttribute(Qt::WA_PaintOnScreen);
        setAttribute(Qt::WA_NoSystemBackground);
        setAttribute(Qt::WA_OpaquePaintEvent);
        setMouseTracking(true);
    }
    ~Surface() override
    {
        // Gone with its window while the object lives on.
        if (m_owner)
            m_owner->m_surface = nullptr;
    }
    QPaintEngine* paintEngine() const override { return nullptr; }
    CControlUI* target = nullptr;
    CNativeChildWindow* m_owner;

protected:
    void mouseMoveEvent(QMouseEvent* e) override { forward(UIEVENT_MOUSEMOVE, e); }
    void mousePressEvent(QMouseEvent* e) override
    {
        if (e->button() == Qt::LeftButton)
            forward(UIEVENT_BUTTONDOWN, e);
        else if (e->button() == Qt::RightButton)
            forward(UIEVENT_RBUTTONDOWN, e);
    }
    void mouseReleaseEvent(QMouseEvent* e) override
    {
        if (e->button() == Qt::LeftButton)
            forward(UIEVENT_BUTTONUP, e);
        else if (e->button() == Qt::RightButton)
            forward(UIEVENT_RBUTTONUP, e);
    }
    void mouseDoubleClickEvent(QMouseEvent* e) override
    {
        if (e->button() == Qt::LeftButton)
            forward(UIEVENT_DBLCLICK, e);
    }

private:
    void forward(int type, QMouseEvent* e)
    {
        if (!target)
            return;
        TEventUI event;
        event.Type = type;
        event.pSender = target;
        const QPoint p = mapTo(parentWidget(), e->position().toPoint());
        event.ptMouse = {p.x(), p.y()};
        target->DoEvent(event);
    }
};

CNativeChildWindow::CNativeChildWindow(HWND parent, int cx, int cy) : m_parent(parent)
{
    CWindowWnd* window = CWindowWnd::FromHandle(parent);
    QWidget* client = window ? window->GetClientWidget() : nullptr;
    if (!client)
        return;
    m_surface = new Surface(client, this);
    m_surface->setGeometry(0, 0, cx, cy);
    m_surface->winId(); // make the native window now
    m_surface->show();
    m_surface->raise();
}

CNativeChildWindow::~CNativeChildWindow()
{
    if (m_surface) {
        m_surface->target = nullptr;
        m_surface->m_owner = nullptr;
        m_surface->hide();
        m_surface->deleteLater();
    }
}

bool CNativeChildWindow::IsValid() const { return m_surface != nullptr; }

std::uintptr_t CNativeChildWindow::NativeHandle() const
{
    return m_surface ? static_cast<std::uintptr_t>(m_surface->winId()) : 0;
}

void CNativeChildWindow::Move(const RECT& rc)
{
    if (m_surface)
        m_surface->setGeometry(rc.left, rc.top, std::max(0, rc.width()), std::max(0, rc.height()));
}

RECT CNativeChildWindow::GetRect() const
{
    if (!m_surface)
        return {};
    const QRect g = m_surface->geometry();
    return {g.x(), g.y(), g.x() + g.width(), g.y() + g.height()};
}

void CNativeChildWindow::Show(bool show)
{
    if (m_surface)
        m_surface->setVisible(show);
}

bool CNativeChildWindow::IsVisible() const { return m_surface && m_surface->isVisible(); }

void CNativeChildWindow::SetEventTarget(CControlUI* control)
{
    if (m_surface)
        m_surface->target = control;
}
