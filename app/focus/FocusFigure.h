#pragma once
// The focus figure of a picture: the variance of the Laplacian of its grey
// levels divided by the squared mean grey level, so a brighter or darker
// picture of the same sharpness gets the same figure; scaled so a sharp
// microscope picture reads in the hundreds to thousands. A region larger
// than a quarter of a 1920 × 1080 frame is measured on evenly spread bands
// of its rows (the same figure of fewer pixels), so its cost stays that of
// the quarter.
//
// Threads: an instance belongs to one thread at a time (it keeps its working
// pictures, so measuring allocates nothing once the size is known).
#include <opencv2/core.hpp>

namespace focus {

// The centre third of a picture of `size` (a third of each side).
cv::Rect centreThird(cv::Size size);

class FocusFigure {
public:
    // The figure of `region` (clipped to the picture) of an RGBA picture;
    // 0 for an empty region or a black one.
    double measure(const cv::Mat& rgba, cv::Rect region);

private:
    cv::Mat grey_;
    cv::Mat laplacian_;
};

} // namespace focus
