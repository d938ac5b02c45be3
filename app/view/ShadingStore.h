#pragma once
// Shading references on disk, one file per camera identity and picture size,
// in the "shading" folder beside calibrations.ini. Any thread: it keeps
// nothing but its folder.
#include "app/view/ShadingCorrection.h"

#include <string>

class ShadingStore {
public:
    // <documents>/Pellumo Files/data/shading, created when first written.
    ShadingStore();
    explicit ShadingStore(std::string folder);

    // False when the file cannot be written.
    bool save(const std::string& identity, const ShadingReference& reference) const;
    // False (and `reference` left alone) when none is kept for this camera
    // and size, or its file does not read.
    bool load(const std::string& identity, int width, int height, ShadingReference& reference) const;
    // True when a file was removed.
    bool remove(const std::string& identity, int width, int height) const;

private:
    std::string fileFor(const std::string& identity, int width, int height) const;
    std::string m_folder;
};
