#pragma once
// Where snapshots and recordings go and what they are called: the image
// folder rule, automatic names from the local time, the snapshot file types
// and the save dialog's filters.
#include "ui/FileDialog.h"

#include <ctime>
#include <string>
#include <vector>

namespace shell {

// The documents rule path when "ImagePath_MyDoc" is set, else "ImagePath";
// created with missing parents. "" when it neither exists nor can be made.
std::string ImageFolder();

// folder + "/" (when missing) + "YYYYMMDD-hhmmss-<ms>" + extension; the
// milliseconds are not zero-padded ("20180328-141502-7.jpg").
std::string AutomaticFileName(const std::string& folder, const std::string& extension, const std::tm& local,
                              int milliseconds);
// The same for the current local time.
std::string AutomaticFileName(const std::string& folder, const std::string& extension);

// ".tif", ".png", ".bmp", ".jpg" for the file types 0..3; ".tif" otherwise.
const char* SnapshotExtension(int fileType);
// "*.tif", "*.png", "*.bmp", "*.jpg" for 0..3; "*.jpg" otherwise.
const char* SnapshotPattern(int fileType);
// The snapshot save dialog's filters, TIFF first.
std::vector<ui::FileFilter> SnapshotFilters();

} // namespace shell
