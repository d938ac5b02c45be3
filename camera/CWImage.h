#pragma once
#include "camera/CMTypes.h"

// A plain image record. When `externalBuffer` is false the record owns `data`
// (allocated with array new) and frees it on destruction. Copy assignment
// shares the buffer: exactly one of the copies may own it.
class LENSBRIDGE_API CWImage {
public:
    int format;
    int width;
    int height;
    int bottomUp;
    unsigned char* data;
    unsigned dataSize;
    unsigned bufferSize;
    bool externalBuffer;

    CWImage();
    CWImage(int width, int height, unsigned char* data, unsigned dataSize, unsigned bufferSize, bool externalBuffer,
            int format, int bottomUp);
    CWImage(const CWImage& other) = default;
    CWImage& operator=(const CWImage& other) = default;
    ~CWImage();

    // Reverses the row order of 3- and 4-byte formats and toggles `bottomUp`;
    // other formats are left alone.
    void flip();
    // Makes the rows top-down (flips only bottom-up images).
    void topdown();

    // Ensures `image` owns a width × height buffer of bitsPerChannel ×
    // channels bits per pixel. Same width and height keeps the buffer as is.
    static bool checkBuffer(CWImage* image, int width, int height, int bitsPerChannel, int channels);
};
