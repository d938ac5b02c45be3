#include "app/focus/StackRegistration.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace focus {
namespace {
// A tile is matched only where its correlation peak reaches this (a tile of
// empty glass or a wide blur has nothing to match).
constexpr double kMinCorrelation = 0.35;
// A tile flatter than this (grey-level deviation) is empty glass.
constexpr double kMinDeviation = 2.0;
// Tiles farther than this (working pixels) from the fit are dropped.
constexpr double kMaxResidual = 1.0;
// Matching runs on pictures about this wide.
constexpr int kWorkingWidth = 640;
constexpr int kGrid = 3;
// The template's side and how far it is looked for (working pixels).
constexpr int kTemplateSide = 64;
constexpr int kSearch = 8;
// Noise and the blur of other focus levels matter less on smoothed pictures.
constexpr double kSmoothing = 1.0;
// Least-squares steps after the correlation's estimate.
constexpr int kRefinements = 2;

struct TileShift {
    double u, v;   // tile centre relative to the picture's centre
    double dx, dy; // where the tile's content moved to in the frame
    double weight;
};

// The vertex of the parabola through three samples, relative to the middle one.
double vertex(float left, float middle, float right)
{
    const double curvature = double(left) - 2.0 * middle + right;
    return std::abs(curvature) > 1e-9 ? 0.5 * (double(left) - right) / curvature : 0.0;
}

// Least squares for d = (scale − 1) · p + shift over the tiles used.
bool fit(const std::vector<TileShift>& shifts, const std::vector<bool>& used, double& k, double& tx, double& ty)
{
    double suu = 0, su = 0, sv = 0, sw = 0, sud = 0, sdx = 0, sdy = 0;
    int n = 0;
    for (size_t i = 0; i < shifts.size(); ++i) {
        if (!used[i])
            continue;
        const TileShift& s = shifts[i];
        const double w = s.weight;
        suu += w * (s.u * s.u + s.v * s.v);
        su += w * s.u;
        sv += w * s.v;
        sw += w;
        sud += w * (s.u * s.dx + s.v * s.dy);
        sdx += w * s.dx;
        sdy += w * s.dy;
        ++n;
    }
    if (n == 0 || sw <= 0)
        return false;
    if (n < 3) { // a shift only
        k = 0;
        tx = sdx / sw;
        ty = sdy / sw;
        return true;
    }
    // Normal equations of [k tx ty]: eliminate tx, ty.
    const double det = suu - (su * su + sv * sv) / sw;
    k = std::abs(det) > 1e-9 ? (sud - (su * sdx + sv * sdy) / sw) / det : 0.0;
    tx = (sdx - k * su) / sw;
    ty = (sdy - k * sv) / sw;
    return true;
}
} // namespace

StackRegistration::StackRegistration(cv::Size size) : size_(size)
{
    reduction_ = std::max(1, int(std::lround(double(size.width) / kWorkingWidth)));
    working_ = cv::Size(std::max(1, size.width / reduction_), std::max(1, size.height / reduction_));
    // Templates on a grid of three by three, each with room to be looked
    // for around it.
    const int side =
        std::min({kTemplateSide, working_.width / kGrid - 2 * kSearch, working_.height / kGrid - 2 * kSearch});
    tileSide_ = std::max(8, side);
    for (int gy = 0; gy < kGrid; ++gy)
        for (int gx = 0; gx < kGrid; ++gx) {
            // Centres at 1/6, 1/2 and 5/6 of each side.
            const int cx = working_.width * (2 * gx + 1) / (2 * kGrid);
            const int cy = working_.height * (2 * gy + 1) / (2 * kGrid);
            tileRects_.emplace_back(cx - tileSide_ / 2, cy - tileSide_ / 2, tileSide_, tileSide_);
        }
    referenceTiles_.resize(tileRects_.size());
    frameTiles_.resize(tileRects_.size());
}

