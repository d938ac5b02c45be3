#include "ui/Menu.h"

#include "ui/PaintManager.h"
#include "ui/ResourceManager.h"
#include "ui/Window.h"
#include "ui/internal/ControlRelay.h"
#include "ui/internal/Resources.h"

#include <QAction>
#include <QApplication>
#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <QXmlStreamReader>

#include <cstdlib>
#include <cstring>

using namespace ui::detail;

void* CStdStringPtrMap::Find(const std::string& key) const
{
    auto it = m_map.find(key);
    return it == m_map.end() ? nullptr : it->second;
}

std::string CMenuElementUI::GetText() const
{
    return m_resourceText ? CResourceManager::GetInstance()->GetTextOrId(m_text) : m_text;
}

void CMenuElementUI::SetChecked(bool checked)
{
    m_checked = checked;
    m_checkItem = true;
}

void CMenuElementUI::SetAttribute(const std::string& name, const std::string& value)
{
    int r[2];
    if (name == "name")
        m_name = value;
    else if (name == "text")
        m_text = value;
    else if (name == "textid") {
        m_text = value;
        m_resourceText = true;
    } else if (name == "icon")
        m_icon = value;
    else if (name == "iconsize" && parseIntList(value, r, 2))
        m_iconSize = {r[0], r[1]};
    else if (name == "checkitem")
        m_checkItem = parseBool(value);
    else if (name == "checked")
        SetChecked(parseBool(value));
    else if (name == "expand")
        m_expand = parseBool(value);
    else if (name == "enabled")
        m_enabled = parseBool(value);
    else if (name == "visible")
        m_visible = parseBool(value);
    else if (name == "userdata")
        m_userData = value;
    else if (name == "width")
        m_width = parseInt(value);
}

bool CMenuElementUI::Add(CMenuElementUI* item) { return AddAt(item, GetCount()); }

bool CMenuElementUI::AddAt(CMenuElementUI* item, int index)
{
    if (!item || index < 0 || index > GetCount())
        return false;
    m_items.insert(m_items.begin() + index, std::unique_ptr<CMenuElementUI>(item));
    return true;
}

bool CMenuElementUI::RemoveAt(int index)
{
    if (index < 0 || index >= GetCount())
        return false;
    m_items.erase(m_items.begin() + index);
    return true;
}

CMenuElementUI* CMenuElementUI::GetItemAt(int index) const
{
    return index >= 0 && index < GetCount() ? m_items[static_cast<size_t>(index)].get() : nullptr;
}

CMenuElementUI* CMenuElementUI::FindMenuItem(const std::string& name)
{
    for (auto& item : m_items) {
        if (item->GetName() == name)
            return item.get();
        if (CMenuElementUI* found = item->FindMenuItem(name))
            return found;
    }
    return nullptr;
}

namespace ui::detail {

// The Qt menu shown for a CMenuWnd, rebuilt from the items on each opening.
class MenuPopup {
public:
    explicit MenuPopup(CMenuWnd* owner) : m_owner(owner) {}

    void open()
    {
        m_menu = std::make_unique<QMenu>();
        m_menu->setAttribute(Qt::WA_DeleteOnClose, false);
        fill(m_menu.get(), m_owner->m_root);
        if (m_owner->m_root.GetFixedWidth() > 0)
            m_menu->setMinimumWidth(m_owner->m_root.GetFixedWidth());
        const QSize size = m_menu->sizeHint();
        QPoint at(m_owner->m_point.x, m_owner->m_point.y);
        if (m_owner->m_alignment & eMenuAlignment_Right)
            at.rx() -= size.width();
        if (m_owner->m_alignment & eMenuAlignment_Bottom)
            at.ry() -= size.height();
        m_menu->popup(at);
    }

    void close()
    {
        if (m_menu)
            m_menu->close();
    }

    bool isOpen() const { return m_menu && m_menu->isVisible(); }

    QAction* find(const std::string& name) const
    {
        auto it = m_actions.find(name);
        return it == m_actions.end() ? nullptr : it->second;
    }

