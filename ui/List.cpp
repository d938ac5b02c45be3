#include "ui/List.h"

#include "ui/PaintManager.h"
#include "ui/ResourceManager.h"
#include "ui/internal/ControlRelay.h"
#include "ui/internal/Resources.h"

#include <QBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QWidget>

#include <functional>

using namespace ui::detail;

namespace {
bool is(LPCTSTR a, const char* b) { return std::string(a) == b; }

QColor qcolor(DWORD argb) { return QColor::fromRgba(argb); }

// Reports clicks on a row to its list.
class RowClickFilter : public QObject {
public:
    RowClickFilter(CListUI* list, CListElementUI* row, QObject* parent) : QObject(parent), m_list(list), m_row(row) {}
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonPress && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            m_list->RowClicked(m_row->GetIndex());
        return false;
    }

private:
    CListUI* m_list;
    CListElementUI* m_row;
};

// Calls back when the watched widget changes size.
class ResizeWatcher : public QObject {
public:
    ResizeWatcher(QWidget* watched, std::function<void()> resized) : QObject(watched), m_resized(std::move(resized))
    {
        watched->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Resize)
            m_resized();
        return false;
    }

private:
    std::function<void()> m_resized;
};
} // namespace

// Draws a text row from the list's callback.
class ListTextRowWidget : public QWidget {
public:
    explicit ListTextRowWidget(CListTextElementUI* row) : m_row(row) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        CListUI* list = m_row->GetOwnerList();
        if (!list)
            return;
        const DWORD bk = m_row->IsSelected() ? list->GetSelectedBkColor() : list->GetItemBkColor();
        if (bk)
            painter.fillRect(rect(), qcolor(bk));
        painter.setPen(qcolor(list->GetItemTextColor()));
        int x = 0;
        const int columns = std::max(1, list->GetColumnCount());
        for (int c = 0; c < columns; ++c) {
            const int w = list->GetColumnCount() ? list->GetColumnWidth(c) : width();
            const QRect cell(x + 4, 0, std::max(0, w - 8), height());
            const QString text = toQString(m_row->GetText(c));
            painter.drawText(cell, Qt::AlignVCenter | Qt::AlignLeft,
                             painter.fontMetrics().elidedText(text, Qt::ElideRight, cell.width()));
            x += w;
        }
    }

private:
    CListTextElementUI* m_row;
};

// ---------------------------------------------------------------- text row
LPCTSTR CListTextElementUI::GetClass() const { return "ListTextElementUI"; }
void* CListTextElementUI::GetInterface(LPCTSTR pstrName)
{
    if (is(pstrName, "ListTextElement") || is(pstrName, "ListElement"))
        return this;
    return CControlUI::GetInterface(pstrName);
}

QWidget* CListTextElementUI::CreateWidget() { return new ListTextRowWidget(this); }

void CListTextElementUI::InitWidget() {}

std::string CListTextElementUI::GetText(int iIndex) const
{
    if (m_list && m_list->GetTextCallback()) {
        LPCTSTR text = m_list->GetTextCallback()->GetItemText(const_cast<CListTextElementUI*>(this), m_index, iIndex);
        return text ? text : "";
    }
    return iIndex >= 0 && iIndex < static_cast<int>(m_cells.size()) ? m_cells[static_cast<size_t>(iIndex)] : "";
}

void CListTextElementUI::SetText(int iIndex, const std::string& text)
{
    if (iIndex < 0)
        return;
    if (static_cast<int>(m_cells.size()) <= iIndex)
        m_cells.resize(static_cast<size_t>(iIndex) + 1);
    m_cells[static_cast<size_t>(iIndex)] = text;
    Invalidate();
}

void CListTextElementUI::SetListState(CListUI* list, int index, bool selected)
{
    m_list = list;
    m_index = index;
    m_selected = selected;
    Invalidate();
}

// ---------------------------------------------------------------- container row
LPCTSTR CListContainerElementUI::GetClass() const { return "ListContainerElementUI"; }
void* CListContainerElementUI::GetInterface(LPCTSTR pstrName)
{
    if (is(pstrName, "ListContainerElement") || is(pstrName, "ListElement"))
        return this;
    return CHorizontalLayoutUI::GetInterface(pstrName);
}

void CListContainerElementUI::InitWidget() { CHorizontalLayoutUI::InitWidget(); }

std::string CListContainerElementUI::StyleRules(const std::string& sel) const
{
    std::string rules = CHorizontalLayoutUI::StyleRules(sel);
    if (m_selected && m_list && m_bkColor == 0)
        rules += sel + " { background-color: " + toStd(colorCss(m_list->GetSelectedBkColor())) + "; }";
    return rules;
}

void CListContainerElementUI::SetListState(CListUI* list, int index, bool selected)
{
    const bool changed = selected != m_selected;
    m_list = list;
    m_index = index;
    m_selected = selected;
    if (changed)
        UpdateStyle();
}

// ---------------------------------------------------------------- list
LPCTSTR CListUI::GetClass() const { return "ListUI"; }
void* CListUI::GetInterface(LPCTSTR pstrName)
{
    return is(pstrName, "List") ? this : CContainerUI::GetInterface(pstrName);
}

