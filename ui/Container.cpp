#include "ui/Container.h"

#include "ui/PaintManager.h"
#include "ui/internal/ControlRelay.h"

#include <QBoxLayout>
#include <QScrollArea>
#include <QStackedWidget>
#include <QWidget>

#include <algorithm>

using namespace ui::detail;

CContainerUI::CContainerUI() = default;

CContainerUI::~CContainerUI()
{
    for (CControlUI* child : m_items)
        delete child;
    m_items.clear();
}

LPCTSTR CContainerUI::GetClass() const { return "ContainerUI"; }

void* CContainerUI::GetInterface(LPCTSTR pstrName)
{
    if (std::string(pstrName) == "Container")
        return this;
    return CControlUI::GetInterface(pstrName);
}

bool CContainerUI::Add(CControlUI* pControl) { return AddAt(pControl, GetCount()); }

bool CContainerUI::AddAt(CControlUI* pControl, int iIndex)
{
    if (!pControl || iIndex < 0 || iIndex > GetCount())
        return false;
    GetWidget();
    m_items.insert(m_items.begin() + iIndex, pControl);
    pControl->SetManager(m_manager, this);
    InsertChildWidget(pControl, iIndex);
    return true;
}

bool CContainerUI::Remove(CControlUI* pControl)
{
    const int index = GetItemIndex(pControl);
    return index >= 0 && RemoveAt(index);
}

bool CContainerUI::RemoveAt(int iIndex)
{
    if (iIndex < 0 || iIndex >= GetCount())
        return false;
    CControlUI* child = m_items[static_cast<size_t>(iIndex)];
    m_items.erase(m_items.begin() + iIndex);
    RemoveChildWidget(child);
    delete child;
    return true;
}

void CContainerUI::RemoveAll()
{
    while (!m_items.empty())
        RemoveAt(GetCount() - 1);
}

CControlUI* CContainerUI::GetItemAt(int iIndex) const
{
    return iIndex >= 0 && iIndex < GetCount() ? m_items[static_cast<size_t>(iIndex)] : nullptr;
}

int CContainerUI::GetItemIndex(CControlUI* pControl) const
{
    auto it = std::find(m_items.begin(), m_items.end(), pControl);
    return it == m_items.end() ? -1 : static_cast<int>(it - m_items.begin());
}

void CContainerUI::SetInset(RECT rc)
{
    m_inset = rc;
    ApplyLayoutSpacing();
}

void CContainerUI::SetChildPadding(int padding)
{
    m_childPadding = padding;
    ApplyLayoutSpacing();
}

void CContainerUI::ApplyLayoutSpacing()
{
    if (!m_layout)
        return;
    m_layout->setContentsMargins(Scaled(m_inset.left), Scaled(m_inset.top), Scaled(m_inset.right),
                                 Scaled(m_inset.bottom));
    m_layout->setSpacing(Scaled(m_childPadding));
}

void CContainerUI::SetAttribute(const std::string& name, const std::string& value)
{
    int r[4];
    if (name == "inset" && parseIntList(value, r, 4))
        SetInset({r[0], r[1], r[2], r[3]});
    else if (name == "childpadding")
        SetChildPadding(parseInt(value));
    else if (name == "vscrollbar")
        m_verticalScroll = value == "true";
    else
        CControlUI::SetAttribute(name, value);
}

void CContainerUI::SetManager(CPaintManagerUI* manager, CControlUI* parent)
{
    CControlUI::SetManager(manager, parent);
    ApplyLayoutSpacing();
    for (CControlUI* child : m_items)
        child->SetManager(manager, this);
}

CControlUI* CContainerUI::FindSubControl(const std::string& name)
{
    if (CControlUI* self = CControlUI::FindSubControl(name))
        return self;
    for (CControlUI* child : m_items)
        if (CControlUI* found = child->FindSubControl(name))
            return found;
    return nullptr;
}

void CContainerUI::ReloadText()
{
    CControlUI::ReloadText();
    for (CControlUI* child : m_items)
        child->ReloadText();
}

void CContainerUI::ApplyScale()
{
    CControlUI::ApplyScale();
    ApplyLayoutSpacing();
    for (CControlUI* child : m_items)
        child->ApplyScale();
}

