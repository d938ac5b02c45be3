#pragma once
#include "MeasureTypes.h"

#include <ostream>
#include <string>
#include <vector>

// One exported measurement: the primitive's type name and its record.
struct MeasureCsvRow {
    std::string typeName;
    MeasureData data;
};

// Writes the measurement table: a title line with the unit, a header with as
// many LengthN/DistanceN columns as the longest record needs, then one line
// per measurement (each ending in ","). Numbers use the stream's default float
// formatting. Returns false when the stream failed.
bool writeMeasureCsv(std::ostream& out, const std::vector<MeasureCsvRow>& rows, const std::string& unitName);
