#pragma once
// CalibrationPage: the calibration editor on the measure page
// ("PageMeasureCalibration"). A calibration line over a known length gives
// the factor; calibrations are created, deleted, backed up and restored here,
// and saved when the operator goes back.
#include "app/shell/WindowPart.h"
#include "app/shell/measure_page/CaliDataListAdapter.h"

#include <functional>
#include <string>

class CalibrationStore;
class SFPrimitiveContainer;

namespace shell {

class CalibrationPage {
public:
    // `chosenChanged` runs after the store changed (the calibration chosen in
    // "curCaliData" is found again by name first); `leaving` after the page
    // was left.
    CalibrationPage(MainWindowServices& services, CalibrationStore& store, std::function<void()> storeChanged,
                    std::function<void()> leaving);

    bool IsShown() const { return m_shown; }
    // "MeasureBtnCaliEdit", "CaliBtn*", "CaliEdtPhyLen", "ComboCaliPhyLenUnit".
    bool Notify(TNotifyUI& msg);
    // The calibration line changed: its length in image pixels.
    void OnLineLength(float pixels);
    // Fills "CaliDataList" from the store.
    void RebuildList();

private:
    void Enter();
    void Leave();
    void CreateCalibration();
    void DeleteSelected();
    void Backup();
    void Recover();
    void ShowFactor();
    // Physical length ÷ calibration line length; 0 when either is not positive.
    float Factor() const;
    // Runs `change` on the store and keeps "curCaliData" on the calibration
    // it named before.
    void KeepingChoice(const std::function<void()>& change);
    void InputError();
    SFPrimitiveContainer* Container() const;
    CControlUI* Find(const char* name) const;

    MainWindowServices& m_services;
    CalibrationStore& m_store;
    std::function<void()> m_storeChanged;
    std::function<void()> m_leaving;
    CaliDataListAdapter m_adapter;
    bool m_shown = false;
};

} // namespace shell