    std::unique_ptr<QMenu> m_menu;

private:
    static QIcon iconFor(const CMenuElementUI& item)
    {
        const SIZE s = item.GetIconSize();
        QPixmap canvas(std::max(1, s.cx), std::max(1, s.cy));
        canvas.fill(Qt::transparent);
        const bool show = !item.IsCheckItem() || item.GetChecked();
        if (show) {
            QPainter painter(&canvas);
            if (!item.GetIcon().empty()) {
                painter.setRenderHint(QPainter::SmoothPixmapTransform);
                painter.drawPixmap(canvas.rect(), skinPixmap(item.GetIcon()));
            } else {
                // A plain check mark for check items without an icon.
                painter.setRenderHint(QPainter::Antialiasing);
                painter.setPen(QPen(QColor(40, 40, 40), std::max(1.5, s.cx / 8.0)));
                const qreal w = canvas.width(), h = canvas.height();
                painter.drawPolyline(
                    QPolygonF({QPointF(w * 0.2, h * 0.55), QPointF(w * 0.42, h * 0.75), QPointF(w * 0.8, h * 0.28)}));
            }
        }
        return QIcon(canvas);
    }

    void fill(QMenu* menu, CMenuElementUI& parent)
    {
        int width = 0;
        for (int i = 0; i < parent.GetCount(); ++i) {
            CMenuElementUI* item = parent.GetItemAt(i);
            width = std::max(width, item->GetFixedWidth());
            if (!item->IsVisible())
                continue;
            if (item->IsSeparator()) {
                menu->addSeparator();
                continue;
            }
            const QString text = toQString(item->GetText());
            const bool hasIcon = item->IsCheckItem() || !item->GetIcon().empty();
            if (item->GetCount() > 0 || item->GetShowExpandIcon()) {
                QMenu* sub = menu->addMenu(text);
                if (hasIcon)
                    sub->setIcon(iconFor(*item));
                sub->setEnabled(item->IsEnabled());
                fill(sub, *item);
                m_actions[item->GetName()] = sub->menuAction();
                continue;
            }
            QAction* action = menu->addAction(text);
            if (hasIcon)
                action->setIcon(iconFor(*item));
            action->setEnabled(item->IsEnabled());
            action->setIconVisibleInMenu(hasIcon);
            m_actions[item->GetName()] = action;
            QObject::connect(action, &QAction::triggered, menu, [this, item] { m_owner->ItemClicked(item); });
        }
        if (width > 0)
            menu->setMinimumWidth(width);
    }

    CMenuWnd* m_owner;
    std::map<std::string, QAction*> m_actions;
};

} // namespace ui::detail

namespace {
std::vector<CMenuWnd*>& openMenus()
{
    static std::vector<CMenuWnd*> menus;
    return menus;
}

void copyText(char* dst, size_t size, const std::string& src)
{
    // Cut on a character boundary so the record stays valid UTF-8.
    size_t n = std::min(src.size(), size - 1);
    while (n > 0 && n < src.size() && (static_cast<unsigned char>(src[n]) & 0xC0) == 0x80)
        --n;
    std::memcpy(dst, src.data(), n);
    dst[n] = '\0';
}

bool loadItems(QXmlStreamReader& xml, CMenuElementUI& parent, CStdStringPtrMap* checkInfo)
{
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("MenuElement") || xml.name() == QLatin1String("Separator")) {
            auto* item = new CMenuElementUI;
            if (xml.name() == QLatin1String("Separator"))
                item->SetSeparator(true);
            for (const QXmlStreamAttribute& a : xml.attributes())
                item->SetAttribute(toStd(a.name().toString()), toStd(a.value().toString()));
            if (checkInfo && item->IsCheckItem() && !item->GetName().empty()) {
                // A remembered state wins over the file's.
                auto* remembered = checkInfo->Find(item->GetName() + "#known");
                if (remembered)
                    item->SetChecked(checkInfo->Find(item->GetName()) != nullptr);
            }
            parent.Add(item);
            if (!loadItems(xml, *item, checkInfo))
                return false;
        } else {
            xml.skipCurrentElement();
        }
    }
    return !xml.hasError();
}
} // namespace

