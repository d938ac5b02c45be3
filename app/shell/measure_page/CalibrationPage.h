#pragma once
// CalibrationPage: the calibration editor on the measure page
// ("PageMeasureCalibration"). A calibration line over a known length gives
// the factor; calibrations are created, deleted, backed up and restored here.
// Every change is written to the calibrations file at once; the changed
// choice is applied to the measurements when the operator goes back.
#include "app/shell/WindowPart.h"
#include "app/shell/measure_page/CaliDataListAdapter.h"

#include <functional>
#include <string>

class CalibrationStore;
class SFPrimitiveContainer;

namespace shell {

class CalibrationPage {
public:
    // `leaving` runs after the page was left: the calibrations and the choice
    // may have changed meanwhile.
    CalibrationPage(MainWindowServices& services, CalibrationStore& store, std::function<void()> leaving);

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
    // Runs `change` on the store, writes the store, and keeps the choice on
    // the calibration it named before; when that one is gone the choice falls
    // back to pixels and the status bar says so.
    void KeepingChoice(const std::function<void()>& change);
    void InputError();
    SFPrimitiveContainer* Container() const;
    CControlUI* Find(const char* name) const;

    MainWindowServices& m_services;
    CalibrationStore& m_store;
    std::function<void()> m_leaving;
    CaliDataListAdapter m_adapter;
    bool m_shown = false;
};

} // namespace shell
