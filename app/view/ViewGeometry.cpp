#include "app/view/ViewGeometry.h"

#include <algorithm>
#include <cmath>
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

void ViewZoom::setSizes(int imageWidth, int imageHeight, float controlWidth, float controlHeight)
{
    if (imageWidth <= 0 || imageHeight <= 0 || !(controlWidth > 0) || !(controlHeight > 0))
        return;
    const bool newPicture = imageWidth != imageWidth_ || imageHeight != imageHeight_;
    // The picture point at the control's centre stays there on a resize.
    float centreU = 0, centreV = 0;
    toPicture(controlWidth_ * 0.5f, controlHeight_ * 0.5f, centreU, centreV);
    const float oldControlWidth = controlWidth_;
    imageWidth_ = imageWidth;
    imageHeight_ = imageHeight;
    controlWidth_ = controlWidth;
    controlHeight_ = controlHeight;
    fitted_ = fitImage(imageWidth, imageHeight, controlWidth, controlHeight);
    if (fittedFlag_ || newPicture || oldControlWidth <= 0 || current_.zoom <= fitted_.zoom) {
        fittedFlag_ = true;
        current_ = fitted_;
        return;
    }
    current_.originX = controlWidth * 0.5f - centreU * current_.zoom;
    current_.originY = controlHeight * 0.5f - centreV * current_.zoom;
    clampOrigin();
}

int ViewZoom::percent() const { return int(std::lround(current_.zoom * 100.0f)); }

bool ViewZoom::zoomAbout(float factor, float x, float y)
{
    if (!(factor > 0) || !std::isfinite(factor))
        return false;
    return setScaleAbout(current_.zoom * factor, x, y);
}

bool ViewZoom::setScaleAbout(float scale, float x, float y)
{
    if (imageWidth_ <= 0 || !(scale > 0) || !std::isfinite(scale))
        return false;
    const ViewFit before = current_;
    const float lowest = fitted_.zoom;
    const float highest = std::max(kMaxScale, lowest);
    scale = std::clamp(scale, lowest, highest);
    if (scale <= lowest) {
        fittedFlag_ = true;
        current_ = fitted_;
    } else {
        float u = 0, v = 0;
        toPicture(x, y, u, v);
        fittedFlag_ = false;
        current_.zoom = scale;
        current_.originX = x - u * scale;
        current_.originY = y - v * scale;
        clampOrigin();
    }
    return current_ != before;
}

bool ViewZoom::fit()
{
    const ViewFit before = current_;
    fittedFlag_ = true;
    current_ = fitted_;
    return current_ != before;
}

bool ViewZoom::panBy(float dx, float dy)
{
    if (fittedFlag_ || !std::isfinite(dx) || !std::isfinite(dy))
        return false;
    const ViewFit before = current_;
    current_.originX += dx;
    current_.originY += dy;
    clampOrigin();
    return current_ != before;
}

void ViewZoom::clampOrigin()
{
    auto clampAxis = [](float& origin, float picture, float control) {
        if (picture <= control)
            origin = (control - picture) * 0.5f;
        else
            origin = std::clamp(origin, control - picture, 0.0f);
    };
    clampAxis(current_.originX, float(imageWidth_) * current_.zoom, controlWidth_);
    clampAxis(current_.originY, float(imageHeight_) * current_.zoom, controlHeight_);
}

void ViewZoom::toPicture(float x, float y, float& u, float& v) const
{
    const float zoom = current_.zoom > 0 ? current_.zoom : 1.0f;
    u = (x - current_.originX) / zoom;
    v = (y - current_.originY) / zoom;
}

void ViewZoom::toView(float u, float v, float& x, float& y) const
{
    x = current_.originX + u * current_.zoom;
    y = current_.originY + v * current_.zoom;
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
