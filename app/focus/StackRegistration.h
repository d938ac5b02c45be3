#pragma once
// Where a frame of a focus sweep lies against the stack's result: the stage
// shakes a little and the magnification changes slightly with the focus, so
// each frame is found again by a shift and a scale about the picture's
// centre before it is merged. Tiles spread over the picture are matched by
// normalised cross-correlation at a reduced size (unlike phase correlation it
// keeps its peak between a sharp tile and a blurred one); a least-squares fit of their shifts
// gives the shift and the scale, tiles that disagree with it are dropped.
// A least-squares step on the gradients then refines the estimate without
// the sub-pixel bias a correlation peak has.
//
// Threads: an instance belongs to one thread at a time; it keeps its working
// pictures, so locating allocates nothing once the size is known.
#include <opencv2/core.hpp>

#include <vector>

namespace focus {

// frame(centre + scale · (q − centre) + shift) shows what result(q) shows
// (full-size pixels).
struct Placement {
    double dx = 0.0;
    double dy = 0.0;
    double scale = 1.0;
    // Tiles that agreed; 0 when the frame could not be placed.
    int tiles = 0;
};

class StackRegistration {
public:
    // For RGBA pictures of `size`.
    explicit StackRegistration(cv::Size size);

    // The picture frames are placed against (the stack's result so far).
    void setReference(const cv::Mat& rgba);
    // Where `rgba` (of the size given) lies against the reference. tiles = 0
    // when too few tiles have detail to match (an empty field) or the
    // reference is not set.
    Placement locate(const cv::Mat& rgba);

    // The 2 × 3 matrix that maps result pixels to frame pixels, for
    // cv::warpAffine with WARP_INVERSE_MAP.
    static cv::Matx23d frameFromResult(const Placement& placement, cv::Size size);

private:
    void toWorkingGrey(const cv::Mat& rgba);
    // Views of `grey` around each tile, `margin` pixels wider on every side
    // (empty where that leaves the picture).
    void cutTiles(const cv::Mat& grey, std::vector<cv::Mat>& tiles, int margin) const;
    // Fits scale − 1 (`k`) and the shift (working pixels) to the tiles of
    // frameTiles_ against the reference; the number of tiles that agreed.
    int fitTiles(double& k, double& tx, double& ty);
    // A least-squares correction of the same model for the frame (greyFloat_)
    // placed by `estimate` against the reference, over the tiles with
    // detail; false when it is undetermined.
    bool refine(const Placement& estimate, double& k, double& tx, double& ty) const;

    cv::Size size_;
    int reduction_ = 1;
    cv::Size working_;
    int tileSide_ = 0;
    std::vector<cv::Rect> tileRects_;
    cv::Mat small_;
    cv::Mat grey_;
    cv::Mat greyFloat_;
    cv::Mat reference_;
    cv::Mat gradientX_;
    cv::Mat gradientY_;
    std::vector<bool> textured_;
    cv::Mat scores_;
    std::vector<cv::Mat> referenceTiles_;
    std::vector<cv::Mat> frameTiles_;
    bool haveReference_ = false;
};

} // namespace focus
