#include "app/shell/capture/ImageScale.h"

#include "app/measure/CalibrationStore.h"
#include "app/shell/AppConfig.h"

#include <filesystem>

namespace shell {

std::string ImageJUnitName(const std::string& unitName)
{
    if (unitName == "um")
        return "micron";
    if (unitName == "in")
        return "inch";
    if (unitName == "uin")
        return "microinch";
    return unitName;
}

bool CurrentImageScale(int previewWidth, int imageWidth, ImageScale& scale)
{
    std::string path;
    CalibrationStore store;
    std::error_code error;
    if (previewWidth <= 0 || imageWidth <= 0 || CalibrationStore::calibrationFilePath(path) != 0 ||
        !std::filesystem::is_regular_file(path, error) || store.load(path) != 0)
        return false;
    const CalibrationRecord record = store.at(Config().curCaliData);
    // Unit 0 is pixels; unknown units have no name to carry.
    const std::string unit = CalibrationStore::unitName(record.unit);
    if (record.factor <= 0 || record.unit <= 0 || unit == "n/a")
        return false;
    // factor: units per preview pixel; a still of another width spans the
    // same field with more or fewer pixels.
    const double unitsPerImagePixel = double(record.factor) * previewWidth / imageWidth;
    scale.pixelsPerUnit = 1.0 / unitsPerImagePixel;
    scale.unit = ImageJUnitName(unit);
    return true;
}

} // namespace shell
