#include "app/shell/dialogs/VideoControlsDialog.h"

#include "ui/ModalWindows.h"

#include "ui/Control.h"
#include "ui/Controls.h"
#include "ui/DPI.h"
#include "ui/DialogBuilder.h"

#include <algorithm>
#include <string>

namespace shell {
namespace {

constexpr int kWidth = 560;
constexpr int kRowHeight = 30;
constexpr int kCaptionHeight = 26;
constexpr int kButtonRowHeight = 46;
constexpr const char* kControlPrefix = "ctl_";
constexpr const char* kValuePrefix = "val_";

std::string escaped(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default:
            // Control characters from a driver's name are left out.
            if (static_cast<unsigned char>(c) >= 0x20)
                out += c;
        }
    }
    return out;
}

std::string attr(const char* name, const std::string& value) { return std::string(" ") + name + "=\"" + value + "\""; }

std::string row(const CMControlDescription& c)
{
    const std::string id = std::to_string(c.id);
    const std::string name = kControlPrefix + id;
    std::string xml =
        "<HorizontalLayout" + attr("height", std::to_string(kRowHeight)) + attr("childpadding", "8") + ">";
    xml += "<Label" + attr("width", "200") + attr("text", escaped(c.name)) + attr("textcolor", "#FFE6EAEE") + "/>";
    switch (c.kind) {
    case CMControlDescription::Integer:
        xml += "<Slider" + attr("name", name) + attr("min", std::to_string(c.minimum)) +
               attr("max", std::to_string(c.maximum)) + attr("step", std::to_string(c.step)) +
               attr("value", std::to_string(c.defaultValue)) + "/>";
        xml += "<Label" + attr("name", kValuePrefix + id) + attr("width", "64") + attr("textcolor", "#FFE6EAEE") + "/>";
        break;
    case CMControlDescription::Boolean:
        xml += "<CheckBox" + attr("name", name) + attr("width", "22") + "/><Control/>";
        break;
    case CMControlDescription::Menu:
        xml += "<Combo" + attr("name", name) + ">";
        for (const auto& [value, label] : c.menu)
            xml += "<Item" + attr("text", escaped(label)) + attr("userdata", std::to_string(value)) + "/>";
        xml += "</Combo>";
        break;
    case CMControlDescription::Button:
        xml += "<Button" + attr("name", name) + attr("text", escaped(c.name)) + attr("bkcolor", "#FF34404C") +
               attr("textcolor", "#FFE6EAEE") + "/>";
        break;
    }
    return xml + "</HorizontalLayout>";
}

// The control id in a row control's name, or false.
bool controlId(const std::string& name, unsigned& id)
{
    if (name.rfind(kControlPrefix, 0) != 0)
        return false;
    try {
        id = static_cast<unsigned>(std::stoul(name.substr(std::string(kControlPrefix).size())));
        return true;
    } catch (...) {
        return false;
    }
}

// The settings dialog on screen now, or null; UI thread.
HWND g_openDialog = nullptr;

void showOnPage(void* parentWindow, const char* title, CMControlPanel* panel)
{
    ShowVideoControls(static_cast<HWND>(parentWindow), title, panel);
}

} // namespace

VideoControlsDialog::VideoControlsDialog(CMControlPanel& panel, std::string title)
    : CBaseDialog("video controls"), m_panel(panel), m_title(std::move(title))
{
}

std::string VideoControlsDialog::Layout(const std::string& title, const std::vector<CMControlDescription>& controls)
{
    const int height = kCaptionHeight + 16 + static_cast<int>(controls.size()) * kRowHeight + kButtonRowHeight;
    std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";
    xml += "<Window" + attr("size", std::to_string(kWidth) + "," + std::to_string(height)) +
           attr("caption", "0,0,0," + std::to_string(kCaptionHeight)) + attr("roundcorner", "3,3") +
           attr("shadowsize", "4") + attr("shadowdarkness", "80") + attr("bkcolor", "#FF2B333D") + ">";
    xml += "<Font id=\"0\" name=\"DejaVu Sans\" size=\"12\" default=\"true\"/>";
    xml += "<Font id=\"1\" name=\"DejaVu Sans\" size=\"12\" bold=\"true\"/>";
    xml += "<VerticalLayout" + attr("bkcolor", "#FF2B333D") + attr("bordersize", "1") +
           attr("bordercolor", "#FF0E1216") + ">";
    xml += "<HorizontalLayout" + attr("height", std::to_string(kCaptionHeight)) + attr("bkcolor", "#FF10151B") + ">";
    xml += "<Label" + attr("name", "caption") + attr("font", "1") + attr("textcolor", "#FFE6EAEE") +
           attr("textpadding", "10,0,0,0") + attr("text", escaped(title)) + "/>";
    xml += "<Button" + attr("name", "closebtn") + attr("width", "34") + attr("height", "26") +
           attr("bkcolor", "#00000000") + attr("normalimage", "file='ui\\titlebar\\close.png' dest='9,5,25,21'") +
           attr("hotimage", "file='ui\\titlebar\\close_hot.png'") + "/>";
    xml += "</HorizontalLayout>";
    xml += "<VerticalLayout" + attr("name", "ControlRows") + attr("inset", "14,8,14,8") + ">";
    for (const CMControlDescription& c : controls)
        xml += row(c);
    xml += "</VerticalLayout>";
    xml += "<HorizontalLayout" + attr("height", std::to_string(kButtonRowHeight)) + attr("inset", "0,4,12,10") + ">";
    xml += "<Control/>";
    xml += "<Button" + attr("name", "okbtn") + attr("width", "84") + attr("textid", "DLG_OK") +
           attr("bkcolor", "#FF1F8FD6") + attr("textcolor", "#FFFFFFFF") + attr("hottextcolor", "#FFFFFFFF") +
           attr("borderround", "3") + "/>";
    xml += "</HorizontalLayout></VerticalLayout></Window>";
    return xml;
}

