#pragma once
// AdjustPanel: the adjustment drawers' 14 rows of sliders bound to camera
// properties, automatic exposure and white balance, one-push white balance,
// mirror and flip, colour mode, mains frequency, defaults and the camera's
// own property dialog. Every value goes straight to the camera; the panel
// keeps none of its own. UI thread only.
#include "app/shell/WindowPart.h"
#include "camera/CMTypes.h"

#include <array>

class CComboUI;
class CControlUI;
class CMCameraBase;
class CSliderUI;

namespace shell {

class AdjustPanel : public WindowPart {
public:
    struct Row {
        const char* slider;
        const char* label; // null: the row has no value label
        tagCMProperty property;
    };
    // The slider's tag is its row number.
    static const std::array<Row, 14> kRows;

    using WindowPart::WindowPart;

    void Init() override;
    bool Notify(TNotifyUI& msg) override;
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void OnCameraChanged() override;

    // Fills every control from the camera: ranges, values, automatic modes,
    // enabled states, the power and misc drawers.
    void FillAdjustment(CMCameraBase* camera);
    void OnExposureReport(int value);
    void OnWhiteBalanceReport(int red, int green, int blue, int temperature);

private:
    void OnSlider(CSliderUI* slider, bool released);
    void OnAutoExposure(bool automatic);
    void OnAutoWhiteBalance(bool automatic);
    void OnEnumChosen(tagCMProperty property, int index);
    void ResetToDefaults();
    void ShowPropertyPages();
    void FillEnumCombo(CComboUI* combo, tagCMProperty property);
    void SetRowValue(int row, int value);
    void SetLabel(int row, int value);
    void SetSliderEnabled(int row, bool enabled);
    bool Supported(tagCMProperty property) const;
    int RowOf(tagCMProperty property) const;
    void Show(const char* name, bool visible);

    std::array<CSliderUI*, 14> m_sliders{};
    std::array<CControlUI*, 14> m_labels{};
};

} // namespace shell
