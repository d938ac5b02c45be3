#include "app/shell/panel/AdjustPanel.h"

#include "app/common/AppMessages.h"
#include "app/shell/MainWnd.h"
#include "app/shell/session/CameraSession.h"
#include "camera/CMCameraBase.h"
#include "ui/Container.h"
#include "ui/Controls.h"
#include "ui/PaintManager.h"
#include "ui/ResourceManager.h"

#include <cstdio>
#include <string>
#include <vector>

namespace shell {
namespace {

constexpr const char* kSliderEnabledImage = "file = 'ui\\controls\\slider_bg_normal.png' corner = '8,0,8,0'";
constexpr const char* kSliderDisabledImage = "file = 'ui\\controls\\slider_bg_disable.png' corner = '8,0,8,0'";

// Text ids of the colour-mode and mains-frequency values 0, 1, 2.
constexpr const char* kColorModeTexts[] = {"STR_COLORMODE_COLOR", "STR_COLORMODE_MONOCHROME", "STR_COLORMODE_NEGATIVE"};
constexpr const char* kPowerTexts[] = {"STR_AUTO", "STR_50Hz", "STR_60Hz"};

} // namespace

const std::array<AdjustPanel::Row, 14> AdjustPanel::kRows = {{
    {"AdjustSldBrightness", "AdjustValBrightness", CM_PROP_BRIGHTNESS},
    {"AdjustSldContrast", "AdjustValContrast", CM_PROP_CONTRAST},
    {"AdjustSldHue", "AdjustValHue", CM_PROP_HUE},
    {"AdjustSldSaturation", "AdjustValSaturation", CM_PROP_SATURATION},
    {"AdjustSldSharpness", "AdjustValSharpness", CM_PROP_SHARPNESS},
    {"AdjustSldTemperature", "AdjustValTemperature", CM_PROP_WB_TEMPERATURE},
    {"AdjustSldRGain", "AdjustValRGain", CM_PROP_RED_GAIN},
    {"AdjustSldGGain", "AdjustValGGain", CM_PROP_GREEN_GAIN},
    {"AdjustSldBGain", "AdjustValBGain", CM_PROP_BLUE_GAIN},
    {"AdjustSldGain", "AdjustValGain", CM_PROP_GAIN},
    {"AdjustSldExpTarget", nullptr, CM_PROP_EXPOSURE_TARGET},
    {"AdjustSldExpTime", "AdjustValExpTime", CM_PROP_EXPOSURE},
    {"AdjustSldGamma", "AdjustValGamma", CM_PROP_GAMMA},
    {"AdjustSldDenoise", "AdjustValDenoise", CM_PROP_DENOISE},
}};

void AdjustPanel::Init()
{
    for (size_t row = 0; row < kRows.size(); ++row) {
        m_sliders[row] = dynamic_cast<CSliderUI*>(m_services.paint.FindControl(kRows[row].slider));
        m_labels[row] = kRows[row].label ? m_services.paint.FindControl(kRows[row].label) : nullptr;
        if (m_sliders[row])
            m_sliders[row]->SetTag(row);
    }
}

int AdjustPanel::RowOf(tagCMProperty property) const
{
    for (size_t row = 0; row < kRows.size(); ++row)
        if (kRows[row].property == property)
            return int(row);
    return -1;
}

bool AdjustPanel::Supported(tagCMProperty property) const
{
    CMCameraBase* camera = m_services.session.Camera();
    return camera && camera->IsPropertySupport(property);
}

void AdjustPanel::Show(const char* name, bool visible)
{
    if (CControlUI* control = m_services.paint.FindControl(name))
        control->SetVisible(visible);
}

void AdjustPanel::SetLabel(int row, int value)
{
    CControlUI* label = m_labels[size_t(row)];
    CMCameraBase* camera = m_services.session.Camera();
    if (!label)
        return;
    char alias[260] = {};
    if (camera && camera->GetPropertyAlias(kRows[size_t(row)].property, value, alias, sizeof alias) == 0) {
        alias[sizeof alias - 1] = 0;
        label->SetText(alias);
        return;
    }
    label->SetText(std::to_string(value));
}

void AdjustPanel::SetRowValue(int row, int value)
{
    if (row < 0)
        return;
    if (CSliderUI* slider = m_sliders[size_t(row)])
        slider->SetValue(value);
    SetLabel(row, value);
}

void AdjustPanel::SetSliderEnabled(int row, bool enabled)
{
    CSliderUI* slider = row >= 0 ? m_sliders[size_t(row)] : nullptr;
    if (!slider)
        return;
    slider->SetEnabled(enabled);
    slider->SetBkImage(enabled ? kSliderEnabledImage : kSliderDisabledImage);
}

void AdjustPanel::OnCameraChanged()
{
    if (m_services.session.Camera())
        FillAdjustment(m_services.session.Camera());
}

void AdjustPanel::FillEnumCombo(CComboUI* combo, tagCMProperty property)
{
    CMCameraBase* camera = m_services.session.Camera();
    if (!combo || !camera)
        return;
    combo->RemoveAll();
    const bool supported = camera->IsPropertySupport(property);
    combo->SetEnabled(supported);
    std::vector<int> values;
    camera->GetPropertyRangeEnumInt(property, values);
    const char* const* texts = property == CM_PROP_COLOR_MODE ? kColorModeTexts : kPowerTexts;
    for (int value : values) {
        auto* entry = new CListLabelElementUI;
        if (value >= 0 && value <= 2) {
            entry->SetText(texts[value]);
            entry->SetResourceText(true);
        }
        entry->SetAttribute("textpadding", "3,0,0,0");
        combo->Add(entry);
    }
    int current = 0;
    camera->GetProperty(property, &current);
    int selected = -1;
    for (size_t i = 0; i < values.size(); ++i)
        if (values[i] == current)
            selected = int(i);
    // Showing the camera's own value does not set it again (nor save it);
    // a value outside the choices gives way to the first one.
    if (selected >= 0)
        combo->SelectItem(selected, false, false);
    else if (!values.empty())
        combo->SelectItem(0, false);
}

void AdjustPanel::FillAdjustment(CMCameraBase* camera)
{
    if (!camera)
        return;
    for (size_t row = 0; row < kRows.size(); ++row) {
        CSliderUI* slider = m_sliders[row];
        const tagCMProperty property = kRows[row].property;
        if (camera->IsPropertySupport(property)) {
            int min = 0, max = 0, def = 0, step = 0, value = 0;
            camera->GetPropertyRange(property, &min, &max, &def, &step);
            camera->GetProperty(property, &value);
            if (slider) {
                slider->SetMaxValue(max);
                slider->SetMinValue(min);
                slider->SetValue(value);
            }
            // A row this camera supports is usable again even if an earlier
            // camera had disabled it; the automatic modes below narrow it.
            SetSliderEnabled(int(row), true);
            SetLabel(int(row), value);
        } else {
            if (slider) {
                slider->SetMaxValue(1);
                slider->SetMinValue(0);
                slider->SetValue(0);
            }
            SetSliderEnabled(int(row), false);
            SetLabel(int(row), 0);
        }
    }
    FillEnumCombo(dynamic_cast<CComboUI*>(m_services.paint.FindControl("combo_color_mode")), CM_PROP_COLOR_MODE);
    FillEnumCombo(dynamic_cast<CComboUI*>(m_services.paint.FindControl("combo_power_freq")), CM_PROP_POWERLINE);

    const int whiteBalanceMode = camera->getWhiteBalanceMode();
    Show("AdjustBtnOnceWB", whiteBalanceMode == 2);
    Show("AdjustOptionAWB", whiteBalanceMode == 1);
    bool autoWhiteBalance = false;
    camera->getWhiteBalance(autoWhiteBalance);
    if (auto* awb = dynamic_cast<COptionUI*>(m_services.paint.FindControl("AdjustOptionAWB")))
        awb->Selected(autoWhiteBalance, false);
    for (tagCMProperty property : {CM_PROP_WB_TEMPERATURE, CM_PROP_RED_GAIN, CM_PROP_GREEN_GAIN, CM_PROP_BLUE_GAIN})
        SetSliderEnabled(RowOf(property), camera->IsPropertySupport(property) && !autoWhiteBalance);
    if (auto* tab = dynamic_cast<CTabLayoutUI*>(m_services.paint.FindControl("manual_wb_tab")))
        tab->SelectItem(camera->IsPropertySupport(CM_PROP_WB_TEMPERATURE) ? 0 : 1);

    bool autoExposure = false;
    camera->getExposure(autoExposure);
    if (auto* ae = dynamic_cast<COptionUI*>(m_services.paint.FindControl("AdjustOptionAE"))) {
        ae->SetEnabled(true);
        ae->Selected(autoExposure, false);
    }
    SetSliderEnabled(RowOf(CM_PROP_EXPOSURE), camera->IsPropertySupport(CM_PROP_EXPOSURE) && !autoExposure);
    SetSliderEnabled(RowOf(CM_PROP_EXPOSURE_TARGET),
                     camera->IsPropertySupport(CM_PROP_EXPOSURE_TARGET) && autoExposure);

    const bool power = camera->IsPropertySupport(CM_PROP_POWERLINE);
    Show("drawerHeadPower", power);
    Show("drawerHeaderSeqPower", power);
    if (!power)
        Show("drawerPower", false);
    const bool misc = camera->IsPropertySupport(CM_PROP_DENOISE);
    Show("drawerHeadMisc", misc);
    Show("drawerHeaderSeqMisc", misc);
    if (!misc)
        Show("drawerMisc", false);
}

bool AdjustPanel::Notify(TNotifyUI& msg)
{
    if (!msg.pSender)
        return false;
    const std::string& name = msg.pSender->GetName();
    if (msg.sType == "valuechanged" || msg.sType == "movevaluechanged") {
        auto* slider = dynamic_cast<CSliderUI*>(msg.pSender);
        if (!slider || slider->GetTag() >= kRows.size() || m_sliders[slider->GetTag()] != slider)
            return false;
        OnSlider(slider, msg.sType == "valuechanged");
        return true;
    }
    CMCameraBase* camera = m_services.session.Camera();
    if (msg.sType == "selectchanged") {
        auto* option = dynamic_cast<COptionUI*>(msg.pSender);
        const bool selected = option && option->IsSelected();
        if (name == "AdjustOptionAE") {
            OnAutoExposure(selected);
            return true;
        }
        if (name == "AdjustOptionAWB") {
            OnAutoWhiteBalance(selected);
            return true;
        }
        if (name == "AdjustOptionMirror") {
            if (camera)
                camera->mirror(selected);
            return true;
        }
        if (name == "AdjustOptionFlip") {
            if (camera)
                camera->flip(selected);
            return true;
        }
    } else if (msg.sType == "itemselect") {
        if (name == "combo_color_mode") {
            OnEnumChosen(CM_PROP_COLOR_MODE, int(msg.wParam));
            return true;
        }
        if (name == "combo_power_freq") {
            OnEnumChosen(CM_PROP_POWERLINE, int(msg.wParam));
            return true;
        }
    } else if (msg.sType == "click") {
        if (name == "AdjustBtnReset") {
            ResetToDefaults();
            return true;
        }
        if (name == "AdjustBtnPropertyPage") {
            ShowPropertyPages();
            return true;
        }
        if (name == "AdjustBtnOnceWB") {
            if (camera)
                camera->setWhiteBalance(true);
            return true;
        }
    }
    return false;
}

void AdjustPanel::OnSlider(CSliderUI* slider, bool released)
{
    CMCameraBase* camera = m_services.session.Camera();
    if (!camera)
        return;
    const int row = int(slider->GetTag());
    const int value = slider->GetValue();
    const tagCMProperty property = kRows[size_t(row)].property;
    // While dragging, a network camera (each change a round trip to the box)
    // and the exposure time (each change restarts the sensor's exposure)
    // wait for the release.
    if (released || (!camera->IsNetworkCamera() && property != CM_PROP_EXPOSURE))
        camera->SetProperty(property, value);
    SetLabel(row, value);
    m_services.session.AdjustmentsChanged(released);
}

void AdjustPanel::OnAutoExposure(bool automatic)
{
    CMCameraBase* camera = m_services.session.Camera();
    if (!camera)
        return;
    camera->setExposure(automatic);
    const int timeRow = RowOf(CM_PROP_EXPOSURE);
    if (!automatic && m_sliders[size_t(timeRow)])
        camera->SetProperty(CM_PROP_EXPOSURE, m_sliders[size_t(timeRow)]->GetValue());
    SetSliderEnabled(timeRow, camera->IsPropertySupport(CM_PROP_EXPOSURE) && !automatic);
    SetSliderEnabled(RowOf(CM_PROP_EXPOSURE_TARGET), camera->IsPropertySupport(CM_PROP_EXPOSURE_TARGET) && automatic);
    m_services.session.AdjustmentsChanged();
}

void AdjustPanel::OnAutoWhiteBalance(bool automatic)
{
    CMCameraBase* camera = m_services.session.Camera();
    if (!camera)
        return;
    camera->setWhiteBalance(automatic);
    for (tagCMProperty property : {CM_PROP_WB_TEMPERATURE, CM_PROP_RED_GAIN, CM_PROP_GREEN_GAIN, CM_PROP_BLUE_GAIN})
        SetSliderEnabled(RowOf(property), camera->IsPropertySupport(property) && !automatic);
    m_services.session.AdjustmentsChanged();
}

void AdjustPanel::OnEnumChosen(tagCMProperty property, int index)
{
    CMCameraBase* camera = m_services.session.Camera();
    if (!camera)
        return;
    std::vector<int> values;
    camera->GetPropertyRangeEnumInt(property, values);
    if (index >= 0 && size_t(index) < values.size())
        camera->SetProperty(property, values[size_t(index)]);
    m_services.session.AdjustmentsChanged();
}

void AdjustPanel::ResetToDefaults()
{
    SetWaitCursor(true);
    if (CMCameraBase* camera = m_services.session.Camera()) {
        for (size_t row = 0; row < kRows.size(); ++row) {
            const tagCMProperty property = kRows[row].property;
            if (!camera->IsPropertySupport(property))
                continue;
            int min = 0, max = 0, def = 0, step = 0;
            camera->GetPropertyRange(property, &min, &max, &def, &step);
            camera->SetProperty(property, def);
            SetRowValue(int(row), def);
        }
        // A change of either option runs its handler.
        if (camera->getWhiteBalanceMode() == 1)
            if (auto* awb = dynamic_cast<COptionUI*>(m_services.paint.FindControl("AdjustOptionAWB")))
                awb->Selected(true);
        if (auto* ae = dynamic_cast<COptionUI*>(m_services.paint.FindControl("AdjustOptionAE")))
            ae->Selected(true);
    }
    SetWaitCursor(false);
}

void AdjustPanel::ShowPropertyPages()
{
    CMCameraBase* camera = m_services.session.Camera();
    if (!camera)
        return;
    char caption[260] = {};
    std::snprintf(caption, sizeof caption, "%s",
                  CResourceManager::GetInstance()->GetTextOrId("STR_VIDEO_PROPERTY").c_str());
    camera->ShowPropertyPages(m_services.window.GetHWND(), caption);
}

void AdjustPanel::OnExposureReport(int value) { SetRowValue(RowOf(CM_PROP_EXPOSURE), value); }

void AdjustPanel::OnWhiteBalanceReport(int red, int green, int blue, int temperature)
{
    SetRowValue(RowOf(CM_PROP_RED_GAIN), red);
    SetRowValue(RowOf(CM_PROP_GREEN_GAIN), green);
    SetRowValue(RowOf(CM_PROP_BLUE_GAIN), blue);
    SetRowValue(RowOf(CM_PROP_WB_TEMPERATURE), temperature);
}

bool AdjustPanel::HandleMessage(UINT message, WPARAM wParam, LPARAM, LRESULT& result)
{
    if (message == WM_CAMERA_EXPOSURE_REPORT) {
        OnExposureReport(int(wParam));
        result = 0;
        return true;
    }
    if (message == WM_CAMERA_WHITE_BALANCE_REPORT) {
        // Sent synchronously, so the four values stay valid during the call.
        if (const int* values = reinterpret_cast<const int*>(wParam))
            OnWhiteBalanceReport(values[0], values[1], values[2], values[3]);
        result = 0;
        return true;
    }
    return false;
}

} // namespace shell
