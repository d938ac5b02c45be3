#include "ui/Controls.h"

#include "ui/PaintManager.h"
#include "ui/ResourceManager.h"
#include "ui/internal/ControlRelay.h"
#include "ui/internal/Resources.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStyle>
#include <QWidget>

using namespace ui::detail;

namespace {

// Buttons whose checked state only the control changes (group rules, events).
template <class Button> class ManualToggle : public Button {
protected:
    void nextCheckState() override {}
};

bool is(LPCTSTR a, const char* b) { return std::string(a) == b; }

// A one-line label that ends in "…" when its text does not fit, whatever its
// alignment: a right-aligned label would otherwise lose the start of its text.
// Plain text only; rich text (links) is set and shown as it is.
class EndElidedLabel : public QLabel {
public:
    void setFullText(const QString& text)
    {
        m_full = text;
        if (elides())
            showFitting();
        else
            setText(text);
    }
    void setEliding(bool on)
    {
        m_eliding = on;
        if (elides())
            showFitting();
    }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QLabel::resizeEvent(event);
        if (elides())
            showFitting();
    }
    void changeEvent(QEvent* event) override
    {
        QLabel::changeEvent(event);
        if (elides() && (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange))
            showFitting();
    }

private:
    bool elides() const { return m_eliding && textFormat() == Qt::PlainText && !wordWrap(); }
    void showFitting()
    {
        const QString shown = fontMetrics().elidedText(m_full, Qt::ElideRight, contentsRect().width() - 2 * margin());
        if (shown != text())
            setText(shown);
    }

    QString m_full;
    bool m_eliding = false;
};

std::string htmlEscape(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

} // namespace

// ---------------------------------------------------------------- label
LPCTSTR CLabelUI::GetClass() const { return "LabelUI"; }
void* CLabelUI::GetInterface(LPCTSTR pstrName)
{
    return is(pstrName, "Label") ? this : CControlUI::GetInterface(pstrName);
}

QWidget* CLabelUI::CreateWidget()
{
    auto* label = new EndElidedLabel;
    label->setAttribute(Qt::WA_StyledBackground);
    label->setTextFormat(Qt::PlainText);
    label->setEliding(m_endEllipsis);
    return label;
}

void CLabelUI::InitWidget() { ApplyAlignment(); }

void CLabelUI::ApplyAlignment()
{
    auto* label = qobject_cast<QLabel*>(GetWidget());
    if (!label)
        return;
    Qt::Alignment a = Qt::AlignLeft;
    if (m_align == "center")
        a = Qt::AlignHCenter;
    else if (m_align == "right")
        a = Qt::AlignRight;
    if (m_valign == "top")
        a |= Qt::AlignTop;
    else if (m_valign == "bottom")
        a |= Qt::AlignBottom;
    else
        a |= Qt::AlignVCenter;
    label->setAlignment(a);
    label->setWordWrap(m_wordBreak);
}

void CLabelUI::ApplyText()
{
    QWidget* widget = WidgetIfCreated();
    if (auto* eliding = dynamic_cast<EndElidedLabel*>(widget))
        eliding->setFullText(toQString(ResolvedText()));
    else if (auto* label = qobject_cast<QLabel*>(widget))
        label->setText(toQString(ResolvedText()));
}

void CLabelUI::SetTextPadding(RECT rc)
{
    m_textPadding = rc;
    UpdateStyle();
}

std::string CLabelUI::StyleRules(const std::string& sel) const
{
    auto* self = const_cast<CLabelUI*>(this);
    self->m_extraStyle = "padding: " + std::to_string(Scaled(m_textPadding.top)) + "px " +
                         std::to_string(Scaled(m_textPadding.right)) + "px " +
                         std::to_string(Scaled(m_textPadding.bottom)) + "px " +
                         std::to_string(Scaled(m_textPadding.left)) + "px;";
    return CControlUI::StyleRules(sel);
}

