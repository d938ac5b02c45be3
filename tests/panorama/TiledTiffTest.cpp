// The tiled TIFF writer read back through libtiff: tiles, pixels, scale.
#include "app/panorama/TiledTiff.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <filesystem>
#include <vector>

namespace panorama {
namespace {

TEST(TiledTiffTest, WritesTilesThatReadBackWithTheScale)
{
    const auto folder = std::filesystem::temp_directory_path() / ("tiled-tiff-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    // Not a multiple of the tile size either way.
    const int width = 600, height = 300;
    std::vector<uint8_t> rgba(size_t(width) * height * 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &rgba[(size_t(y) * width + x) * 4];
            p[0] = uint8_t(x), p[1] = uint8_t(y), p[2] = uint8_t(x ^ y), p[3] = 255;
        }
    std::string saved;
    ASSERT_TRUE(writeTiledTiff((folder / "pano.tif").string(), rgba.data(), width, height, {2.5, "micron"}, &saved));
    EXPECT_EQ(saved, (folder / "pano.tif").string());

    TIFF* tiff = TIFFOpen(saved.c_str(), "r");
    ASSERT_NE(tiff, nullptr);
    EXPECT_TRUE(TIFFIsTiled(tiff));
    uint32_t w = 0, h = 0, tw = 0;
    float xres = 0;
    char* description = nullptr;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &tw);
    TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &xres);
    TIFFGetField(tiff, TIFFTAG_IMAGEDESCRIPTION, &description);
    EXPECT_EQ(w, uint32_t(width));
    EXPECT_EQ(h, uint32_t(height));
    EXPECT_EQ(tw, 256u);
    EXPECT_FLOAT_EQ(xres, 2.5f);
    ASSERT_NE(description, nullptr);
    EXPECT_NE(std::string(description).find("unit=micron"), std::string::npos);
    std::vector<uint32_t> raster(size_t(width) * height);
    ASSERT_EQ(TIFFReadRGBAImageOriented(tiff, w, h, raster.data(), ORIENTATION_TOPLEFT, 0), 1);
    TIFFClose(tiff);
    int wrong = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint32_t p = raster[size_t(y) * width + x];
            wrong += TIFFGetR(p) != uint8_t(x) || TIFFGetG(p) != uint8_t(y) || TIFFGetB(p) != uint8_t(x ^ y);
        }
    EXPECT_EQ(wrong, 0);

    // A folder that cannot take the file: refused, nothing left behind.
    EXPECT_FALSE(writeTiledTiff((folder / "missing" / "pano.tif").string(), rgba.data(), width, height, {}));
    std::filesystem::remove_all(folder);
}

} // namespace
} // namespace panorama
