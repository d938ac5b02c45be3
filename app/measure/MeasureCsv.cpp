#include "MeasureCsv.h"

#include <algorithm>

namespace {

void writePoint(std::ostream& out, float x, float y) { out << "\"[" << x << "," << y << "]\","; }

// Each value followed by ","; "0," pads up to `columns` (a single "0," when
// the table has no such column at all).
void writeValues(std::ostream& out, const std::vector<float>& values, std::size_t columns)
{
    for (float value : values)
        out << value << ",";
    for (std::size_t i = values.size(); i < std::max<std::size_t>(columns, 1); ++i)
        out << "0,";
}

} // namespace

bool writeMeasureCsv(std::ostream& out, const std::vector<MeasureCsvRow>& rows, const std::string& unitName)
{
    std::size_t maxLengths = 0, maxDistances = 0;
    for (const MeasureCsvRow& row : rows) {
        maxLengths = std::max(maxLengths, row.data.lengths.size());
        maxDistances = std::max(maxDistances, row.data.distances.size());
    }

    out << "Measurement data list"
        << " (Unit: " << unitName << ")"
        << "\n";
    out << "Index,Type,Center,Start,End,Width,Height,Radius,Area,Perimeter,";
    if (maxLengths == 0)
        out << "Length,";
    for (std::size_t i = 1; i <= maxLengths; ++i)
        out << "Length" << i << ",";
    out << "Angle,";
    if (maxDistances == 0)
        out << "Distance"
            << "\n";
    for (std::size_t i = 1; i <= maxDistances; ++i)
        out << "Distance" << i << (i == maxDistances ? "\n" : ",");

    int index = 0;
    for (const MeasureCsvRow& row : rows) {
        const MeasureData& d = row.data;
        out << index++ << "," << row.typeName << ",";
        writePoint(out, d.centerX, d.centerY);
        writePoint(out, d.startX, d.startY);
        writePoint(out, d.endX, d.endY);
        out << d.width << "," << d.height << "," << d.radius << "," << d.area << "," << d.perimeter << ",";
        writeValues(out, d.lengths, maxLengths);
        out << d.angle << ",";
        writeValues(out, d.distances, maxDistances);
        out << "\n";
    }
    out.flush();
    return static_cast<bool>(out);
}
