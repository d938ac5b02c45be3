#include "ui/ShadowWindow.h"

#include "ui/Window.h"
#include "ui/internal/Compositor.h"

#include <QEvent>
#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QWidget>

// The translucent window that shows the picture, and the watcher of the
// parent's top-level widget.
class CWndShadow::Surface : public QWidget {
public:
    Surface(CWndShadow* shadow, QWidget* parentWidget)
        : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowTransparentForInput |
                               Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint),
          m_shadow(shadow), m_parentWidget(parentWidget)
    {
        setAttribute(Qt::WA_TranslucentBackground);
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        if (parentWidget) {
            parentWidget->installEventFilter(this);
            connect(parentWidget, &QObject::destroyed, this, [this] { m_shadow->ParentGone(); });
        }
    }
    ~Surface() override
    {
        if (m_parentWidget)
            m_parentWidget->removeEventFilter(this);
    }
    void setPicture(QImage picture)
    {
        m_picture = std::move(picture);
        update();
    }
    QWidget* parentWidget() const { return m_parentWidget; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_parentWidget) {
            switch (event->type()) {
            case QEvent::Move: m_shadow->ParentMoved(); break;
            case QEvent::Resize:
            case QEvent::WindowStateChange: m_shadow->ParentMovedOrSized(); break;
            case QEvent::Show: m_shadow->ParentShown(true); break;
            case QEvent::Hide: m_shadow->ParentShown(false); break;
            default: break;
            }
        }
        return false;
    }
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(rect(), Qt::transparent);
        painter.drawImage(0, 0, m_picture);
    }

private:
    CWndShadow* m_shadow;
    QPointer<QWidget> m_parentWidget;
    QImage m_picture;
};

CWndShadow::CWndShadow() = default;

CWndShadow::~CWndShadow() = default;

bool CWndShadow::Initialize()
{
    static const bool available = ui::detail::compositingAvailable();
    return available;
}

void CWndShadow::SetSize(int size)
{
    m_params.size = size;
    Update();
}

void CWndShadow::SetSharpness(int sharpness)
{
    m_params.sharpness = sharpness;
    Update();
}

void CWndShadow::SetDarkness(int darkness)
{
    m_params.darkness = darkness;
    Update();
}

void CWndShadow::SetPosition(int x, int y)
{
    m_params.offsetX = x;
    m_params.offsetY = y;
    Place();
}

void CWndShadow::SetColor(DWORD rgb)
{
    m_params.color = rgb & 0xFFFFFF;
    Update();
}

void CWndShadow::Create(CWindowWnd* parent)
{
    if (m_parent || !parent || !Initialize() || !parent->GetWidget())
        return;
    m_parent = parent;
    m_surface = std::make_unique<Surface>(this, parent->GetWidget());
    m_status = kEnabled;
    if (!parent->IsWindowVisible())
        return;
    m_status |= kParentVisible;
    if (parent->IsMinimized() || parent->IsMaximized())
        return;
    m_status |= kVisible;
    Update();
}

void CWndShadow::Update()
{
    if (!m_surface || !m_parent || !(m_status & kVisible))
        return;
    RECT frame;
    if (!m_parent->GetWindowRect(frame) || frame.width() <= 0 || frame.height() <= 0)
        return;
    CPaintManagerUI* pm = m_parent->GetFrameManager();
    const SIZE corner =
        pm ? SIZE{pm->Scale(pm->Frame().roundCorner.cx), pm->Scale(pm->Frame().roundCorner.cy)} : SIZE{0, 0};
    // The parent's region is a round rectangle one pixel larger than it.
    const ui::ShadowMask mask = ui::ShadowMask::RoundRect(frame.width() + 1, frame.height() + 1, corner.cx, corner.cy);
    const ui::ShadowImage image = ui::MakeShadowImage(mask, m_params);
    QImage picture(image.width, image.height, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < image.height; ++y)
        std::copy_n(image.pixels.data() + static_cast<std::size_t>(y) * image.width, image.width,
                    reinterpret_cast<std::uint32_t*>(picture.scanLine(y)));
    m_surface->resize(image.width, image.height);
    m_surface->setPicture(std::move(picture));
    Place();
    if (!m_surface->isVisible()) {
        m_surface->show();
        // The shadow belongs behind its parent.
        if (QWidget* parentWidget = m_surface->parentWidget())
            parentWidget->raise();
    }
}

void CWndShadow::Place()
{
    RECT frame;
    if (!m_surface || !m_parent || !m_parent->GetWindowRect(frame))
        return;
    m_surface->move(frame.left + m_params.offsetX - m_params.size, frame.top + m_params.offsetY - m_params.size);
}

void CWndShadow::ParentMoved()
{
    // Moving keeps the picture; only a size change draws it again.
    if (m_status & kVisible)
        Place();
}

void CWndShadow::ParentMovedOrSized()
{
    if (!m_surface || !m_parent)
        return;
    if (m_parent->IsMinimized() || m_parent->IsMaximized()) {
        m_status &= ~kVisible;
        m_surface->hide();
        return;
    }
    if (m_status & kParentVisible) {
        m_status |= kVisible;
        Update();
    }
}

void CWndShadow::ParentShown(bool shown)
{
    if (!m_surface)
        return;
    if (shown) {
        m_status |= kParentVisible;
        ParentMovedOrSized();
    } else {
        m_status &= ~(kParentVisible | kVisible);
        m_surface->hide();
    }
}

void CWndShadow::ParentGone()
{
    m_parent = nullptr;
    m_status = 0;
    if (m_surface)
        m_surface->hide();
}