void CLabelUI::SetAttribute(const std::string& name, const std::string& value)
{
    int r[4];
    if (name == "align") {
        m_align = value;
        ApplyAlignment();
    } else if (name == "valign") {
        m_valign = value;
        ApplyAlignment();
    } else if (name == "wordbreak" || name == "multiline") {
        m_wordBreak = parseBool(value);
        ApplyAlignment();
    } else if (name == "textpadding" && parseIntList(value, r, 4)) {
        SetTextPadding({r[0], r[1], r[2], r[3]});
    } else if (name == "endellipsis") {
        m_endEllipsis = parseBool(value);
        if (auto* eliding = dynamic_cast<EndElidedLabel*>(WidgetIfCreated()))
            eliding->setEliding(m_endEllipsis);
    } else {
        CControlUI::SetAttribute(name, value);
    }
}

// ---------------------------------------------------------------- text
LPCTSTR CTextUI::GetClass() const { return "TextUI"; }
void* CTextUI::GetInterface(LPCTSTR pstrName) { return is(pstrName, "Text") ? this : CLabelUI::GetInterface(pstrName); }

std::string CTextUI::MarkupToHtml(const std::string& text, DWORD linkColor)
{
    std::string out;
    int link = 0;
    for (size_t i = 0; i < text.size();) {
        auto starts = [&](const char* tag) { return text.compare(i, std::strlen(tag), tag) == 0; };
        if (starts("{a}")) {
            out += "<a href=\"" + std::to_string(link++) + "\" style=\"color:" + toStd(colorCss(linkColor)) + "\">";
            i += 3;
        } else if (starts("{/a}")) {
            out += "</a>";
            i += 4;
        } else if (starts("{b}") || starts("{i}") || starts("{u}")) {
            out += '<';
            out += text[i + 1];
            out += '>';
            i += 3;
        } else if (starts("{/b}") || starts("{/i}") || starts("{/u}")) {
            out += "</" + text.substr(i + 2, 1) + ">";
            i += 4;
        } else if (starts("{n}")) {
            out += "<br>";
            i += 3;
        } else {
            out += htmlEscape(std::string(1, text[i]));
            ++i;
        }
    }
    return out;
}

void CTextUI::InitWidget()
{
    CLabelUI::InitWidget();
    auto* label = static_cast<QLabel*>(GetWidget());
    label->setTextFormat(Qt::RichText);
    label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    label->setOpenExternalLinks(false);
    QObject::connect(label, &QLabel::linkActivated, Relay(),
                     [this](const QString& link) { SendNotify("link", static_cast<WPARAM>(link.toInt())); });
}

void CTextUI::ApplyText()
{
    if (auto* label = qobject_cast<QLabel*>(WidgetIfCreated()))
        label->setText(toQString(MarkupToHtml(ResolvedText(), m_linkColor)));
}

void CTextUI::SetAttribute(const std::string& name, const std::string& value)
{
    if (name == "linkcolor") {
        m_linkColor = parseColor(value);
        ApplyText();
    } else {
        CLabelUI::SetAttribute(name, value);
    }
}

// ---------------------------------------------------------------- button
LPCTSTR CButtonUI::GetClass() const { return "ButtonUI"; }
void* CButtonUI::GetInterface(LPCTSTR pstrName)
{
    return is(pstrName, "Button") ? this : CLabelUI::GetInterface(pstrName);
}

