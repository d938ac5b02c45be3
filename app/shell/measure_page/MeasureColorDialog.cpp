#include "app/shell/measure_page/MeasureColorDialog.h"

#include "app/measure/SFPrimitiveContainer.h"
#include "ui/Controls.h"
#include "ui/ResourceManager.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace shell {
namespace {

// In the order of the colours' arguments to setColors: line, edge, dimension, text.
constexpr const char* kCombos[4] = {"combo_line_color", "combo_edge_color", "combo_dimension_color",
                                    "combo_text_color"};

constexpr std::uint32_t kPositionColours[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x00FFFF, 0xFF00FF, 0xFFFFFF};

// The item's user data, six hexadecimal digits RRGGBB; 0 for none or malformed.
std::uint32_t SelectedValue(CComboUI* combo)
{
    if (!combo || combo->GetCurSel() < 0)
        return 0;
    CControlUI* item = combo->GetItemAt(combo->GetCurSel());
    if (!item)
        return 0;
    const std::string& data = item->GetUserData();
    std::uint32_t value = 0;
    const auto result = std::from_chars(data.data(), data.data() + data.size(), value, 16);
    if (data.size() != 6 || result.ec != std::errc() || result.ptr != data.data() + data.size())
        return 0;
    return value;
}

// Relative luminance of an RRGGBB colour, 0 (black) … 1 (white).
double Luminance(std::uint32_t rgb)
{
    auto channel = [](std::uint32_t value) {
        const double c = value / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(rgb >> 16 & 0xFF) + 0.7152 * channel(rgb >> 8 & 0xFF) + 0.0722 * channel(rgb & 0xFF);
}

double Contrast(std::uint32_t a, std::uint32_t b)
{
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The colour's name is written in the colour itself; blue or red on the
// box's dark grey cannot be read, so such a colour is lightened (mixed with
// white) just until it reads as well as body text does (contrast 4.5).
std::uint32_t ReadableOn(std::uint32_t rgb, std::uint32_t background)
{
    constexpr double kReadable = 4.5;
    std::uint32_t lifted = rgb;
    for (int step = 1; step <= 20 && Contrast(lifted, background) < kReadable; ++step) {
        auto mix = [&](int shift) {
            const std::uint32_t c = rgb >> shift & 0xFF;
            return (c + (255 - c) * std::uint32_t(step) / 20) << shift;
        };
        lifted = mix(16) | mix(8) | mix(0);
    }
    return lifted;
}

} // namespace

CMeasureColorDialog::CMeasureColorDialog(SFPrimitiveContainer& container)
    : CBaseDialog("xmls\\dialog_measure_colorset.xml"), m_container(container)
{
}

int CMeasureColorDialog::PositionOf(sf::Color color)
{
    if (color.a != 255)
        return 0;
    const std::uint32_t rgb = std::uint32_t(color.r) << 16 | std::uint32_t(color.g) << 8 | color.b;
    for (int i = 0; i < static_cast<int>(std::size(kPositionColours)); ++i)
        if (kPositionColours[i] == rgb)
            return i + 1;
    return 0;
}

void CMeasureColorDialog::OnInitDialog()
{
    if (CControlUI* caption = m_pm.FindControl("caption"))
        caption->SetText(CResourceManager::GetInstance()->GetTextOrId("STR_COLOR_SETTING"));
    m_saved[0] = m_container.lineColor();
    m_saved[1] = m_container.edgeColor();
    m_saved[2] = m_container.dimensionColor();
    m_saved[3] = m_container.textColor();
    for (int i = 0; i < 4; ++i)
        if (auto* combo = dynamic_cast<CComboUI*>(m_pm.FindControl(kCombos[i]))) {
            m_plainTextColor = combo->GetTextColor();
            combo->SelectItem(PositionOf(m_saved[i]), false, false);
            ShowChoiceColour(combo);
        }
}

void CMeasureColorDialog::ShowChoiceColour(CComboUI* combo) const
{
    // "None" keeps the box's own text colour.
    const std::uint32_t value = SelectedValue(combo);
    combo->SetTextColor(value == 0 ? m_plainTextColor : 0xFF000000 | ReadableOn(value, combo->GetBkColor() & 0xFFFFFF));
}

void CMeasureColorDialog::Apply(bool recolourCombos)
{
    std::uint32_t values[4];
    bool usable = true;
    for (int i = 0; i < 4; ++i) {
        auto* combo = dynamic_cast<CComboUI*>(m_pm.FindControl(kCombos[i]));
        values[i] = SelectedValue(combo);
        if (recolourCombos && combo)
            ShowChoiceColour(combo);
        usable = usable && values[i] != 0;
    }
    // Black (or no choice) in any combo blocks the update.
    if (!usable)
        return;
    auto colour = [](std::uint32_t rgb) { return sf::Color(rgb << 8 | 0xFF); };
    auto* applyAll = dynamic_cast<CCheckBoxUI*>(m_pm.FindControl("checkbox_applyall"));
    m_container.setColors(colour(values[0]), colour(values[1]), colour(values[2]), colour(values[3]),
                          applyAll && applyAll->GetCheck());
}

void CMeasureColorDialog::OnItemSelect(TNotifyUI& msg)
{
    const std::string name = msg.pSender ? msg.pSender->GetName() : std::string();
    for (const char* combo : kCombos)
        if (name == combo) {
            Apply(true);
            return;
        }
}

void CMeasureColorDialog::OnSelectChanged(TNotifyUI& msg)
{
    auto* applyAll = dynamic_cast<CCheckBoxUI*>(msg.pSender);
    if (applyAll && applyAll->GetName() == "checkbox_applyall" && applyAll->GetCheck())
        Apply(false);
}

void CMeasureColorDialog::Restore()
{
    // New measurements and the selected one get the old colours back; the
    // others keep what "apply to all" gave them.
    m_container.setColors(m_saved[0], m_saved[1], m_saved[2], m_saved[3], false);
}

void CMeasureColorDialog::OnOK()
{
    m_finished = true;
    Close(IDOK);
}

void CMeasureColorDialog::OnCancel()
{
    if (!m_finished)
        Restore();
    m_finished = true;
    Close(IDCANCEL);
}

LRESULT CMeasureColorDialog::OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled)
{
    // The window manager's close button cancels like the dialog's own.
    if (!m_finished)
        Restore();
    m_finished = true;
    return CBaseDialog::OnClose(uMsg, wParam, lParam, bHandled);
}

void ShowMeasureColorDialog(HWND owner, SFPrimitiveContainer& container)
{
    CMeasureColorDialog dialog(container);
    if (!dialog.Create(owner))
        return;
    dialog.CenterWindow();
    dialog.ShowModal();
}

} // namespace shell
