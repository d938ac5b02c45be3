#include "ui/Control.h"

#include "ui/PaintManager.h"
#include "ui/ResourceManager.h"
#include "ui/internal/ControlRelay.h"
#include "ui/internal/Resources.h"
#include "ui/internal/WindowHost.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QVariant>
#include <QWheelEvent>
#include <QWidget>

#include <climits>
#include <cstdio>
#include <regex>

using namespace ui::detail;

namespace ui::detail {

namespace {
const char* kControlProperty = "pellumoControl";
}

CControlUI* controlOfWidget(QObject* object)
{
    for (; object; object = object->parent()) {
        const QVariant v = object->property(kControlProperty);
        if (v.isValid())
            return reinterpret_cast<CControlUI*>(v.value<quintptr>());
    }
    return nullptr;
}

unsigned parseColor(const std::string& text)
{
    std::string t = text;
    if (!t.empty() && t[0] == '#')
        t.erase(0, 1);
    else if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X'))
        t.erase(0, 2);
    if (t.empty() || t.size() > 8)
        return 0;
    char* end = nullptr;
    unsigned long value = std::strtoul(t.c_str(), &end, 16);
    if (*end != '\0')
        return 0;
    if (t.size() <= 6)
        value |= 0xFF000000ul;
    return static_cast<unsigned>(value);
}

bool parseBool(const std::string& text) { return text == "true" || text == "1" || text == "TRUE" || text == "True"; }

int parseInt(const std::string& text, int fallback)
{
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    return end == text.c_str() ? fallback : static_cast<int>(v);
}

bool parseIntList(const std::string& text, int* out, int count)
{
    const char* p = text.c_str();
    for (int i = 0; i < count; ++i) {
        char* end = nullptr;
        const long v = std::strtol(p, &end, 10);
        if (end == p)
            return false;
        out[i] = static_cast<int>(v);
        p = end;
        while (*p == ',' || *p == ' ')
            ++p;
    }
    return true;
}

bool ControlRelay::eventFilter(QObject* watched, QEvent* event)
{
    CControlUI* c = m_control;
    if (watched != c->WidgetIfCreated())
        return false;
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
        c->SetPos(c->GetPos(), false);
        // Controls that track their place in the window (custom controls)
        // move with any parent.
        for (QWidget* child : static_cast<QWidget*>(watched)->findChildren<QWidget*>()) {
            CControlUI* inner = controlOfWidget(child);
            if (inner && inner != c && inner->WidgetIfCreated() == child && inner->Relay()->wantsMouse)
                inner->SetPos(inner->GetPos(), false);
        }
        break;
    case QEvent::Show: c->SetInternVisible(true); break;
    case QEvent::Hide: c->SetInternVisible(false); break;
    case QEvent::MouseMove:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::Enter:
    case QEvent::Leave: {
        if (!wantsMouse)
            break;
        TEventUI e;
        e.pSender = c;
        const RECT pos = c->GetPos();
        if (auto* we = dynamic_cast<QWheelEvent*>(event)) {
            const QPoint p = we->position().toPoint();
            e.ptMouse = {pos.left + p.x(), pos.top + p.y()};
            e.keyState = keyState(we->modifiers());
            e.Type = UIEVENT_SCROLLWHEEL;
            e.wParam = static_cast<WPARAM>(static_cast<LPARAM>(we->angleDelta().y()));
            if (we->angleDelta().y() == 0)
                e.Type = 0;
        } else if (auto* me = dynamic_cast<QMouseEvent*>(event)) {
            const QPoint p = me->position().toPoint();
            e.ptMouse = {pos.left + p.x(), pos.top + p.y()};
            e.keyState = keyState(me->modifiers());
            const bool left = me->button() == Qt::LeftButton;
            const bool right = me->button() == Qt::RightButton;
            const bool middle = me->button() == Qt::MiddleButton;
            if (event->type() == QEvent::MouseMove)
                e.Type = UIEVENT_MOUSEMOVE;
            else if (event->type() == QEvent::MouseButtonPress)
                e.Type = left ? UIEVENT_BUTTONDOWN : right ? UIEVENT_RBUTTONDOWN : middle ? UIEVENT_MBUTTONDOWN : 0;
            else if (event->type() == QEvent::MouseButtonRelease)
                e.Type = left ? UIEVENT_BUTTONUP : right ? UIEVENT_RBUTTONUP : middle ? UIEVENT_MBUTTONUP : 0;
            else
                e.Type = left ? UIEVENT_DBLCLICK : 0;
        } else {
            e.Type = event->type() == QEvent::Enter ? UIEVENT_MOUSEENTER : UIEVENT_MOUSELEAVE;
        }
        if (e.Type != 0)
            c->DoEvent(e);
        // The wheel is the control's; it must not scroll what holds it.
        if (event->type() == QEvent::Wheel && e.Type != 0)
            return true;
        break;
    }
    default: break;
    }
    return false;
}

} // namespace ui::detail