QWidget* CButtonUI::CreateWidget()
{
    auto* button = new QPushButton;
    button->setAutoDefault(false);
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

void CButtonUI::InitWidget()
{
    auto* button = static_cast<QAbstractButton*>(GetWidget());
    QObject::connect(button, &QAbstractButton::clicked, Relay(), [this] { OnClicked(); });
}

void CButtonUI::OnClicked() { SendNotify("click"); }

void CButtonUI::ApplyText()
{
    if (auto* button = qobject_cast<QAbstractButton*>(WidgetIfCreated()))
        button->setText(toQString(ResolvedText()));
}

void CButtonUI::SetNormalImage(const std::string& image)
{
    m_normalImage = image;
    UpdateStyle();
}
void CButtonUI::SetHotImage(const std::string& image)
{
    m_hotImage = image;
    UpdateStyle();
}
void CButtonUI::SetPushedImage(const std::string& image)
{
    m_pushedImage = image;
    UpdateStyle();
}
void CButtonUI::SetDisabledImage(const std::string& image)
{
    m_disabledImage = image;
    UpdateStyle();
}

std::string CButtonUI::StyleRules(const std::string& sel) const
{
    std::string rules = CLabelUI::StyleRules(sel);
    const bool plain = m_normalImage.empty() && m_bkImage.empty() && m_bkColor == 0;
    if (!plain && ButtonSelector() == "QPushButton")
        rules += sel + " { border: none; }";
    auto state = [&](const char* pseudo, const std::string& image, DWORD color) {
        std::string body = ImageRule(image);
        if (color)
            body += "color: " + toStd(colorCss(color)) + ";";
        if (!body.empty())
            rules += sel + pseudo + " {" + body + "}";
    };
    if (!ImagesOnIndicator())
        state("", m_normalImage, 0);
    state(":hover", m_hotImage, m_hotTextColor);
    state(":focus", m_focusedImage, 0);
    state(":pressed", m_pushedImage, m_pushedTextColor);
    state(":disabled", m_disabledImage, m_disabledTextColor);
    return rules;
}

void CButtonUI::SetAttribute(const std::string& name, const std::string& value)
{
    if (name == "normalimage")
        SetNormalImage(value);
    else if (name == "hotimage")
        SetHotImage(value);
    else if (name == "pushedimage")
        SetPushedImage(value);
    else if (name == "disabledimage")
        SetDisabledImage(value);
    else if (name == "focusedimage") {
        m_focusedImage = value;
        UpdateStyle();
    } else if (name == "hottextcolor") {
        m_hotTextColor = parseColor(value);
        UpdateStyle();
    } else if (name == "pushedtextcolor") {
        m_pushedTextColor = parseColor(value);
        UpdateStyle();
    } else
        CLabelUI::SetAttribute(name, value);
}

// ---------------------------------------------------------------- option
COptionUI::~COptionUI()
{
    if (m_manager)
        m_manager->UnregisterOption(this);
}

LPCTSTR COptionUI::GetClass() const { return "OptionUI"; }
void* COptionUI::GetInterface(LPCTSTR pstrName)
{
    return is(pstrName, "Option") ? this : CButtonUI::GetInterface(pstrName);
}

void COptionUI::SetKind(const std::string& kind)
{
    // The widget class follows the kind, so it must be known before the
    // widget is made (layouts give it as an attribute, which comes first).
    if (!WidgetIfCreated())
        m_kind = kind;
}

std::string COptionUI::ButtonSelector() const
{
    return m_kind == "check" ? "QCheckBox" : m_kind == "radio" ? "QRadioButton" : "QPushButton";
}

QWidget* COptionUI::CreateWidget()
{
    QAbstractButton* button;
    if (m_kind == "check")
        button = new ManualToggle<QCheckBox>;
    else if (m_kind == "radio")
        button = new ManualToggle<QRadioButton>;
    else
        button = new ManualToggle<QPushButton>;
    button->setCheckable(true);
    button->setAutoExclusive(false);
    button->setFocusPolicy(Qt::TabFocus);
    if (auto* push = qobject_cast<QPushButton*>(button))
        push->setAutoDefault(false);
    return button;
}

void COptionUI::InitWidget()
{
    CButtonUI::InitWidget();
    static_cast<QAbstractButton*>(GetWidget())->setChecked(m_selected);
}

void COptionUI::OnClicked()
{
    SendNotify("click");
    if (!m_group.empty())
        Selected(true);
    else
        Selected(!m_selected);
}

void COptionUI::Selected(bool bSelected, bool bTriggerEvent)
{
    if (m_selected == bSelected)
        return;
    m_selected = bSelected;
    if (auto* button = qobject_cast<QAbstractButton*>(WidgetIfCreated()))
        button->setChecked(bSelected);
    if (bSelected && !m_group.empty() && m_manager) {
        for (COptionUI* other : m_manager->GetOptionGroup(m_group))
            if (other != this && other->IsSelected())
                other->Selected(false, bTriggerEvent);
    }
    if (bTriggerEvent)
        SendNotify("selectchanged");
}

void COptionUI::SetGroup(const std::string& group)
{
    if (m_manager)
        m_manager->UnregisterOption(this);
    m_group = group;
    if (m_manager && !m_group.empty())
        m_manager->RegisterOption(this);
}

void COptionUI::SetManager(CPaintManagerUI* manager, CControlUI* parent)
{
    if (m_manager && m_manager != manager)
        m_manager->UnregisterOption(this);
    CButtonUI::SetManager(manager, parent);
    if (m_manager && !m_group.empty())
        m_manager->RegisterOption(this);
}

void COptionUI::SetSelectedImage(const std::string& image)
{
    m_selectedImage = image;
    UpdateStyle();
}

std::string COptionUI::StyleRules(const std::string& sel) const
{
    std::string rules = CButtonUI::StyleRules(sel);
    const bool indicator = m_kind != "toggle";
    const std::string target = indicator ? sel + "::indicator" : sel;
    auto state = [&](const std::string& pseudo, const std::string& image, DWORD text, DWORD bk) {
        std::string body = ImageRule(image);
        if (bk)
            body += "background-color: " + toStd(colorCss(bk)) + ";";
        if (!body.empty())
            rules += target + pseudo + " {" + body + "}";
        if (text)
            rules += sel + pseudo + " { color: " + toStd(colorCss(text)) + "; }";
    };
    if (indicator && !m_normalImage.empty())
        state(":unchecked", m_normalImage, 0, 0);
    state(":checked", m_selectedImage, m_selectedTextColor, m_selectedBkColor);
    state(":checked:hover", m_selectedHotImage, 0, 0);
    state(":checked:disabled", m_selectedDisabledImage, 0, 0);
    return rules;
}

void COptionUI::SetAttribute(const std::string& name, const std::string& value)
{
    if (name == "group")
        SetGroup(value);
    else if (name == "selected")
        Selected(parseBool(value), false);
    else if (name == "kind")
        SetKind(value);
    else if (name == "selectedimage")
        SetSelectedImage(value);
    else if (name == "selectedhotimage") {
        m_selectedHotImage = value;
        UpdateStyle();
    } else if (name == "selecteddisabledimage") {
        m_selectedDisabledImage = value;
        UpdateStyle();
    } else if (name == "selectedtextcolor") {
        m_selectedTextColor = parseColor(value);
        UpdateStyle();
    } else if (name == "selectedbkcolor") {
        m_selectedBkColor = parseColor(value);
        UpdateStyle();
    } else
        CButtonUI::SetAttribute(name, value);
}

CCheckBoxUI::CCheckBoxUI() { m_kind = "check"; }
LPCTSTR CCheckBoxUI::GetClass() const { return "CheckBoxUI"; }
void* CCheckBoxUI::GetInterface(LPCTSTR pstrName)
{
    return is(pstrName, "CheckBox") ? this : COptionUI::GetInterface(pstrName);
}

// ---------------------------------------------------------------- slider
LPCTSTR CSliderUI::GetClass() const { return "SliderUI"; }
void* CSliderUI::GetInterface(LPCTSTR pstrName)
{
    return is(pstrName, "Slider") ? this : CControlUI::GetInterface(pstrName);
}

QWidget* CSliderUI::CreateWidget()
{
    m_bkImageOnWidget = false;
    auto* slider = new QSlider(m_vertical ? Qt::Vertical : Qt::Horizontal);
    slider->setAttribute(Qt::WA_StyledBackground);
    slider->setFocusPolicy(Qt::TabFocus);
    return slider;
}

void CSliderUI::InitWidget()
{
    auto* slider = static_cast<QSlider*>(GetWidget());
    Push();
    QObject::connect(slider, &QSlider::valueChanged, Relay(), [this, slider](int value) {
        if (m_quiet)
            return;
        m_value = value;
        // Dragging reports every position; other changes (track clicks,
        // keys, wheel) are final at once.
        SendNotify(slider->isSliderDown() ? "movevaluechanged" : "valuechanged");
    });
    QObject::connect(slider, &QSlider::sliderReleased, Relay(), [this, slider] {
        m_value = slider->value();
        SendNotify("valuechanged");
    });
}

void CSliderUI::Push()
{
    auto* slider = qobject_cast<QSlider*>(WidgetIfCreated());
    if (!slider)
        return;
    m_quiet = true;
    slider->setRange(m_min, m_max);
    slider->setSingleStep(m_step);
    slider->setPageStep(std::max(m_step, (m_max - m_min) / 10));
    slider->setValue(m_value);
    m_value = slider->value();
    m_quiet = false;
}

void CSliderUI::SetMinValue(int value)
{
    m_min = value;
    if (m_max < m_min)
        m_max = m_min;
    m_value = std::clamp(m_value, m_min, m_max);
    Push();
}

void CSliderUI::SetMaxValue(int value)
{
    m_max = value;
    if (m_min > m_max)
        m_min = m_max;
    m_value = std::clamp(m_value, m_min, m_max);
    Push();
}

void CSliderUI::SetValue(int value)
{
    m_value = std::clamp(value, m_min, m_max);
    Push();
}

void CSliderUI::SetChangeStep(int step)
{
    m_step = std::max(1, step);
    Push();
}

std::string CSliderUI::StyleRules(const std::string& sel) const
{
    std::string rules = CControlUI::StyleRules(sel);
    const char* orient = m_vertical ? "vertical" : "horizontal";
    // The background image is the track, as thick as the image; the thumb
    // reaches over it.
    int thickness = 0;
    if (!m_bkImage.empty()) {
        ImageAttribute image;
        thickness = 6;
        if (parseImageAttribute(m_bkImage, image)) {
            const QPixmap track = skinPixmap(image.file);
            if (!track.isNull())
                thickness = m_vertical ? track.width() : track.height();
        }
        rules += sel + "::groove:" + orient + " {" + ImageRule(m_bkImage) + (m_vertical ? "width: " : "height: ") +
                 std::to_string(Scaled(thickness)) + "px; }";
    }
    if (!m_thumbImage.empty()) {
        const int across = m_vertical ? m_thumbSize.cx : m_thumbSize.cy;
        const int overhang = thickness > 0 ? std::max(0, Scaled(across) - Scaled(thickness)) / 2 : 0;
        const std::string margin = m_vertical ? "margin: 0 -" + std::to_string(overhang) + "px;"
                                              : "margin: -" + std::to_string(overhang) + "px 0;";
        const std::string size = "width: " + std::to_string(Scaled(m_thumbSize.cx)) +
                                 "px; height: " + std::to_string(Scaled(m_thumbSize.cy)) + "px;";
        rules += sel + "::handle:" + orient + " {" + ImageRule(m_thumbImage) + size + margin + "}";
        if (!m_thumbHotImage.empty())
            rules += sel + "::handle:" + orient + ":hover {" + ImageRule(m_thumbHotImage) + "}";
        if (!m_thumbPushedImage.empty())
            rules += sel + "::handle:" + orient + ":pressed {" + ImageRule(m_thumbPushedImage) + "}";
        // Last, so a disabled slider never looks as if it could be moved.
        if (!m_thumbDisabledImage.empty())
            rules += sel + "::handle:" + orient + ":disabled {" + ImageRule(m_thumbDisabledImage) + "}";
    }
    return rules;
}

void CSliderUI::SetAttribute(const std::string& name, const std::string& value)
{
    int r[2];
    if (name == "min")
        SetMinValue(parseInt(value));
    else if (name == "max")
        SetMaxValue(parseInt(value));
    else if (name == "value")
        SetValue(parseInt(value));
    else if (name == "step")
        SetChangeStep(parseInt(value, 1));
    else if (name == "vertical") {
        if (!WidgetIfCreated())
            m_vertical = parseBool(value);
    } else if (name == "thumbimage") {
        m_thumbImage = value;
        UpdateStyle();
    } else if (name == "thumbhotimage") {
        m_thumbHotImage = value;
        UpdateStyle();
    } else if (name == "thumbpushedimage") {
        m_thumbPushedImage = value;
        UpdateStyle();
    } else if (name == "thumbdisabledimage") {
        m_thumbDisabledImage = value;
        UpdateStyle();
    } else if (name == "thumbsize" && parseIntList(value, r, 2)) {
        m_thumbSize = {r[0], r[1]};
        UpdateStyle();
    } else
        CControlUI::SetAttribute(name, value);
}

// ---------------------------------------------------------------- edit
LPCTSTR CEditUI::GetClass() const { return "EditUI"; }
void* CEditUI::GetInterface(LPCTSTR pstrName) { return is(pstrName, "Edit") ? this : CLabelUI::GetInterface(pstrName); }

QWidget* CEditUI::CreateWidget()
{
    auto* edit = new QLineEdit;
    edit->setAttribute(Qt::WA_StyledBackground);
    return edit;
}

void CEditUI::InitWidget()
{
    auto* edit = static_cast<QLineEdit*>(GetWidget());
    edit->setMaxLength(m_maxChar);
    edit->setReadOnly(m_readOnly);
    edit->setEchoMode(m_password ? QLineEdit::Password : QLineEdit::Normal);
    QObject::connect(edit, &QLineEdit::textEdited, Relay(), [this](const QString& text) {
        m_text = toStd(text);
        SendNotify("textchanged");
    });
}

std::string CEditUI::GetText() const
{
    if (auto* edit = qobject_cast<QLineEdit*>(const_cast<CEditUI*>(this)->WidgetIfCreated()))
        return toStd(edit->text());
    return m_text;
}

void CEditUI::SetText(const std::string& text)
{
    m_text = text;
    ApplyText();
}

void CEditUI::ApplyText()
{
    auto* edit = qobject_cast<QLineEdit*>(WidgetIfCreated());
    if (!edit)
        return;
    std::string shown = ResolvedText();
    if (m_numberOnly) {
        std::string digits;
        for (char c : shown)
            if (c >= '0' && c <= '9')
                digits += c;
        shown = digits;
    }
    edit->setText(toQString(shown));
}

void CEditUI::SetMaxChar(int max)
{
    m_maxChar = max > 0 ? max : 32767;
    if (auto* edit = qobject_cast<QLineEdit*>(WidgetIfCreated()))
        edit->setMaxLength(m_maxChar);
}

void CEditUI::SetReadOnly(bool readOnly)
{
    m_readOnly = readOnly;
    if (auto* edit = qobject_cast<QLineEdit*>(WidgetIfCreated()))
        edit->setReadOnly(readOnly);
}

std::string CEditUI::StyleRules(const std::string& sel) const
{
    std::string rules = CLabelUI::StyleRules(sel);
    if (m_readOnly)
        rules += sel + ":read-only { color: #606060; }";
    return rules;
}

void CEditUI::SetAttribute(const std::string& name, const std::string& value)
{
    if (name == "maxchar")
        SetMaxChar(parseInt(value));
    else if (name == "readonly")
        SetReadOnly(parseBool(value));
    else if (name == "password") {
        m_password = parseBool(value);
        if (auto* edit = qobject_cast<QLineEdit*>(WidgetIfCreated()))
            edit->setEchoMode(m_password ? QLineEdit::Password : QLineEdit::Normal);
    } else if (name == "numberonly") {
        m_numberOnly = parseBool(value);
        if (auto* edit = qobject_cast<QLineEdit*>(GetWidget()))
            edit->setInputMask(QString());
        if (m_numberOnly)
            if (auto* edit = qobject_cast<QLineEdit*>(GetWidget()))
                edit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), edit));
    } else
        CLabelUI::SetAttribute(name, value);
}

