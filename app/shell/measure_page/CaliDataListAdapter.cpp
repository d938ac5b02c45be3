#include "app/shell/measure_page/CaliDataListAdapter.h"

#include "app/measure/CalibrationStore.h"
#include "app/shell/measure_page/NumberFormat.h"

namespace shell {

std::string CaliDataListAdapter::cellText(int row, int column) const
{
    if (row < 0 || row >= m_store.count())
        return {};
    const CalibrationRecord record = m_store.at(row);
    switch (column) {
    case 0: return std::to_string(row);
    case 1: return record.nameUtf8();
    case 2: return FormatFixed(record.factor, 6);
    case 3: return CalibrationStore::unitName(record.unit);
    default: return {};
    }
}

void CaliDataListAdapter::CellText(CControlUI*, int row, int column, std::string& out) { out = cellText(row, column); }

} // namespace shell
