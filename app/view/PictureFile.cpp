#include "app/view/PictureFile.h"

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <strings.h>

#include <cerrno>
#include <vector>

namespace view {
namespace {

bool endsWithNoCase(const std::string& text, const char* suffix)
{
    const size_t n = std::char_traits<char>::length(suffix);
    return text.size() >= n && ::strcasecmp(text.c_str() + text.size() - n, suffix) == 0;
}

} // namespace

int SavePictureFile(const std::string& path, const uint8_t* pixels, int width, int height, PixelOrder order,
                    platform::ExistingFile existing, std::string& saved)
{
    const size_t dot = path.find_last_of('.');
    const size_t slash = path.find_last_of('/');
    if (!pixels || width <= 0 || height <= 0 || dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return EINVAL;
    std::vector<int> parameters;
    // The last three characters of the name decide, as the format does.
    if (endsWithNoCase(path, "jpg"))
        parameters = {cv::IMWRITE_JPEG_QUALITY, 90};
    else if (endsWithNoCase(path, "png"))
        parameters = {cv::IMWRITE_PNG_COMPRESSION, 6};
    std::vector<uchar> encoded;
    try {
        const cv::Mat picture(height, width, CV_8UC4, const_cast<uint8_t*>(pixels));
        cv::Mat bgra;
        if (order == PixelOrder::Rgba)
            cv::cvtColor(picture, bgra, cv::COLOR_RGBA2BGRA);
        if (!cv::imencode(path.substr(dot), order == PixelOrder::Rgba ? bgra : picture, encoded, parameters))
            return EINVAL;
    } catch (const cv::Exception&) {
        return EINVAL; // no encoder for the extension
    }
    platform::AtomicFile file(path, existing);
    if (!file.isOpen())
        return file.error();
    if (!file.write(encoded.data(), encoded.size()) || !file.commit())
        return file.error();
    saved = file.finalPath();
    return 0;
}

} // namespace view