// ---------------------------------------------------------------- combo entry
LPCTSTR CListLabelElementUI::GetClass() const { return "ListLabelElementUI"; }
void* CListLabelElementUI::GetInterface(LPCTSTR pstrName)
{
    return is(pstrName, "ListLabelElement") ? this : CControlUI::GetInterface(pstrName);
}

void CListLabelElementUI::SetText(const std::string& text)
{
    CControlUI::SetText(text);
    if (auto* combo = dynamic_cast<CComboUI*>(m_parent))
        combo->ItemChanged(this);
}

void CListLabelElementUI::ReloadText()
{
    if (auto* combo = dynamic_cast<CComboUI*>(m_parent))
        combo->ItemChanged(this);
}

void CListLabelElementUI::SetAttribute(const std::string& name, const std::string& value)
{
    int r[4];
    if (name == "textpadding" && parseIntList(value, r, 4))
        SetTextPadding({r[0], r[1], r[2], r[3]});
    else
        CControlUI::SetAttribute(name, value);
    if (name == "textid" || name == "resourcetext")
        ReloadText();
}

// ---------------------------------------------------------------- combo
LPCTSTR CComboUI::GetClass() const { return "ComboUI"; }
void* CComboUI::GetInterface(LPCTSTR pstrName)
{
    return is(pstrName, "Combo") ? this : CContainerUI::GetInterface(pstrName);
}