namespace {
int g_nextStyleId = 1;
}

CControlUI::CControlUI() : m_relay(std::make_unique<ControlRelay>(this)), m_styleId(g_nextStyleId++) {}

CControlUI::~CControlUI()
{
    if (m_manager)
        m_manager->ForgetControl(this);
    if (m_widget) {
        m_widget->removeEventFilter(m_relay.get());
        m_widget->setProperty(kControlProperty, QVariant());
        // The widget may be inside one of its own signals: hide it now and
        // let Qt delete it (it stays parented, so its window takes it along
        // if the loop never runs again).
        m_widget->hide();
        if (m_widget->parentWidget())
            m_widget->deleteLater();
        else
            delete m_widget;
    }
    m_relay.reset();
}

LPCTSTR CControlUI::GetClass() const { return "ControlUI"; }

void* CControlUI::GetInterface(LPCTSTR pstrName) { return std::string(pstrName) == "Control" ? this : nullptr; }

void CControlUI::SetName(const std::string& name) { m_name = name; }

std::string CControlUI::ResolvedText() const
{
    return m_resourceText ? CResourceManager::GetInstance()->GetTextOrId(m_text) : m_text;
}

std::string CControlUI::GetText() const { return ResolvedText(); }

void CControlUI::SetText(const std::string& text)
{
    m_text = text;
    ApplyText();
}

void CControlUI::SetResourceText(bool resourceText)
{
    m_resourceText = resourceText;
    ApplyText();
}

void CControlUI::SetToolTip(const std::string& tip)
{
    m_toolTip = tip;
    if (QWidget* w = GetWidget())
        w->setToolTip(toQString(GetToolTip()));
}

std::string CControlUI::GetToolTip() const
{
    return m_resourceText ? CResourceManager::GetInstance()->GetTextOrId(m_toolTip) : m_toolTip;
}

void CControlUI::ApplyText() {}

void CControlUI::ReloadText()
{
    if (m_resourceText) {
        ApplyText();
        if (!m_toolTip.empty())
            SetToolTip(m_toolTip);
    }
}

void CControlUI::SetVisible(bool visible)
{
    m_visible = visible;
    if (QWidget* w = GetWidget(); w && (!visible || w->parentWidget()))
        w->setVisible(visible);
}

void CControlUI::SetInternVisible(bool) {}

void CControlUI::SetEnabled(bool enabled)
{
    m_enabled = enabled;
    if (QWidget* w = GetWidget())
        w->setEnabled(enabled);
}

void CControlUI::SetBkImage(const std::string& image)
{
    m_bkImage = image;
    UpdateStyle();
}

void CControlUI::SetBkColor(DWORD argb)
{
    m_bkColor = argb;
    UpdateStyle();
}

void CControlUI::SetTextColor(DWORD argb)
{
    m_textColor = argb;
    UpdateStyle();
}

void CControlUI::SetDisabledTextColor(DWORD argb)
{
    m_disabledTextColor = argb;
    UpdateStyle();
}

void CControlUI::SetBorderColor(DWORD argb)
{
    m_borderColor = argb;
    UpdateStyle();
}

void CControlUI::SetBorderSize(int size)
{
    m_borderSize = size;
    UpdateStyle();
}

void CControlUI::SetBorderRound(int radius)
{
    m_borderRound = radius;
    UpdateStyle();
}

void CControlUI::SetFont(int index)
{
    m_font = index;
    if (QWidget* w = GetWidget(); w && m_manager)
        w->setFont(m_manager->GetFontFor(m_font));
}

void CControlUI::SetFixedWidth(int width)
{
    m_fixedWidth = width;
    ApplyGeometry();
}

void CControlUI::SetFixedHeight(int height)
{
    m_fixedHeight = height;
    ApplyGeometry();
}

void CControlUI::SetMinWidth(int width)
{
    m_minWidth = width;
    ApplyGeometry();
}

void CControlUI::SetMinHeight(int height)
{
    m_minHeight = height;
    ApplyGeometry();
}

void CControlUI::SetMaxWidth(int width)
{
    m_maxWidth = width;
    ApplyGeometry();
}

void CControlUI::SetMaxHeight(int height)
{
    m_maxHeight = height;
    ApplyGeometry();
}

int CControlUI::Scaled(int value) const { return m_manager ? m_manager->Scale(value) : value; }