void StackRegistration::toWorkingGrey(const cv::Mat& rgba)
{
    const cv::Mat* source = &rgba;
    if (reduction_ > 1) {
        cv::resize(rgba, small_, working_, 0, 0, cv::INTER_AREA);
        source = &small_;
    }
    cv::cvtColor(*source, grey_, cv::COLOR_RGBA2GRAY);
    cv::GaussianBlur(grey_, grey_, cv::Size(), kSmoothing);
}

void StackRegistration::cutTiles(const cv::Mat& grey, std::vector<cv::Mat>& tiles, int margin) const
{
    const cv::Rect bounds(0, 0, grey.cols, grey.rows);
    for (size_t i = 0; i < tileRects_.size(); ++i) {
        const cv::Rect& r = tileRects_[i];
        const cv::Rect area = cv::Rect(r.x - margin, r.y - margin, r.width + 2 * margin, r.height + 2 * margin);
        if ((area & bounds) == area)
            tiles[i] = grey(area);
        else
            tiles[i] = cv::Mat();
    }
}

void StackRegistration::setReference(const cv::Mat& rgba)
{
    if (rgba.size() != size_)
        return;
    toWorkingGrey(rgba);
    grey_.copyTo(reference_);
    cutTiles(reference_, referenceTiles_, 0);
    cv::Sobel(reference_, gradientX_, CV_32F, 1, 0, 3, 1.0 / 8);
    cv::Sobel(reference_, gradientY_, CV_32F, 0, 1, 3, 1.0 / 8);
    haveReference_ = true;
}

int StackRegistration::fitTiles(double& k, double& tx, double& ty)
{
    std::vector<TileShift> shifts;
    shifts.reserve(tileRects_.size());
    textured_.assign(tileRects_.size(), false);
    const double cx = working_.width / 2.0, cy = working_.height / 2.0;
    for (size_t i = 0; i < tileRects_.size(); ++i) {
        const cv::Mat& tile = referenceTiles_[i];
        if (tile.empty() || frameTiles_[i].empty())
            continue;
        cv::Scalar mean, deviation;
        cv::meanStdDev(tile, mean, deviation);
        if (deviation[0] < kMinDeviation)
            continue;
        textured_[i] = true;
        cv::matchTemplate(frameTiles_[i], tile, scores_, cv::TM_CCOEFF_NORMED);
        double best = 0;
        cv::Point at;
        cv::minMaxLoc(scores_, nullptr, &best, nullptr, &at);
        // A peak on the edge of the search may lie beyond it.
        if (best < kMinCorrelation || at.x == 0 || at.y == 0 || at.x == scores_.cols - 1 || at.y == scores_.rows - 1)
            continue;
        const double dx =
            at.x - kSearch +
            vertex(scores_.at<float>(at.y, at.x - 1), scores_.at<float>(at.y, at.x), scores_.at<float>(at.y, at.x + 1));
        const double dy =
            at.y - kSearch +
            vertex(scores_.at<float>(at.y - 1, at.x), scores_.at<float>(at.y, at.x), scores_.at<float>(at.y + 1, at.x));
        const cv::Rect& r = tileRects_[i];
        shifts.push_back({r.x + r.width / 2.0 - cx, r.y + r.height / 2.0 - cy, dx, dy, best});
    }
    std::vector<bool> used(shifts.size(), true);
    if (!fit(shifts, used, k, tx, ty))
        return 0;
    // Once: drop the tiles the fit does not explain (a tile matched to the
    // wrong detail) and fit again.
    int kept = 0;
    for (size_t i = 0; i < shifts.size(); ++i) {
        const TileShift& s = shifts[i];
        used[i] = std::hypot(k * s.u + tx - s.dx, k * s.v + ty - s.dy) <= kMaxResidual;
        kept += used[i] ? 1 : 0;
    }
    if (kept == 0 || !fit(shifts, used, k, tx, ty))
        return 0;
    return kept;
}