QWidget* CComboUI::CreateWidget()
{
    auto* combo = new QComboBox;
    combo->setAttribute(Qt::WA_StyledBackground);
    combo->setFocusPolicy(Qt::TabFocus);
    return combo;
}

void CComboUI::InitWidget()
{
    auto* combo = static_cast<QComboBox*>(GetWidget());
    combo->setPlaceholderText(toQString(m_placeholder));
    QObject::connect(combo, &QComboBox::currentIndexChanged, Relay(), [this](int index) {
        if (m_quiet || index == m_curSel)
            return;
        const int previous = m_curSel;
        m_curSel = index;
        UpdateStyle();
        SendNotify("itemselect", static_cast<WPARAM>(index), previous);
    });
}

void CComboUI::SetPlaceholderText(const std::string& text)
{
    m_placeholder = text;
    if (auto* combo = qobject_cast<QComboBox*>(WidgetIfCreated()))
        combo->setPlaceholderText(toQString(text));
}

void CComboUI::SetAttribute(const std::string& name, const std::string& value)
{
    if (name == "placeholder")
        SetPlaceholderText(value);
    else
        CContainerUI::SetAttribute(name, value);
}

bool CComboUI::Add(CControlUI* pControl) { return AddAt(pControl, GetCount()); }

bool CComboUI::AddAt(CControlUI* pControl, int iIndex)
{
    if (!pControl || !pControl->GetInterface("ListLabelElement"))
        return false;
    const bool added = CContainerUI::AddAt(pControl, iIndex);
    if (added && m_curSel >= iIndex)
        ++m_curSel;
    return added;
}

