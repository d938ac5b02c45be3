#pragma once
// The arithmetic of the render view: fitting the picture into the control,
// zooming and panning it, and the elapsed-time text of the recording indicator.

#include <string>

struct ViewFit {
    float zoom = 1.0f;    // view pixels per image pixel
    float originX = 0.0f; // view position of image pixel (0, 0)
    float originY = 0.0f;

    bool operator==(const ViewFit&) const = default;
};

// Centres and letterboxes an image of width × height in a control of
// controlWidth × controlHeight, scaling up or down without distortion. A
// relatively wider picture fills the width; otherwise (equal aspect too) the
// height. Non-positive image sizes give the identity.
ViewFit fitImage(int width, int height, float controlWidth, float controlHeight);

// Where the picture stands in the control: fitted (centred, letterboxed), or
// magnified up to 16 view pixels per image pixel and panned. Positions are
// control pixels; picture coordinates never change with the zoom, only the
// transform that shows them. Not thread-safe.
class ViewZoom {
public:
    static constexpr float kMaxScale = 16.0f;

    // The picture or the control changed size. A picture of another size is
    // shown fitted; a new control size keeps a magnification (at least the
    // fit) and the picture point at the control's centre. Non-positive sizes
    // are ignored.
    void setSizes(int imageWidth, int imageHeight, float controlWidth, float controlHeight);
    // The transform in force: view pixels per image pixel and the view
    // position of image pixel (0, 0).
    const ViewFit& transform() const { return current_; }
    // View pixels per image pixel when fitted.
    float fitScale() const { return fitted_.zoom; }
    bool isFitted() const { return fittedFlag_; }
    // The scale in per cent of one view pixel per image pixel ("Zoom 400 %").
    int percent() const;

    // Multiplies the scale by `factor` about the control point (x, y), which
    // keeps showing the same picture point; the scale stays between the fit
    // and 16 (the fit when that is larger). Returns whether anything changed.
    bool zoomAbout(float factor, float x, float y);
    // The same to an absolute scale (1: one image pixel per view pixel).
    bool setScaleAbout(float scale, float x, float y);
    // Back to the fit.
    bool fit();
    // Moves the picture by (dx, dy) view pixels; a picture larger than the
    // control always covers it, a smaller one stays centred on that axis.
    bool panBy(float dx, float dy);

    // Control point → picture coordinates, and back.
    void toPicture(float x, float y, float& u, float& v) const;
    void toView(float u, float v, float& x, float& y) const;

private:
    // Keeps the picture over the control (or centred) after a change.
    void clampOrigin();

    int imageWidth_ = 0;
    int imageHeight_ = 0;
    float controlWidth_ = 0;
    float controlHeight_ = 0;
    ViewFit fitted_;
    ViewFit current_;
    bool fittedFlag_ = true;
};

// "hh:mm:ss" of a whole number of seconds.
std::string formatElapsed(long long seconds);
