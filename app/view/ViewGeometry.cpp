#include "app/view/ViewGeometry.h"

#include <cstdio>

ViewFit fitImage(int width, int height, float controlWidth, float controlHeight)
{
    ViewFit fit;
    if (width <= 0 || height <= 0 || controlHeight <= 0)
        return fit;
    if (float(width) / float(height) > controlWidth / controlHeight) {
        fit.zoom = controlWidth / float(width);
        fit.originY = (controlHeight - fit.zoom * float(height)) * 0.5f;
    } else {
        fit.zoom = controlHeight / float(height);
        fit.originX = (controlWidth - fit.zoom * float(width)) * 0.5f;
    }
    return fit;
}

std::string formatElapsed(long long seconds)
{
    if (seconds < 0)
        seconds = 0;
    char text[32];
    const int length = std::snprintf(text, sizeof text, "%02d:%02d:%02d", int(seconds / 3600), int((seconds / 60) % 60),
                                     int(seconds % 60));
    return std::string(text, length > 0 ? size_t(length) : 0);
}
