#pragma once
// CaliDataListAdapter: the text of the calibration list "CaliDataList", one
// row per stored calibration: row index, name, factor ("%f"), unit name.
#include "app/shell/measure_page/ListAdapterBase.h"

class CalibrationStore;

namespace shell {

class CaliDataListAdapter : public ListAdapterBase {
public:
    explicit CaliDataListAdapter(const CalibrationStore& store) : m_store(store) {}
    std::string cellText(int row, int column) const;

protected:
    void CellText(CControlUI* list, int row, int column, std::string& out) override;

private:
    const CalibrationStore& m_store;
};

} // namespace shell
