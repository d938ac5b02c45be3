#include "camera/CWImage.h"

#include "camera/RowOps.h"

#include <new>

CWImage::CWImage()
    : format(FMT_UNKNOWN), width(0), height(0), bottomUp(0), data(nullptr), dataSize(0), bufferSize(0),
      externalBuffer(true)
{
}

CWImage::CWImage(int width, int height, unsigned char* data, unsigned dataSize, unsigned bufferSize,
                 bool externalBuffer, int format, int bottomUp)
    : format(format), width(width), height(height), bottomUp(bottomUp), data(data), dataSize(dataSize),
      bufferSize(bufferSize), externalBuffer(externalBuffer)
{
}

CWImage::~CWImage()
{
    if (!externalBuffer && data) {
        delete[] data;
        data = nullptr;
    }
}

void CWImage::flip()
{
    if (format != FMT_RGB24 && format != FMT_BGR24 && format != FMT_RGB32 && format != FMT_RGBA32)
        return;
    if (data && width > 0 && height > 0)
        lensbridge::swapRowsVertically(data, static_cast<size_t>(width) * CMBytesPerPixel(format), height);
    bottomUp = bottomUp == 1 ? 0 : 1;
}

void CWImage::topdown()
{
    if (bottomUp == 1)
        flip();
}

bool CWImage::checkBuffer(CWImage* image, int width, int height, int bitsPerChannel, int channels)
{
    if (!image)
        return false;
    if (image->data && image->width == width && image->height == height)
        return true;
    if (image->data) {
        delete[] image->data;
        image->data = nullptr;
    }
    image->width = width;
    image->height = height;
    image->dataSize = 0;
    image->bufferSize = 0;
    if (width <= 0 || height <= 0 || bitsPerChannel <= 0 || channels <= 0)
        return false;
    const unsigned long long size = static_cast<unsigned long long>(width) * height * bitsPerChannel * channels / 8;
    if (size == 0 || size > 0xFFFFFFFFull)
        return false;
    image->data = new (std::nothrow) unsigned char[size];
    if (!image->data)
        return false;
    image->dataSize = image->bufferSize = static_cast<unsigned>(size);
    return true;
}