QWidget* CListUI::CreateWidget()
{
    auto* w = new QWidget;
    w->setAttribute(Qt::WA_StyledBackground);
    return w;
}

void CListUI::InitWidget()
{
    QWidget* w = GetWidget();
    auto* outer = new QVBoxLayout(w);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    // The header is no part of a layout: it keeps the columns' widths and
    // moves sideways with the rows.
    m_headerStrip = new QWidget(w);
    outer->addWidget(m_headerStrip);
    m_header = new QWidget(m_headerStrip);
    m_header->setObjectName("listHeader");
    m_header->setAttribute(Qt::WA_StyledBackground);
    new QHBoxLayout(m_header);
    new ResizeWatcher(m_headerStrip, [this] { PlaceHeader(); });
    m_scroll = new QScrollArea(w);
    QObject::connect(m_scroll->horizontalScrollBar(), &QScrollBar::valueChanged, m_header, [this] { PlaceHeader(); });
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_body = new QWidget;
    m_body->setObjectName("listBody");
    auto* rows = new QVBoxLayout(m_body);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(0);
    rows->addStretch(1);
    m_scroll->setWidget(m_body);
    // The list's own background (bkcolor) shows through the scrolled rows.
    m_scroll->setStyleSheet("QScrollArea, #listBody { background: transparent; }");
    m_scroll->viewport()->setAutoFillBackground(false);
    outer->addWidget(m_scroll, 1);
    m_layout = nullptr;
    ApplyChromeStyle();
    RebuildHeader();
}

void CListUI::ApplyChromeStyle()
{
    if (!m_header || !m_scroll)
        return;
    m_header->setStyleSheet(
        QStringLiteral("#listHeader { background-color: %1; border-bottom: 1px solid %2; }"
                       "#listHeader QLabel { color: %3; background: transparent; }")
            .arg(colorCss(m_headerBkColor), colorCss(m_headerBorderColor), colorCss(m_headerTextColor)));
    // Flat bars in the skin's colours; the arrows are left out, as on the
    // rest of the window's controls.
    const int thickness = Scaled(10);
    const QString bars =
        QStringLiteral("QScrollBar { background: %1; border: none; margin: 0; }"
                       "QScrollBar:horizontal { height: %4px; } QScrollBar:vertical { width: %4px; }"
                       "QScrollBar::handle { background: %2; border-radius: %5px; margin: 2px; }"
                       "QScrollBar::handle:hover, QScrollBar::handle:pressed { background: %3; }"
                       "QScrollBar::handle:horizontal { min-width: 24px; }"
                       "QScrollBar::handle:vertical { min-height: 24px; }"
                       "QScrollBar::add-line, QScrollBar::sub-line { width: 0; height: 0; border: none; }"
                       "QScrollBar::add-page, QScrollBar::sub-page { background: none; }")
            .arg(colorCss(m_scrollBkColor), colorCss(m_scrollThumbColor), colorCss(m_scrollThumbHotColor))
            .arg(thickness)
            .arg(thickness / 2 - 2);
    m_scroll->horizontalScrollBar()->setStyleSheet(bars);
    m_scroll->verticalScrollBar()->setStyleSheet(bars);
}