void CControlUI::ApplyGeometry()
{
    QWidget* w = GetWidget();
    if (!w)
        return;
    if (m_fixedWidth > 0) {
        w->setFixedWidth(Scaled(m_fixedWidth));
    } else {
        w->setMinimumWidth(Scaled(m_minWidth));
        w->setMaximumWidth(m_maxWidth > 0 ? Scaled(m_maxWidth) : QWIDGETSIZE_MAX);
    }
    if (m_fixedHeight > 0) {
        w->setFixedHeight(Scaled(m_fixedHeight));
    } else {
        w->setMinimumHeight(Scaled(m_minHeight));
        w->setMaximumHeight(m_maxHeight > 0 ? Scaled(m_maxHeight) : QWIDGETSIZE_MAX);
    }
    w->setSizePolicy(m_fixedWidth > 0 ? QSizePolicy::Fixed : QSizePolicy::Ignored,
                     m_fixedHeight > 0 ? QSizePolicy::Fixed : QSizePolicy::Ignored);
}

void CControlUI::ApplyScale()
{
    ApplyGeometry();
    if (QWidget* w = GetWidget(); w && m_manager)
        w->setFont(m_manager->GetFontFor(m_font));
    UpdateStyle();
}

RECT CControlUI::GetPos() const
{
    QWidget* w = const_cast<CControlUI*>(this)->WidgetIfCreated();
    if (!w)
        return {};
    QPoint origin(0, 0);
    QWidget* root = nullptr;
    if (m_manager && m_manager->GetRoot())
        root = m_manager->GetRoot()->WidgetIfCreated();
    if (root && root != w && root->isAncestorOf(w))
        origin = w->mapTo(root, QPoint(0, 0));
    return {origin.x(), origin.y(), origin.x() + w->width(), origin.y() + w->height()};
}

void CControlUI::SetPos(RECT, bool) {}

int CControlUI::GetWidth() const
{
    const RECT rc = GetPos();
    return rc.right - rc.left;
}

int CControlUI::GetHeight() const
{
    const RECT rc = GetPos();
    return rc.bottom - rc.top;
}

void CControlUI::DoEvent(TEventUI&) {}

void CControlUI::SetAttribute(const std::string& name, const std::string& value)
{
    int r[4];
    if (name == "name")
        SetName(value);
    else if (name == "text")
        SetText(value);
    else if (name == "textid") {
        m_resourceText = true;
        SetText(value);
    } else if (name == "resourcetext")
        SetResourceText(parseBool(value));
    else if (name == "tooltip")
        SetToolTip(value);
    else if (name == "visible")
        SetVisible(parseBool(value));
    else if (name == "enabled")
        SetEnabled(parseBool(value));
    else if (name == "bkimage")
        SetBkImage(value);
    else if (name == "bkcolor")
        SetBkColor(parseColor(value));
    else if (name == "textcolor")
        SetTextColor(parseColor(value));
    else if (name == "disabledtextcolor")
        SetDisabledTextColor(parseColor(value));
    else if (name == "bordercolor")
        SetBorderColor(parseColor(value));
    else if (name == "bordersize")
        SetBorderSize(parseInt(value));
    else if (name == "borderround")
        SetBorderRound(parseInt(value));
    else if (name == "font")
        SetFont(parseInt(value, -1));
    else if (name == "tag")
        SetTag(static_cast<UINT_PTR>(std::strtoull(value.c_str(), nullptr, 0)));
    else if (name == "userdata")
        SetUserData(value);
    else if (name == "width")
        SetFixedWidth(parseInt(value));
    else if (name == "height")
        SetFixedHeight(parseInt(value));
    else if (name == "minwidth")
        SetMinWidth(parseInt(value));
    else if (name == "minheight")
        SetMinHeight(parseInt(value));
    else if (name == "maxwidth")
        SetMaxWidth(parseInt(value));
    else if (name == "maxheight")
        SetMaxHeight(parseInt(value));
    else if (name == "size" && parseIntList(value, r, 2)) {
        SetFixedWidth(r[0]);
        SetFixedHeight(r[1]);
    }
    // "style" is applied by the layout builder; other names are ignored.
}

