#include "ui/NativeWindowUI.h"

#include "ui/internal/ControlRelay.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPaintEngine>
#include <QPlatformSurfaceEvent>
#include <QWidget>
#include <QWindow>

#include <cstring>

namespace {

// A widget that owns a native window and lets another library draw into it.
class NativeSurfaceWidget : public QWidget {
public:
    NativeSurfaceWidget()
    {
        // Only this widget gets a native window: its ancestors and their
        // other children stay drawn by the window they are in. Native
        // siblings would each take the presses over them from the window
        // (a resize from an edge, a double-click on the title bar).
        QCoreApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
        setAttribute(Qt::WA_DontCreateNativeAncestors);
        setAttribute(Qt::WA_NativeWindow);
        setAttribute(Qt::WA_PaintOnScreen);
        setAttribute(Qt::WA_NoSystemBackground);
        setAttribute(Qt::WA_OpaquePaintEvent);
        setAutoFillBackground(false);
        setMouseTracking(true);
        setFocusPolicy(Qt::ClickFocus);
    }
    QPaintEngine* paintEngine() const override { return nullptr; }

protected:
    void paintEvent(QPaintEvent*) override {}
};

} // namespace

// Watches the native window of the widget for its destruction.
class NativeSurfaceWatcher : public QObject {
public:
    explicit NativeSurfaceWatcher(CNativeWindowUI* control) : m_control(control) {}
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::PlatformSurface &&
            static_cast<QPlatformSurfaceEvent*>(event)->surfaceEventType() ==
                QPlatformSurfaceEvent::SurfaceAboutToBeDestroyed)
            m_control->OnNativeWindowDestroying();
        return false;
    }

private:
    CNativeWindowUI* m_control;
};

CNativeWindowUI::~CNativeWindowUI()
{
    delete m_watcher;
    m_watcher = nullptr;
}

LPCTSTR CNativeWindowUI::GetClass() const { return "NativeWindowUI"; }

void* CNativeWindowUI::GetInterface(LPCTSTR pstrName)
{
    return std::strcmp(pstrName, "NativeWindow") == 0 ? this : CControlUI::GetInterface(pstrName);
}

QWidget* CNativeWindowUI::CreateWidget()
{
    auto* widget = new NativeSurfaceWidget;
    Relay()->wantsMouse = true;
    return widget;
}

unsigned long CNativeWindowUI::NativeWindowId()
{
    if (!NativeDisplay())
        return 0;
    QWidget* widget = GetWidget();
    if (!widget)
        return 0;
    const WId id = widget->winId();
    if (!m_watcher && widget->windowHandle()) {
        m_watcher = new NativeSurfaceWatcher(this);
        widget->windowHandle()->installEventFilter(m_watcher);
    }
    return static_cast<unsigned long>(id);
}

unsigned long CNativeWindowUI::TopLevelWindowId() const
{
    const QWidget* widget = WidgetIfCreated();
    return widget ? static_cast<unsigned long>(widget->window()->internalWinId()) : 0;
}

double CNativeWindowUI::DevicePixelRatio() const
{
    QWidget* widget = const_cast<CNativeWindowUI*>(this)->GetWidget();
    return widget ? widget->devicePixelRatioF() : 1.0;
}

void* CNativeWindowUI::NativeDisplay()
{
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!app)
        return nullptr;
    auto* x11 = app->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? static_cast<void*>(x11->display()) : nullptr;
}