bool CComboUI::Remove(CControlUI* pControl) { return CContainerUI::Remove(pControl); }

bool CComboUI::RemoveAt(int iIndex)
{
    if (!CContainerUI::RemoveAt(iIndex))
        return false;
    if (m_curSel == iIndex)
        m_curSel = -1;
    else if (m_curSel > iIndex)
        --m_curSel;
    RefillWidget();
    return true;
}

void CComboUI::RemoveAll()
{
    m_quiet = true;
    // Item by item without refilling the widget each time: a refill restyles
    // the combo, and a reconnect empties several combos of several items.
    while (GetCount() > 0)
        CContainerUI::RemoveAt(GetCount() - 1);
    m_curSel = -1;
    RefillWidget();
    m_quiet = false;
}

void CComboUI::InsertChildWidget(CControlUI* child, int index)
{
    auto* combo = static_cast<QComboBox*>(GetWidget());
    m_quiet = true;
    combo->insertItem(index, toQString(child->GetText()));
    combo->setCurrentIndex(m_curSel);
    m_quiet = false;
}

void CComboUI::RemoveChildWidget(CControlUI*) {}

void CComboUI::RefillWidget()
{
    auto* combo = qobject_cast<QComboBox*>(WidgetIfCreated());
    if (!combo)
        return;
    m_quiet = true;
    combo->clear();
    for (CControlUI* item : m_items)
        combo->addItem(toQString(item->GetText()));
    combo->setCurrentIndex(m_curSel);
    m_quiet = false;
    UpdateStyle();
}

