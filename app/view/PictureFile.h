#pragma once
// Writes a picture to an image file whose extension names the format (JPEG
// at quality 90, PNG at compression level 6, BMP and TIFF as they come). The
// picture is encoded in memory and written with checked calls into a
// temporary file that is synced and then moved to its name, so a full disk
// or a lost folder leaves no partial file under the final name.
//
// Any thread.

#include "platform/AtomicFile.h"

#include <cstdint>
#include <string>

namespace view {

enum class PixelOrder { Bgra, Rgba };

// 0 and `saved` = the name the file got (numbered on a collision when
// `existing` says so); otherwise an errno: EINVAL for a name without a known
// image extension or a picture the encoder refused, the file system's error
// for a failed write.
int SavePictureFile(const std::string& path, const uint8_t* pixels, int width, int height, PixelOrder order,
                    platform::ExistingFile existing, std::string& saved);

} // namespace view