void CListUI::RebuildHeader()
{
    if (!m_header)
        return;
    auto* layout = static_cast<QHBoxLayout*>(m_header->layout());
    while (QLayoutItem* item = layout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    int total = 0;
    for (size_t c = 0; c < m_columns.size(); ++c) {
        const Column& col = m_columns[c];
        auto* label =
            new QLabel(toQString(col.resourceText ? CResourceManager::GetInstance()->GetTextOrId(col.text) : col.text));
        label->setFixedWidth(GetColumnWidth(static_cast<int>(c)));
        label->setContentsMargins(4, 0, 4, 0);
        // The header's style sheet keeps its labels from following the
        // list's font, so they are given it, scaled as the rows are.
        label->setFont(GetWidget()->font());
        layout->addWidget(label);
        total += GetColumnWidth(static_cast<int>(c));
    }
    layout->addStretch(1);
    m_columnsWidth = total;
    m_headerStrip->setFixedHeight(Scaled(m_itemHeight));
    m_headerStrip->setVisible(m_showHeader && !m_columns.empty());
    if (m_body)
        m_body->setMinimumWidth(total);
    PlaceHeader();
}

void CListUI::PlaceHeader()
{
    if (!m_header || !m_headerStrip || !m_scroll)
        return;
    const int shift = m_scroll->horizontalScrollBar()->value();
    m_header->setGeometry(-shift, 0, std::max(m_columnsWidth, m_headerStrip->width() + shift), m_headerStrip->height());
}

void CListUI::SetTextCallback(IListCallbackUI* callback)
{
    m_callback = callback;
    Refresh();
}

bool CListUI::Add(CControlUI* pControl) { return AddAt(pControl, GetCount()); }

bool CListUI::AddAt(CControlUI* pControl, int iIndex)
{
    if (!pControl || !pControl->GetInterface("ListElement"))
        return false;
    if (!CContainerUI::AddAt(pControl, iIndex))
        return false;
    if (m_curSel >= iIndex)
        ++m_curSel;
    Renumber();
    return true;
}

bool CListUI::Remove(CControlUI* pControl)
{
    const int index = GetItemIndex(pControl);
    return index >= 0 && RemoveAt(index);
}

bool CListUI::RemoveAt(int iIndex)
{
    if (!CContainerUI::RemoveAt(iIndex))
        return false;
    if (m_curSel == iIndex)
        m_curSel = -1;
    else if (m_curSel > iIndex)
        --m_curSel;
    Renumber();
    return true;
}

void CListUI::RemoveAll()
{
    CContainerUI::RemoveAll();
    m_curSel = -1;
}

void CListUI::InsertChildWidget(CControlUI* child, int index)
{
    GetWidget();
    QWidget* w = child->GetWidget();
    if (!w)
        return;
    if (child->GetFixedHeight() <= 0)
        w->setFixedHeight(Scaled(m_itemHeight));
    w->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    auto* rows = static_cast<QVBoxLayout*>(m_body->layout());
    rows->insertWidget(index, w);
    w->setVisible(child->IsVisible());
    w->installEventFilter(new RowClickFilter(this, dynamic_cast<CListElementUI*>(child), w));
}

void CListUI::RemoveChildWidget(CControlUI* child)
{
    if (QWidget* w = child->GetWidget(); w && m_body)
        m_body->layout()->removeWidget(w);
}

void CListUI::Renumber()
{
    for (int i = 0; i < GetCount(); ++i)
        if (auto* row = dynamic_cast<CListElementUI*>(GetItemAt(i)))
            row->SetListState(this, i, i == m_curSel);
}

void CListUI::RowClicked(int index) { SelectItem(index, true, true); }

bool CListUI::SelectItem(int iIndex, bool bTakeFocus, bool bTriggerEvent)
{
    if (iIndex < -1 || iIndex >= GetCount())
        return false;
    if (bTakeFocus)
        SetFocus();
    if (iIndex == m_curSel)
        return true;
    const int previous = m_curSel;
    m_curSel = iIndex;
    Renumber();
    if (bTriggerEvent && iIndex >= 0)
        SendNotify("itemselect", static_cast<WPARAM>(iIndex), previous);
    return true;
}

void CListUI::EnsureVisible(int iIndex)
{
    CControlUI* row = GetItemAt(iIndex);
    if (!row || !m_scroll)
        return;
    // Up or down only: a sideways scroll would hide the first columns.
    if (QWidget* w = row->GetWidget()) {
        m_body->layout()->activate();
        QScrollBar* bar = m_scroll->verticalScrollBar();
        const int visible = m_scroll->viewport()->height();
        if (w->y() < bar->value())
            bar->setValue(w->y());
        else if (w->y() + w->height() > bar->value() + visible)
            bar->setValue(w->y() + w->height() - visible);
    }
}

void CListUI::Refresh()
{
    for (CControlUI* row : m_items)
        row->Invalidate();
}

void CListUI::AddColumn(const std::string& text, int width, bool resourceText)
{
    m_columns.push_back({text, width, resourceText});
    RebuildHeader();
}

int CListUI::GetColumnWidth(int column) const
{
    return column >= 0 && column < GetColumnCount() ? Scaled(m_columns[static_cast<size_t>(column)].width) : 0;
}

void CListUI::SetItemHeight(int height)
{
    m_itemHeight = height;
    ApplyScale();
}

void CListUI::SetAttribute(const std::string& name, const std::string& value)
{
    if (name == "itemheight")
        SetItemHeight(parseInt(value, 24));
    else if (name == "header") {
        m_showHeader = parseBool(value);
        RebuildHeader();
    } else if (name == "selectedbkcolor" || name == "itemselectedbkcolor")
        m_selectedBkColor = parseColor(value);
    else if (name == "itembkcolor")
        m_itemBkColor = parseColor(value);
    else if (name == "itemtextcolor")
        m_itemTextColor = parseColor(value);
    else if (DWORD* chrome = name == "headerbkcolor"         ? &m_headerBkColor
                             : name == "headertextcolor"     ? &m_headerTextColor
                             : name == "headerbordercolor"   ? &m_headerBorderColor
                             : name == "scrollbarbkcolor"    ? &m_scrollBkColor
                             : name == "scrollthumbcolor"    ? &m_scrollThumbColor
                             : name == "scrollthumbhotcolor" ? &m_scrollThumbHotColor
                                                             : nullptr) {
        *chrome = parseColor(value);
        ApplyChromeStyle();
    } else
        CContainerUI::SetAttribute(name, value);
}

void CListUI::ReloadText()
{
    CContainerUI::ReloadText();
    RebuildHeader();
    Refresh();
}

void CListUI::ApplyScale()
{
    ApplyChromeStyle();
    CContainerUI::ApplyScale();
    RebuildHeader();
    for (CControlUI* row : m_items)
        if (row->GetFixedHeight() <= 0)
            if (QWidget* w = row->GetWidget())
                w->setFixedHeight(Scaled(m_itemHeight));
}