CMenuWnd::CMenuWnd() : m_popup(std::make_unique<ui::detail::MenuPopup>(this)) {}

CMenuWnd::~CMenuWnd()
{
    auto& menus = openMenus();
    menus.erase(std::remove(menus.begin(), menus.end(), this), menus.end());
    m_popup->close();
    if (m_popup->m_menu) {
        // It may be inside its own signal: let Qt delete it.
        m_popup->m_menu.release()->deleteLater();
    }
}

bool CMenuWnd::Init(CMenuElementUI*, const std::string& xmlFile, POINT point, CPaintManagerUI* pMainPaintManager,
                    CStdStringPtrMap* pMenuCheckInfo, DWORD dwAlignment)
{
    m_point = point;
    m_manager = pMainPaintManager;
    m_checkInfo = pMenuCheckInfo;
    m_alignment = dwAlignment;
    m_root.RemoveAll();
    QByteArray bytes;
    if (!readSkinFile(xmlFile, bytes))
        return false;
    QXmlStreamReader xml(bytes);
    if (!xml.readNextStartElement() || xml.name() != QLatin1String("Menu"))
        return false;
    for (const QXmlStreamAttribute& a : xml.attributes())
        m_root.SetAttribute(toStd(a.name().toString()), toStd(a.value().toString()));
    if (!loadItems(xml, m_root, m_checkInfo))
        return false;
    auto& menus = openMenus();
    menus.erase(std::remove(menus.begin(), menus.end(), this), menus.end());
    menus.push_back(this);
    QTimer::singleShot(0, qApp, [this, alive = &menus] {
        if (std::find(alive->begin(), alive->end(), this) != alive->end())
            Show();
    });
    return true;
}

void CMenuWnd::Show()
{
    if (m_popup->m_menu) {
        m_popup->m_menu->close();
        m_popup->m_menu.release()->deleteLater();
    }
    m_popup->open();
}

void CMenuWnd::Close() { m_popup->close(); }

bool CMenuWnd::IsOpen() const { return m_popup->isOpen(); }

QWidget* CMenuWnd::GetWidget() const { return m_popup->isOpen() ? m_popup->m_menu.get() : nullptr; }

CMenuWnd* CMenuWnd::GetActiveMenu()
{
    auto& menus = openMenus();
    for (auto it = menus.rbegin(); it != menus.rend(); ++it)
        if ((*it)->IsOpen())
            return *it;
    return nullptr;
}

bool CMenuWnd::ClickItem(const std::string& name)
{
    QAction* action = m_popup->find(name);
    if (!action || !action->isEnabled() || action->menu())
        return false;
    action->trigger();
    return true;
}

void CMenuWnd::ItemClicked(CMenuElementUI* item)
{
    if (item->IsCheckItem()) {
        item->SetChecked(!item->GetChecked());
        if (m_checkInfo && !item->GetName().empty()) {
            m_checkInfo->Set(item->GetName() + "#known", this);
            if (item->GetChecked())
                m_checkInfo->Set(item->GetName(), this);
            else
                m_checkInfo->Remove(item->GetName());
        }
    }
    // The record is freed by the receiver with CPaintManagerUI::DeletePtr.
    auto* cmd = static_cast<MenuCmd*>(std::calloc(1, sizeof(MenuCmd)));
    copyText(cmd->szName, sizeof cmd->szName, item->GetName());
    copyText(cmd->szUserData, sizeof cmd->szUserData, item->GetUserData());
    copyText(cmd->szText, sizeof cmd->szText, item->GetText());
    cmd->bChecked = item->GetChecked() ? TRUE : FALSE;
    HWND target = m_manager ? m_manager->GetPaintWindow() : nullptr;
    m_popup->close();
    if (!target || !platform::PostMessage(target, WM_MENUCLICK, reinterpret_cast<WPARAM>(cmd), 0))
        std::free(cmd);
}
