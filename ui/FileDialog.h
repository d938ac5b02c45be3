#pragma once
// The common open, save and folder dialogs, modal over a window.
#include "ui/UIDefs.h"

#include <string>
#include <vector>

namespace ui {

struct FileFilter {
    std::string name;    // "CSV files(*.csv)"
    std::string pattern; // "*.csv" or "*.jpg;*.jpeg"
};

struct FileDialogRequest {
    HWND owner = nullptr;
    std::string title;
    std::string defaultName; // file name or path shown at start
    std::vector<FileFilter> filters;
    int filterIndex = 1;          // 1-based, as selected at start
    std::string defaultExtension; // "csv" or "*.csv": added to a name without one
};

// The chosen path, or "" when cancelled. Save asks before overwriting.
std::string GetSaveFileName(const FileDialogRequest& request);
std::string GetOpenFileName(const FileDialogRequest& request);
// A folder, or "" when cancelled.
std::string BrowseForFolder(HWND owner, const std::string& title, const std::string& startFolder = {});

// Opens a folder in the desktop's file manager (xdg-open, found on PATH,
// started with no blocked signals). False when it is not an existing folder
// or xdg-open could not be started. When xdg-open ends unsuccessfully (no
// file manager found, or it failed), `failedMessage` is posted to `notify`
// with its exit status as wParam. UI thread only.
bool OpenFolder(const std::string& folder, HWND notify = nullptr, UINT failedMessage = 0);

} // namespace ui
