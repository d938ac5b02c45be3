#include "app/shell/measure_page/MeasureListAdapter.h"

#include "app/shell/measure_page/NumberFormat.h"

namespace shell {
namespace {

// Values joined by "|" with two decimals each.
std::string joined(const std::vector<float>& values)
{
    std::string out;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0)
            out += '|';
        out += FormatFixed(values[i], 2);
    }
    return out;
}

} // namespace

void MeasureListAdapter::setAt(int index, const MeasureData& data)
{
    if (index >= 0 && index < count())
        m_records[static_cast<std::size_t>(index)] = data;
}

void MeasureListAdapter::removeAt(int index)
{
    if (index >= 0 && index < count())
        m_records.erase(m_records.begin() + index);
}

std::string MeasureListAdapter::cellText(int row, int column) const
{
    if (row < 0 || row >= count())
        return {};
    const MeasureData& d = m_records[static_cast<std::size_t>(row)];
    switch (column) {
    case 0: return std::to_string(row);
    case 1: return FormatPoint(d.centerX, d.centerY);
    case 2: return FormatPoint(d.startX, d.startY);
    case 3: return FormatPoint(d.endX, d.endY);
    case 4: return FormatFixed(d.width, 2);
    case 5: return FormatFixed(d.height, 2);
    case 6: return FormatFixed(d.radius, 2);
    case 7: return FormatFixed(d.area, 4);
    case 8: return FormatFixed(d.perimeter, 2);
    case 9: return joined(d.lengths);
    case 10: return FormatFixed(d.angle, 2);
    case 11: return joined(d.distances);
    default: return {};
    }
}

void MeasureListAdapter::CellText(CControlUI*, int row, int column, std::string& out) { out = cellText(row, column); }

} // namespace shell
