#pragma once
// MeasureListAdapter: the text of the results list "MeasureDataList", one
// record per row in the order of the container's measurements. Columns: row
// index, centre, start, end, width, height, radius, area, perimeter, lengths,
// angle, distances.
#include "app/measure/MeasureTypes.h"
#include "app/shell/measure_page/ListAdapterBase.h"

#include <vector>

namespace shell {

class MeasureListAdapter : public ListAdapterBase {
public:
    void append(const MeasureData& data) { m_records.push_back(data); }
    // Ignored for an index outside the list.
    void setAt(int index, const MeasureData& data);
    void removeAt(int index);
    void clear() { m_records.clear(); }
    int count() const { return static_cast<int>(m_records.size()); }

    // The text of one cell (empty for a row outside the records).
    std::string cellText(int row, int column) const;

protected:
    void CellText(CControlUI* list, int row, int column, std::string& out) override;

private:
    std::vector<MeasureData> m_records;
};

} // namespace shell