void CControlUI::ApplyAttributeList(const std::string& list)
{
    static const std::regex pair(R"re((\w+)\s*=\s*"([^"]*)")re");
    for (auto it = std::sregex_iterator(list.begin(), list.end(), pair); it != std::sregex_iterator(); ++it)
        SetAttribute((*it)[1].str(), (*it)[2].str());
}

void CControlUI::SetFocus()
{
    if (m_manager)
        m_manager->SetFocus(this);
    else if (QWidget* w = GetWidget())
        w->setFocus(Qt::OtherFocusReason);
}

bool CControlUI::IsShown() const
{
    QWidget* w = WidgetIfCreated();
    return w ? w->isVisible() : m_visible;
}

bool CControlUI::IsFocused() const { return m_manager && m_manager->GetFocus() == this; }

void CControlUI::Invalidate()
{
    if (QWidget* w = WidgetIfCreated())
        w->update();
}

void CControlUI::NeedUpdate()
{
    if (QWidget* w = WidgetIfCreated())
        w->updateGeometry();
}

void CControlUI::SetManager(CPaintManagerUI* manager, CControlUI* parent)
{
    m_manager = manager;
    m_parent = parent;
    if (QWidget* w = GetWidget()) {
        if (m_manager)
            w->setFont(m_manager->GetFontFor(m_font));
        ApplyGeometry();
        UpdateStyle();
    }
}

CControlUI* CControlUI::FindSubControl(const std::string& name)
{
    return !name.empty() && name == m_name ? this : nullptr;
}

QWidget* CControlUI::GetWidget()
{
    EnsureWidget();
    return m_widget;
}

QWidget* CControlUI::WidgetIfCreated() const { return m_widget; }

void CControlUI::EnsureWidget() const
{
    auto* self = const_cast<CControlUI*>(this);
    if (self->m_widgetMade)
        return;
    self->m_widgetMade = true;
    QWidget* w = self->CreateWidget();
    if (!w)
        return;
    self->m_widget = w;
    w->setObjectName(QStringLiteral("c%1").arg(m_styleId));
    w->setProperty(kControlProperty, QVariant::fromValue(reinterpret_cast<quintptr>(self)));
    w->installEventFilter(self->m_relay.get());
    QObject::connect(w, &QObject::destroyed, self->m_relay.get(), [self] { self->m_widget = nullptr; });
    // Never shown without a parent (the container shows it once it holds
    // it): shown alone it would be a top-level window for a moment, which a
    // window manager frames and maps, racing the move into the window.
    if (!m_visible || w->parentWidget())
        w->setVisible(m_visible);
    w->setEnabled(m_enabled);
    self->InitWidget();
    self->ApplyGeometry();
    self->ApplyText();
    if (!m_toolTip.empty())
        w->setToolTip(toQString(GetToolTip()));
    self->UpdateStyle();
}

QWidget* CControlUI::CreateWidget()
{
    auto* w = new QWidget;
    w->setAttribute(Qt::WA_StyledBackground);
    w->setMouseTracking(true);
    m_relay->wantsMouse = true;
    return w;
}

void CControlUI::InitWidget() {}

ControlRelay* CControlUI::Relay() { return m_relay.get(); }

std::string CControlUI::ImageRule(const std::string& attribute) const
{
    return attribute.empty() ? std::string() : toStd(imageStyle(attribute, m_manager ? m_manager->GetDPI() : 96));
}

std::string CControlUI::StyleRules(const std::string& sel) const
{
    std::string body;
    if (m_bkColor)
        body += "background-color: " + toStd(colorCss(m_bkColor)) + ";";
    if (m_textColor)
        body += "color: " + toStd(colorCss(m_textColor)) + ";";
    if (m_borderSize > 0)
        body += "border: " + std::to_string(Scaled(m_borderSize)) + "px solid " +
                toStd(colorCss(m_borderColor ? m_borderColor : 0xFF808080)) + ";";
    if (m_borderRound > 0)
        body += "border-radius: " + std::to_string(Scaled(m_borderRound)) + "px;";
    if (m_bkImageOnWidget)
        body += ImageRule(m_bkImage);
    std::string rules = sel + " {" + body + m_extraStyle + "}";
    if (m_disabledTextColor)
        rules += sel + ":disabled { color: " + toStd(colorCss(m_disabledTextColor)) + "; }";
    return rules;
}

void CControlUI::UpdateStyle()
{
    QWidget* w = WidgetIfCreated();
    if (!w)
        return;
    std::string sel = "#"; // appended, not "#" + temporary: GCC 12 warns falsely on that
    sel += toStd(w->objectName());
    // Setting a style sheet restyles the widget even when nothing changed,
    // some milliseconds each (a reconnect selects and refills a dozen combos).
    const QString rules = toQString(StyleRules(sel));
    if (w->styleSheet() != rules)
        w->setStyleSheet(rules);
}

void CControlUI::SendNotify(const char* type, WPARAM wParam, LPARAM lParam)
{
    if (m_manager)
        m_manager->SendNotify(this, type, wParam, lParam);
}
