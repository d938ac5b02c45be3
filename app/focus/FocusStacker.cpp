#include "app/focus/FocusStacker.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

namespace focus {
namespace {
// The focus map is about this wide (a 1080p frame's map is half its size).
constexpr int kMapWidth = 960;
// A place takes a frame's content only when the frame is sharper there by
// this factor plus a part of the first frame's typical (median) sharpness,
// which is mostly the sensor's noise: noise alone in empty glass must not
// keep replacing the result.
constexpr double kMargin = 1.02;
constexpr double kNoiseShare = 0.5;
// Smoothing of the sharpness and the feathering of the change, in map pixels.
constexpr double kSharpnessSigma = 3.0;
constexpr double kFeatherSigma = 4.0;
} // namespace

FocusStacker::FocusStacker(cv::Size size) : size_(size), registration_(size)
{
    const int reduction = std::max(1, int(std::lround(double(size.width) / kMapWidth)));
    mapSize_ = cv::Size(std::max(1, size.width / reduction), std::max(1, size.height / reduction));
    mapSigma_ = kSharpnessSigma;
    featherSigma_ = kFeatherSigma;
    result_.create(size, CV_8UC4);
    alpha_.create(size, CV_32F);
    best_.create(mapSize_, CV_32F);
}

void FocusStacker::measure(const cv::Mat& rgba, cv::Mat& sharpness)
{
    const cv::Mat* source = &rgba;
    if (mapSize_ != size_) {
        cv::resize(rgba, small_, mapSize_, 0, 0, cv::INTER_AREA);
        source = &small_;
    }
    cv::cvtColor(*source, grey_, cv::COLOR_RGBA2GRAY);
    cv::Laplacian(grey_, laplacian_, CV_32F, 3);
    cv::multiply(laplacian_, laplacian_, sharpness);
    cv::GaussianBlur(sharpness, sharpness, cv::Size(), mapSigma_);
}

FocusStacker::Outcome FocusStacker::add(const cv::Mat& rgba)
{
    if (rgba.size() != size_ || rgba.type() != CV_8UC4)
        return Outcome::WrongSize;
    if (added_ == 0) {
        rgba.copyTo(result_);
        measure(result_, best_);
        registration_.setReference(result_);
        std::vector<float> values(best_.begin<float>(), best_.end<float>());
        std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
        noiseFloor_ = kNoiseShare * values[values.size() / 2];
        placement_ = Placement{};
        ++added_;
        return Outcome::Merged;
    }
    // Placed against the previous frame taken, which is focused nearly as
    // this one is (the result mixes focus levels and would pull the match),
    // then carried into the result through the previous frame's placement.
    const Placement step = registration_.locate(rgba);
    if (step.tiles == 0)
        return Outcome::NotPlaced;
    placement_.dx = step.scale * placement_.dx + step.dx;
    placement_.dy = step.scale * placement_.dy + step.dy;
    placement_.scale *= step.scale;
    placement_.tiles = step.tiles;
    registration_.setReference(rgba);

    // The frame's sharpness, measured as it stands and carried onto the
    // result's map (a small picture to warp instead of the whole frame).
    measure(rgba, frameSharpness_);
    const double onMap = double(mapSize_.width) / size_.width;
    Placement mapPlacement = placement_;
    mapPlacement.dx *= onMap;
    mapPlacement.dy *= onMap;
    cv::warpAffine(frameSharpness_, sharpness_, cv::Mat(StackRegistration::frameFromResult(mapPlacement, mapSize_)),
                   mapSize_, cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_REPLICATE);

    // Where the frame is clearly sharper: 1, elsewhere 0; then feathered.
    cv::multiply(best_, cv::Scalar(kMargin), threshold_);
    cv::add(threshold_, cv::Scalar(noiseFloor_), threshold_);
    cv::compare(sharpness_, threshold_, mask_, cv::CMP_GT);
    ++added_;
    const cv::Rect changed = cv::boundingRect(mask_);
    if (changed.empty())
        return Outcome::NothingNew;
    mask_.convertTo(alphaSmall_, CV_32F, 1.0 / 255.0);
    cv::GaussianBlur(alphaSmall_, alphaSmall_, cv::Size(), featherSigma_);
    // The map follows the content: best = alpha · sharpness + (1 − alpha) · best.
    cv::subtract(sharpness_, best_, threshold_);
    cv::multiply(threshold_, alphaSmall_, threshold_);
    cv::add(best_, threshold_, best_);

    // Only the part the feathered change reaches is warped and blended.
    const int reach = int(std::ceil(3 * featherSigma_)) + 1;
    const cv::Rect onMapBox =
        cv::Rect(changed.x - reach, changed.y - reach, changed.width + 2 * reach, changed.height + 2 * reach) &
        cv::Rect(cv::Point(), mapSize_);
    const cv::Rect box = cv::Rect(int(std::floor(onMapBox.x / onMap)), int(std::floor(onMapBox.y / onMap)),
                                  int(std::ceil(onMapBox.width / onMap)), int(std::ceil(onMapBox.height / onMap))) &
                         cv::Rect(cv::Point(), size_);
    const cv::Matx23d toFrame = StackRegistration::frameFromResult(placement_, size_);
    cv::Mat alpha = alpha_(box), result = result_(box);
    if (mapSize_ != size_)
        cv::resize(alphaSmall_(onMapBox), alpha, box.size(), 0, 0, cv::INTER_LINEAR);
    else
        alphaSmall_(onMapBox).copyTo(alpha);
    // Warped and blended in one pass, only where the change reaches.
    warp_.blendInto(rgba, result, alpha, placement_.scale, toFrame(0, 2) + placement_.scale * box.x,
                    toFrame(1, 2) + placement_.scale * box.y);
    return Outcome::Merged;
}

} // namespace focus
