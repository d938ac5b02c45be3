// The program's own reading of untrusted picture files: the header size
// check, the ImageJ description and TIFF resolution tags, and the 16-to-8-bit
// display mapping. The first byte picks the path; the rest is the input.

#include "app/shell/picture/PictureLoader.h"
#include "app/shell/picture/PictureScale.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t selector = input[0];
    ++input;
    --size;
    switch (selector % 3) {
    case 0: {
        // The header reader gets exactly the file's bytes, so any over-read is caught.
        std::vector<uint8_t> bytes(input, input + size);
        const shell::PictureHeader header =
            shell::ReadPictureHeader(bytes.empty() ? nullptr : bytes.data(), bytes.size());
        (void)shell::PictureSizeAllowed(header.width, header.height);
        break;
    }
    case 1: {
        if (size < 9)
            return 0;
        shell::TiffScaleTags tags;
        std::memcpy(&tags.xResolution, input, sizeof(double));
        tags.resolutionUnit = input[8] % 5;
        tags.description.assign(reinterpret_cast<const char*>(input + 9), size - 9);
        const auto scale = shell::ScaleFromTiffTags(tags);
        if (scale && !(scale->pixelsPerUnit > 0))
            __builtin_trap(); // a scale is always usable
        double low = 0, high = 0;
        if (shell::ImageJDisplayRange(tags.description, low, high) && !(high > low))
            __builtin_trap();
        break;
    }
    default: {
        if (size < 16)
            return 0;
        double low = 0, high = 0;
        std::memcpy(&low, input, sizeof low);
        std::memcpy(&high, input + 8, sizeof high);
        std::vector<uint16_t> samples((size - 16) / 2);
        std::memcpy(samples.data(), input + 16, samples.size() * 2);
        std::vector<uint8_t> out(samples.size());
        shell::MapSamplesTo8Bit(samples.data(), out.data(), samples.size(), low, high);
        break;
    }
    }
    return 0;
}