void CComboUI::ItemChanged(CListLabelElementUI* item)
{
    const int index = GetItemIndex(item);
    if (auto* combo = qobject_cast<QComboBox*>(WidgetIfCreated()); combo && index >= 0)
        combo->setItemText(index, toQString(item->GetText()));
}

void CComboUI::ReloadText()
{
    CControlUI::ReloadText();
    for (CControlUI* item : m_items)
        item->ReloadText();
}

bool CComboUI::SelectItem(int iIndex, bool bTakeFocus, bool bTriggerEvent)
{
    if (iIndex < 0 || iIndex >= GetCount())
        return false;
    if (bTakeFocus)
        SetFocus();
    if (iIndex == m_curSel)
        return true;
    const int previous = m_curSel;
    m_curSel = iIndex;
    m_quiet = true;
    static_cast<QComboBox*>(GetWidget())->setCurrentIndex(iIndex);
    m_quiet = false;
    UpdateStyle();
    if (bTriggerEvent)
        SendNotify("itemselect", static_cast<WPARAM>(iIndex), previous);
    return true;
}

CListLabelElementUI* CComboUI::AddString(const std::string& text, const std::string& userData, bool resourceText)
{
    auto* item = new CListLabelElementUI;
    item->SetResourceText(resourceText);
    item->SetText(text);
    item->SetUserData(userData);
    Add(item);
    return item;
}