LRESULT VideoControlsDialog::OnCreate(UINT, WPARAM, LPARAM, BOOL& bHandled)
{
    bHandled = TRUE;
    m_pm.Init(GetHWND());
    m_controls = m_panel.controls();
    CDialogBuilder builder;
    CControlUI* root = builder.CreateFromText(Layout(m_title, m_controls), this, &m_pm);
    if (!root)
        return -1;
    m_pm.AttachDialog(root);
    m_pm.AddNotifier(this);
    Refresh();
    m_pm.SetDPI(CDPI::GetMainMonitorDPI());
    return 0;
}

void VideoControlsDialog::Refresh()
{
    m_refreshing = true; // the changes below are not the user's
    m_controls = m_panel.controls();
    for (const CMControlDescription& c : m_controls) {
        CControlUI* control = m_pm.FindControl(kControlPrefix + std::to_string(c.id));
        if (!control)
            continue; // a control that appeared after the page opened
        control->SetEnabled(!c.inactive);
        int value = 0;
        if (c.kind == CMControlDescription::Button || m_panel.getControl(c.id, &value) != 0)
            continue;
        if (auto* slider = dynamic_cast<CSliderUI*>(control)) {
            slider->SetValue(value);
            if (CControlUI* label = m_pm.FindControl(kValuePrefix + std::to_string(c.id)))
                label->SetText(std::to_string(value));
        } else if (auto* check = dynamic_cast<CCheckBoxUI*>(control)) {
            check->SetCheck(value != 0, false);
        } else if (auto* combo = dynamic_cast<CComboUI*>(control)) {
            for (size_t i = 0; i < c.menu.size(); ++i)
                if (c.menu[i].first == value)
                    combo->SelectItem(static_cast<int>(i), false, false);
        }
    }
    m_refreshing = false;
}

void VideoControlsDialog::Apply(unsigned id, int value)
{
    m_panel.setControl(id, value); // a refused value shows as the device's value below
    Refresh();
}

void VideoControlsDialog::Notify(TNotifyUI& msg)
{
    unsigned id = 0;
    const std::string name = msg.pSender ? msg.pSender->GetName() : std::string();
    if (m_refreshing || !controlId(name, id)) {
        CBaseDialog::Notify(msg);
        return;
    }
    if (msg.sType == "valuechanged" || msg.sType == "movevaluechanged") {
        if (auto* slider = dynamic_cast<CSliderUI*>(msg.pSender))
            Apply(id, slider->GetValue());
    } else if (msg.sType == "selectchanged") {
        if (auto* check = dynamic_cast<CCheckBoxUI*>(msg.pSender))
            Apply(id, check->GetCheck() ? 1 : 0);
    } else if (msg.sType == "itemselect") {
        auto* combo = dynamic_cast<CComboUI*>(msg.pSender);
        const auto c = std::find_if(m_controls.begin(), m_controls.end(),
                                    [&](const CMControlDescription& d) { return d.id == id; });
        const int index = combo ? combo->GetCurSel() : -1;
        if (c != m_controls.end() && index >= 0 && static_cast<size_t>(index) < c->menu.size())
            Apply(id, c->menu[static_cast<size_t>(index)].first);
    } else if (msg.sType == "click" && dynamic_cast<CCheckBoxUI*>(msg.pSender) == nullptr) {
        Apply(id, 1); // a button control acts when written
    }
}

void ShowVideoControls(HWND owner, const char* title, CMControlPanel* panel)
{
    if (!panel)
        return;
    VideoControlsDialog dialog(*panel, title ? title : "");
    if (!dialog.Create(owner, title ? title : ""))
        return;
    dialog.CenterWindow();
    HWND const previous = g_openDialog;
    g_openDialog = dialog.GetHWND();
    dialog.ShowModal();
    g_openDialog = previous;
}

void CloseVideoControls()
{
    if (g_openDialog)
        ui::CloseModalWindow(g_openDialog);
}

void RegisterVideoControlsDialog() { CMSetPropertyPageHook(&showOnPage); }

} // namespace shell
