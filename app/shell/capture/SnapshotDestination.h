#pragma once
// Where a snapshot (or a still picture) is saved: an automatic name in the
// image folder, or the name the user picks in the save dialog. UI thread only.
#include "app/shell/WindowPart.h"

#include <string>

namespace shell {

// With `automatic`, a new automatic name in the image folder for the chosen
// file type; otherwise the save dialog's choice. "" when the dialog was
// cancelled, or when the image folder cannot be made (the status bar then
// says the snapshot failed).
std::string ChooseSnapshotPath(MainWindowServices& services, bool automatic);

} // namespace shell
