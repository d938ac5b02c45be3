#include "app/panorama/PhaseCorrelation.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace panorama {
namespace {

// Peaks closer than this to the best one are its own shoulders, not rivals.
constexpr int kPeakRadius = 3;
// The whitened spectrum is weighted towards coarse detail, as if the
// correlation surface were blurred by this much: sensor noise lives in the
// finest detail, and a noise pattern that moves with the frame would
// otherwise raise a peak of its own.
constexpr double kSurfaceSigma = 1.0;

// exp(-2 π² σ² |f|²) per frequency of a `size` spectrum, scaled to a mean
// of 1; made once per size (tracking and refining alternate between sizes).
const cv::Mat& lowPass(cv::Size size)
{
    struct Entry {
        cv::Size size;
        cv::Mat weight;
    };
    thread_local std::vector<Entry> made;
    for (const Entry& e : made)
        if (e.size == size)
            return e.weight;
    if (made.size() >= 6)
        made.erase(made.begin());
    cv::Mat weight(size, CV_32F);
    const double k = 2 * CV_PI * CV_PI * kSurfaceSigma * kSurfaceSigma;
    for (int y = 0; y < size.height; ++y) {
        const double fy = double(std::min(y, size.height - y)) / size.height;
        auto* row = weight.ptr<float>(y);
        for (int x = 0; x < size.width; ++x) {
            const double fx = double(std::min(x, size.width - x)) / size.width;
            row[x] = float(std::exp(-k * (fx * fx + fy * fy)));
        }
    }
    // Identical pictures still peak at 1.
    weight /= cv::mean(weight)[0];
    made.push_back({size, weight});
    return made.back().weight;
}

// cross = a · conj(b), whitened (every frequency counts alike, so the peak
// is sharp) and weighted by `weight`, in one pass.
void whitenedCross(const cv::Mat& a, const cv::Mat& b, const cv::Mat& weight, cv::Mat& cross)
{
    cross.create(a.size(), CV_32FC2);
    for (int y = 0; y < a.rows; ++y) {
        const auto* pa = a.ptr<cv::Vec2f>(y);
        const auto* pb = b.ptr<cv::Vec2f>(y);
        const auto* pw = weight.ptr<float>(y);
        auto* out = cross.ptr<cv::Vec2f>(y);
        for (int x = 0; x < a.cols; ++x) {
            const float re = pa[x][0] * pb[x][0] + pa[x][1] * pb[x][1];
            const float im = pa[x][1] * pb[x][0] - pa[x][0] * pb[x][1];
            const float scale = pw[x] / (std::sqrt(re * re + im * im) + 1e-6f);
            out[x] = {re * scale, im * scale};
        }
    }
}

int wrapped(int i, int n) { return ((i % n) + n) % n; }

// Buffers of one transform size, kept per thread: tracking, refining and
// searching alternate between sizes, and a buffer resized at every call
// would be allocated at every call.
struct Workspace {
    cv::Size size;
    cv::Mat padded, fa, fb, cross, surface;
};

Workspace& workspaceFor(cv::Size size)
{
    thread_local std::vector<std::unique_ptr<Workspace>> made;
    for (const auto& w : made)
        if (w->size == size)
            return *w;
    if (made.size() >= 6)
        made.erase(made.begin());
    made.push_back(std::make_unique<Workspace>());
    made.back()->size = size;
    return *made.back();
}

} // namespace

void spectrumOf(const cv::Mat& picture, cv::Mat& spectrum)
{
    CV_Assert(picture.type() == CV_32F);
    const cv::Size size(cv::getOptimalDFTSize(picture.cols), cv::getOptimalDFTSize(picture.rows));
    cv::Mat& padded = workspaceFor(size).padded;
    cv::copyMakeBorder(picture, padded, 0, size.height - picture.rows, 0, size.width - picture.cols,
                       cv::BORDER_CONSTANT, 0);
    // Rows past the picture's own are zero: the transform skips them.
    cv::dft(padded, spectrum, cv::DFT_COMPLEX_OUTPUT, picture.rows);
}

CorrelationPeak correlate(const cv::Mat& reference, const cv::Mat& moved, cv::Size maxShift)
{
    CV_Assert(reference.size() == moved.size());
    Workspace& w = workspaceFor(cv::Size(cv::getOptimalDFTSize(reference.cols), cv::getOptimalDFTSize(reference.rows)));
    spectrumOf(reference, w.fa);
    spectrumOf(moved, w.fb);
    return correlateSpectra(w.fa, w.fb, maxShift);
}

CorrelationPeak correlateSpectra(const cv::Mat& reference, const cv::Mat& moved, cv::Size maxShift)
{
    CV_Assert(reference.type() == CV_32FC2 && moved.type() == CV_32FC2 && reference.size() == moved.size());
    const cv::Size size = reference.size();
    Workspace& w = workspaceFor(size);
    cv::Mat &cross = w.cross, &surface = w.surface;
    whitenedCross(reference, moved, lowPass(size), cross);
    cv::idft(cross, surface, cv::DFT_REAL_OUTPUT | cv::DFT_SCALE);

    const int rx = std::min(maxShift.width, size.width / 2 - 1);
    const int ry = std::min(maxShift.height, size.height / 2 - 1);
    auto at = [&](int dx, int dy) { return surface.at<float>(wrapped(dy, size.height), wrapped(dx, size.width)); };
    // Row by row over the shifts considered, each row in at most two runs
    // (negative shifts wrap to the row's end).
    auto scan = [&](auto&& visit) {
        for (int dy = -ry; dy <= ry; ++dy) {
            const float* row = surface.ptr<float>(wrapped(dy, size.height));
            for (int dx = -rx; dx < 0; ++dx)
                visit(dx, dy, row[size.width + dx]);
            for (int dx = 0; dx <= rx; ++dx)
                visit(dx, dy, row[dx]);
        }
    };
    CorrelationPeak peak;
    cv::Point best(0, 0);
    peak.height = -1;
    scan([&](int dx, int dy, float v) {
        if (v > peak.height) {
            peak.height = v;
            best = {dx, dy};
        }
    });
    scan([&](int dx, int dy, float v) {
        if ((std::abs(dx - best.x) > kPeakRadius || std::abs(dy - best.y) > kPeakRadius) && v > peak.runnerUp)
            peak.runnerUp = v;
    });
    // The centre of mass of the peak's 3 × 3 neighbourhood places it between pixels.
    double sum = 0, sx = 0, sy = 0;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            const double v = std::max(0.0f, at(best.x + dx, best.y + dy));
            sum += v;
            sx += v * dx;
            sy += v * dy;
        }
    // The surface peaks at d where reference(x) = moved(x - d).
    peak.shift = cv::Point2d(best.x + (sum > 0 ? sx / sum : 0), best.y + (sum > 0 ? sy / sum : 0));
    return peak;
}

void detailOf(const cv::Mat& grey, const cv::Mat& known, double sigma, cv::Mat& detail)
{
    CV_Assert(grey.type() == CV_32F);
    thread_local cv::Mat mean, weighted, weight;
    if (known.empty()) {
        cv::GaussianBlur(grey, mean, cv::Size(), sigma);
        cv::subtract(grey, mean, detail);
        return;
    }
    cv::multiply(grey, known, weighted);
    cv::GaussianBlur(weighted, mean, cv::Size(), sigma);
    cv::GaussianBlur(known, weight, cv::Size(), sigma);
    cv::max(weight, 1e-3, weight);
    cv::divide(mean, weight, mean);
    cv::subtract(grey, mean, detail);
    cv::multiply(detail, known, detail);
}

} // namespace panorama
