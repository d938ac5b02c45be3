#pragma once
// FocusStacker: merges the frames of a focus sweep into one picture in which
// every part is sharp. Each frame is placed against the result (shift and
// scale, StackRegistration) and warped onto it (cubic, ShiftScaleWarp, only
// where it changes the result); a focus map at a reduced
// size keeps, per place, the best local sharpness seen so far (the smoothed
// energy of the Laplacian). Where a frame is sharper than the map by a
// margin, it replaces the result, with the change feathered so no seams or
// blocks show. Memory: the result, the focus map and working pictures of one
// frame; never the frames themselves.
//
// Threads: an instance belongs to one thread at a time (the merging worker,
// then the UI thread once the worker has ended).
#include "app/focus/ShiftScaleWarp.h"
#include "app/focus/StackRegistration.h"

#include <opencv2/core.hpp>

namespace focus {

class FocusStacker {
public:
    // For RGBA frames of `size`; allocates everything it needs here.
    explicit FocusStacker(cv::Size size);

    enum class Outcome {
        Merged,     // the frame changed the result
        NothingNew, // placed, but sharper nowhere
        NotPlaced,  // too little detail to place it; left out
        WrongSize,  // not of the stack's size; left out
    };
    // Merges one RGBA frame (the first one becomes the result as it is).
    Outcome add(const cv::Mat& rgba);

    cv::Size size() const { return size_; }
    // The merged picture (RGBA, the stack's size); empty before the first frame.
    const cv::Mat& result() const { return result_; }
    // The best local sharpness seen so far, at the map's reduced size.
    const cv::Mat& focusMap() const { return best_; }
    // Where the last frame was placed.
    const Placement& lastPlacement() const { return placement_; }
    int framesAdded() const { return added_; }

private:
    // Local sharpness of an RGBA picture into `sharpness` (map size).
    void measure(const cv::Mat& rgba, cv::Mat& sharpness);

    cv::Size size_;
    cv::Size mapSize_;
    double mapSigma_ = 0.0;
    double featherSigma_ = 0.0;
    StackRegistration registration_;
    ShiftScaleWarp warp_;
    Placement placement_;
    int added_ = 0;
    // The part of the sharpness a place needs beyond the margin (noise).
    double noiseFloor_ = 0.0;
    cv::Mat result_;
    cv::Mat best_;
    // Working pictures, reused for every frame.
    cv::Mat small_;
    cv::Mat grey_;
    cv::Mat laplacian_;
    cv::Mat frameSharpness_;
    cv::Mat sharpness_;
    cv::Mat threshold_;
    cv::Mat mask_;
    cv::Mat alphaSmall_;
    cv::Mat alpha_;
};

} // namespace focus
