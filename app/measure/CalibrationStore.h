#pragma once
#include <cstddef>
#include <string>
#include <vector>

// A calibration's factor applied to a picture of a given size.
struct CalibrationScale {
    float factor = 0; // units per pixel of that picture
    // False when the picture has another aspect ratio than the calibration's:
    // `factor` is then the calibration's own, unscaled, and the user must be
    // told the size it was made at.
    bool sizeFits = true;
};

// How many physical units one image pixel spans, under a unique name.
struct CalibrationRecord {
    char16_t name[64] = {}; // zero-terminated, at most 63 UTF-16 units
    float factor = 0;       // units per image pixel, > 0
    int unit = 0;           // index into the unit list
    // The picture the factor counts pixels of; 0 × 0 when unknown (a
    // calibration from a file written before sizes were kept).
    int width = 0;
    int height = 0;

    // Builds a record from a UTF-8 name; false when the name is not valid
    // UTF-8 or does not fit 63 UTF-16 units (the record is left empty then).
    static bool make(const std::string& utf8Name, float factor, int unit, CalibrationRecord& out);
    std::string nameUtf8() const;

    bool hasSize() const { return width > 0 && height > 0; }
    // The factor for a picture of width × height. A picture of the same
    // aspect ratio spans the same field with more or fewer pixels: the factor
    // is scaled by the width ratio. A record without a size, or an unknown
    // picture size (≤ 0), gives the factor as it is.
    CalibrationScale scaleFor(int pictureWidth, int pictureHeight) const;
};
static_assert(sizeof(CalibrationRecord) == 144, "CalibrationRecord is 144 bytes");

// Result codes of the store, shown by the program's error message box.
enum CalibrationResult : int {
    CalibrationOk = 0,
    CalibrationNoDocumentsFolder = -1, // "Failed to get personal document folder."
    CalibrationCreateDirFailed = -2,   // "Failed to create directory."
    CalibrationOpenFailed = -3,        // "Failed to open configuration file."
    CalibrationSaveFailed = -4,        // "Failed to save configuration file."
};

// The named calibrations, persisted as an INI file: section "data" maps each
// name to its factor ("%f"), section "unit" to its unit index ("%d"), section
// "size" to the picture size it was made at ("1280x960"; absent when unknown).
class CalibrationStore {
public:
    // <documents>/Pellumo Files/data/calibrations.ini; the folders are created.
    static int calibrationFilePath(std::string& out);

    // Replaces the records with the file's. A file that cannot be read leaves
    // the records as they were and returns CalibrationOpenFailed.
    int load(const std::string& path);
    // The same from an INI text in memory.
    int loadFromData(const char* data, std::size_t size);
    // Replaces the records with those of a backup and marks them modified. A
    // file without a single usable calibration (empty, binary, another
    // program's settings) is refused with CalibrationOpenFailed and the
    // records stay as they were.
    int restore(const std::string& path);
    // Writes the records to a temporary file beside `path`, then renames it
    // over `path`: a failed save never leaves a half-written file behind.
    // Clears the modified mark on success.
    int save(const std::string& path);
    // The same for a backup: the store's own file is no nearer to the records,
    // so the modified mark stays as it is.
    int exportTo(const std::string& path) const;
    // The INI text save() writes; false if it cannot be built.
    bool toIni(std::string& out) const;
    int saveIfModified();

    // 1 when the name exists already (the INI file compares names without
    // regard to ASCII case, so "Lens" and "lens" are the same name); else 0.
    // A new record takes the place the next load gives it (the file's key
    // order), so an index remembered across a restart names the same record.
    int add(const CalibrationRecord& record);
    // Index of the record with this name (exact, else ignoring ASCII case);
    // -1 when there is none.
    int indexOf(const std::string& utf8Name) const;
    // True when the file keeps the name as it is: not empty, at most 63
    // UTF-16 units, and read back unchanged (no "=", line break, leading
    // comment or section character, leading or trailing blank).
    static bool isStorableName(const std::string& utf8Name);
    int removeAt(int index);
    int count() const { return static_cast<int>(records.size()); }
    // A copy; a record with factor 0 for an index out of range.
    CalibrationRecord at(int index) const;
    bool isModified() const { return modified; }

    static std::string unitName(int unit);

    // Largest calibrations file accepted; anything bigger is not ours.
    static constexpr std::size_t kMaxFileSize = 16u << 20;

private:
    // Puts the records in the order a load of their saved file gives.
    void sortInLoadOrder();

    std::vector<CalibrationRecord> records;
    bool modified = false;
};