QWidget* CContainerUI::CreateWidget()
{
    if (m_verticalScroll) {
        // The children live on a body as tall as they need; the area shows
        // what fits and a scroll bar for the rest.
        auto* area = new QScrollArea;
        area->setAttribute(Qt::WA_StyledBackground);
        area->setFrameShape(QFrame::NoFrame);
        area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        area->setWidgetResizable(true);
        auto* body = new QWidget;
        body->setAutoFillBackground(false);
        area->setWidget(body);
        area->viewport()->setAutoFillBackground(false);
        return area;
    }
    auto* w = new QWidget;
    w->setAttribute(Qt::WA_StyledBackground);
    return w;
}

void CContainerUI::InitWidget()
{
    QWidget* host = GetWidget();
    if (auto* area = qobject_cast<QScrollArea*>(host))
        host = area->widget();
    m_layout = new QBoxLayout(Horizontal() ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom, host);
    ApplyLayoutSpacing();
}

std::string CContainerUI::StyleRules(const std::string& sel) const
{
    std::string rules = CControlUI::StyleRules(sel);
    if (m_verticalScroll) {
        const int width = Scaled(8);
        rules += sel + " > QWidget > QWidget { background: transparent; }";
        rules += sel + " QScrollBar:vertical { background: transparent; border: none; margin: 0; width: " +
                 std::to_string(width) + "px; }";
        rules += sel + " QScrollBar::handle:vertical { background: rgba(174,184,194,110); border-radius: " +
                 std::to_string(width / 2 - 1) + "px; margin: 1px; min-height: 24px; }";
        rules += sel + " QScrollBar::add-line, " + sel + " QScrollBar::sub-line { height: 0; border: none; }";
        rules += sel + " QScrollBar::add-page, " + sel + " QScrollBar::sub-page { background: none; }";
    }
    return rules;
}

void CContainerUI::InsertChildWidget(CControlUI* child, int index)
{
    QWidget* w = child->GetWidget();
    if (!w || !m_layout)
        return;
    const bool fixedAlong = Horizontal() ? child->GetFixedWidth() > 0 : child->GetFixedHeight() > 0;
    m_layout->insertWidget(index, w, fixedAlong ? 0 : 1);
    w->setVisible(child->IsVisible());
}

void CContainerUI::RemoveChildWidget(CControlUI* child)
{
    if (QWidget* w = child->GetWidget(); w && m_layout)
        m_layout->removeWidget(w);
}

LPCTSTR CVerticalLayoutUI::GetClass() const { return "VerticalLayoutUI"; }
void* CVerticalLayoutUI::GetInterface(LPCTSTR pstrName)
{
    return std::string(pstrName) == "VerticalLayout" ? this : CContainerUI::GetInterface(pstrName);
}

LPCTSTR CHorizontalLayoutUI::GetClass() const { return "HorizontalLayoutUI"; }
void* CHorizontalLayoutUI::GetInterface(LPCTSTR pstrName)
{
    return std::string(pstrName) == "HorizontalLayout" ? this : CContainerUI::GetInterface(pstrName);
}

LPCTSTR CTabLayoutUI::GetClass() const { return "TabLayoutUI"; }
void* CTabLayoutUI::GetInterface(LPCTSTR pstrName)
{
    return std::string(pstrName) == "TabLayout" ? this : CContainerUI::GetInterface(pstrName);
}

QWidget* CTabLayoutUI::CreateWidget()
{
    auto* w = new QStackedWidget;
    w->setAttribute(Qt::WA_StyledBackground);
    return w;
}

void CTabLayoutUI::InitWidget() {}

void CTabLayoutUI::InsertChildWidget(CControlUI* child, int index)
{
    auto* stack = static_cast<QStackedWidget*>(GetWidget());
    if (QWidget* w = child->GetWidget())
        stack->insertWidget(index, w);
    if (m_curSel >= 0 && m_curSel < GetCount())
        stack->setCurrentIndex(m_curSel);
}

void CTabLayoutUI::RemoveChildWidget(CControlUI* child)
{
    auto* stack = static_cast<QStackedWidget*>(GetWidget());
    if (QWidget* w = child->GetWidget())
        stack->removeWidget(w);
}

bool CTabLayoutUI::SelectItem(int iIndex)
{
    if (iIndex < 0 || iIndex >= GetCount())
        return false;
    m_curSel = iIndex;
    static_cast<QStackedWidget*>(GetWidget())->setCurrentIndex(iIndex);
    return true;
}

void CTabLayoutUI::SetAttribute(const std::string& name, const std::string& value)
{
    if (name == "selectedid") {
        m_curSel = parseInt(value);
        SelectItem(m_curSel);
    } else {
        CContainerUI::SetAttribute(name, value);
    }
}
