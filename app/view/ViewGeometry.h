#pragma once
// The arithmetic of the render view: fitting the picture into the control,
// and the elapsed-time text of the recording indicator.

#include <string>

struct ViewFit {
    float zoom = 1.0f;    // view pixels per image pixel
    float originX = 0.0f; // view position of image pixel (0, 0)
    float originY = 0.0f;
};

// Centres and letterboxes an image of width × height in a control of
// controlWidth × controlHeight, scaling up or down without distortion. A
// relatively wider picture fills the width; otherwise (equal aspect too) the
// height. Non-positive image sizes give the identity.
ViewFit fitImage(int width, int height, float controlWidth, float controlHeight);

// "hh:mm:ss" of a whole number of seconds.
std::string formatElapsed(long long seconds);