bool StackRegistration::refine(const Placement& estimate, double& k, double& tx, double& ty) const
{
    // frame(estimate(x)) ≈ reference(x − d(x)), d(x) = k · (x − c) + t, so
    // frame(estimate(x)) − reference(x) ≈ −∇reference · d: least squares
    // over the tiles that have detail.
    const double cx = working_.width / 2.0, cy = working_.height / 2.0;
    const int lastX = greyFloat_.cols - 2, lastY = greyFloat_.rows - 2;
    cv::Matx33d a = cv::Matx33d::zeros();
    cv::Vec3d b(0, 0, 0);
    for (size_t i = 0; i < tileRects_.size(); ++i) {
        if (!textured_[i])
            continue;
        const cv::Rect& r = tileRects_[i];
        for (int y = r.y; y < r.y + r.height; ++y) {
            const uint8_t* ref = reference_.ptr<uint8_t>(y);
            const float* gx = gradientX_.ptr<float>(y);
            const float* gy = gradientY_.ptr<float>(y);
            const double v = y - cy;
            const double fy = cy + estimate.scale * v + estimate.dy;
            const int y0 = int(std::floor(fy));
            if (y0 < 0 || y0 > lastY)
                continue;
            const double wy = fy - y0;
            const float* row0 = greyFloat_.ptr<float>(y0);
            const float* row1 = greyFloat_.ptr<float>(y0 + 1);
            for (int x = r.x; x < r.x + r.width; ++x) {
                const double u = x - cx;
                const double fx = cx + estimate.scale * u + estimate.dx;
                const int x0 = int(std::floor(fx));
                if (x0 < 0 || x0 > lastX)
                    continue;
                const double wx = fx - x0;
                const double sample = (1 - wy) * ((1 - wx) * row0[x0] + wx * row0[x0 + 1]) +
                                      wy * ((1 - wx) * row1[x0] + wx * row1[x0 + 1]);
                const cv::Vec3d j(gx[x] * u + gy[x] * v, gx[x], gy[x]);
                a += j * j.t();
                b += j * (sample - ref[x]);
            }
        }
    }
    if (std::abs(cv::determinant(a)) < 1e-6)
        return false;
    const cv::Vec3d d = -(a.inv() * b);
    k = d[0];
    tx = d[1];
    ty = d[2];
    return true;
}

Placement StackRegistration::locate(const cv::Mat& rgba)
{
    Placement placement;
    if (!haveReference_ || rgba.size() != size_)
        return placement;
    toWorkingGrey(rgba);
    cutTiles(grey_, frameTiles_, kSearch);
    double k = 0, tx = 0, ty = 0;
    const int matched = fitTiles(k, tx, ty);
    if (matched == 0)
        return placement;
    // Refined by least-squares steps on the grey-level gradients, sampling
    // the frame where the estimate puts each reference pixel (a warped
    // picture would round positions to 1/32 pixel). Unlike the peak of a
    // correlation this has no bias of its own, so placements can be chained.
    Placement working{tx, ty, 1.0 + k, 1};
    grey_.convertTo(greyFloat_, CV_32F);
    for (int step = 0; step < kRefinements; ++step) {
        double k2 = 0, tx2 = 0, ty2 = 0;
        if (!refine(working, k2, tx2, ty2))
            break;
        working.dx += working.scale * tx2;
        working.dy += working.scale * ty2;
        working.scale *= 1.0 + k2;
    }
    const int kept = matched;
    placement.dx = working.dx * reduction_;
    placement.dy = working.dy * reduction_;
    placement.scale = working.scale;
    placement.tiles = kept;
    return placement;
}

cv::Matx23d StackRegistration::frameFromResult(const Placement& p, cv::Size size)
{
    const double cx = size.width / 2.0, cy = size.height / 2.0;
    return {p.scale, 0.0, cx * (1.0 - p.scale) + p.dx, 0.0, p.scale, cy * (1.0 - p.scale) + p.dy};
}

} // namespace focus