std::string CComboUI::GetText() const
{
    CControlUI* item = GetItemAt(m_curSel);
    return item ? item->GetText() : std::string();
}

std::string CComboUI::StyleRules(const std::string& sel) const
{
    std::string rules = CControlUI::StyleRules(sel);
    // The drop-down list takes the combo's own colours (a dark skin's combo
    // would otherwise open a light list with its light text on it); the
    // entry under the pointer takes the border colour.
    if (m_bkColor && m_textColor) {
        const std::string bk = toStd(colorCss(m_bkColor));
        const std::string text = toStd(colorCss(m_textColor));
        const std::string hot = toStd(colorCss(m_borderColor ? m_borderColor : m_textColor));
        rules += sel + " QAbstractItemView { background-color: " + bk + "; color: " + text +
                 "; selection-background-color: " + hot + "; selection-color: " + text + "; border: 1px solid " + hot +
                 "; outline: 0; }";
        rules += sel + " QAbstractItemView::item { background-color: " + bk + "; color: " + text + "; }";
        rules += sel + " QAbstractItemView::item:selected { background-color: " + hot + "; color: " + text + "; }";
    }
    if (auto* item = dynamic_cast<CListLabelElementUI*>(GetItemAt(m_curSel))) {
        const RECT p = item->GetTextPadding();
        rules += sel + " { padding-left: " + std::to_string(Scaled(p.left)) + "px; }";
    }
    return rules;
}
