#include "app/panorama/Stitcher.h"

#include "app/panorama/PhaseCorrelation.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

namespace panorama {
namespace {

constexpr int kR = PanoramaCanvas::kReduction;
// The detail registration works on: finer than the light's unevenness.
constexpr double kReducedDetailSigma = 4.0;
constexpr double kFullDetailSigma = 3.0;
constexpr double kNoiseSigma = 1.0;
// The whole panorama is searched at this much less again, and at twice that
// again while it would take more pixels than this: a lost frame then costs
// no more than a placed one however far the panorama has grown.
constexpr int kSearchReduction = 2;
constexpr int64_t kMaxSearchPixels = 250'000;
// Where the stage is expected from its last step, it is looked for within
// 1/16 of a frame; where it was last, or roughly found, within 1/8.
constexpr int kNearReach = 16;
constexpr int kFarReach = 8;
// A match counts when its peak stands out this much from any rival.
constexpr double kMinPeak = 0.12;
constexpr double kMaxRivalShare = 0.45;
// The frame and the panorama under it must agree this well (normalised
// cross-correlation of their detail) over at least this share of the frame.
constexpr double kMinAgreement = 0.5;
constexpr double kMinOverlap = 0.08;
// The full-size refinement looks at a patch of this size and may move the
// coarse answer by this much.
constexpr int kPatch = 256;
constexpr int kMinPatch = 64;
constexpr int kMaxRefinement = 6;
constexpr double kMinRefinedPeak = 0.1;
constexpr double kMaxRefinedRivalShare = 0.3;
// A frame with less fine detail than this share of the frame placed before
// it is blurred.
constexpr double kMinSharpShare = 0.45;

int floorTo(int v, int step) { return (v >= 0 ? v / step : -((-v + step - 1) / step)) * step; }

cv::Point rounded(cv::Point2d p) { return {int(std::lround(p.x)), int(std::lround(p.y))}; }

// Normalised cross-correlation of two detail pictures where `known` is set.
double agreement(const cv::Mat& a, const cv::Mat& b, const cv::Mat& known, double& overlap)
{
    cv::Mat ak, bk;
    cv::multiply(a, known, ak);
    cv::multiply(b, known, bk);
    overlap = cv::mean(known)[0];
    const double ab = ak.dot(bk), aa = ak.dot(ak), bb = bk.dot(bk);
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0.0;
}

// Detail between the sensor's noise and the light's unevenness: the
// picture smoothed over the noise less its mean over the fine detail.
void bandPass(const cv::Mat& grey, cv::Mat& detail)
{
    cv::Mat mean;
    cv::GaussianBlur(grey, detail, cv::Size(), kNoiseSigma);
    cv::GaussianBlur(grey, mean, cv::Size(), std::hypot(kNoiseSigma, kFullDetailSigma));
    detail -= mean;
}

// A Hanning window of `size`, or its square root (flatter: the middle counts
// in full), made once per size.
const cv::Mat& taper(cv::Size size, bool flat)
{
    struct Entry {
        cv::Size size;
        bool flat;
        cv::Mat window;
    };
    thread_local std::vector<Entry> made;
    for (const Entry& e : made)
        if (e.size == size && e.flat == flat)
            return e.window;
    if (made.size() >= 8)
        made.erase(made.begin());
    Entry e{size, flat, cv::Mat()};
    cv::createHanningWindow(e.window, size, CV_32F);
    if (flat)
        cv::sqrt(e.window, e.window);
    made.push_back(std::move(e));
    return made.back().window;
}

} // namespace

Stitcher::Stitcher(int64_t maxPixels) : m_canvas(maxPixels) {}

void Stitcher::prepare(const cv::Mat& rgba, Frame& frame)
{
    cv::Mat& small = m_reduced;
    cv::cvtColor(rgba, frame.grey, cv::COLOR_RGBA2GRAY);
    cv::resize(frame.grey, m_edges, cv::Size(rgba.cols / kR, rgba.rows / kR), 0, 0, cv::INTER_AREA);
    m_edges.convertTo(small, CV_32F);
    // The finest detail left after the reduction: motion blur takes it first.
    cv::Mat& edges = m_edges;
    cv::Laplacian(small, edges, CV_32F);
    frame.sharpness = edges.dot(edges) / double(edges.total());
    detailOf(small, cv::Mat(), kReducedDetailSigma, frame.detail);
    cv::multiply(frame.detail, m_taper, frame.detail);
}

FrameOutcome Stitcher::add(const cv::Mat& rgba)
{
    CV_Assert(rgba.type() == CV_8UC4);
    if (!m_frameSize.empty() && rgba.size() != m_frameSize)
        return FrameOutcome::SizeChanged;
    if (m_frameSize.empty()) {
        if (rgba.cols < 8 * kR || rgba.rows < 8 * kR)
            return FrameOutcome::SizeChanged;
        m_frameSize = rgba.size();
        m_taper = taper(cv::Size(rgba.cols / kR, rgba.rows / kR), true);
    }
    Frame& frame = m_frame;
    prepare(rgba, frame);

    std::optional<cv::Point> at;
    if (m_canvas.empty()) {
        // Start only where there is something to find again.
        cv::Scalar mean, deviation;
        cv::meanStdDev(frame.detail, mean, deviation);
        if (deviation[0] < 1.5)
            return FrameOutcome::Lost;
        at = cv::Point(0, 0);
    } else {
        // Where the stage is heading, else where it was, else anywhere.
        if (!m_lost && m_velocity != cv::Point())
            at = track(frame, m_field.tl() + m_velocity, kNearReach);
        if (!at)
            at = track(frame, m_field.tl(), kFarReach);
        // The whole panorama: made ready on the first frame lost, searched
        // from the next, so no frame pays for both.
        if (!at) {
            if (m_searchSpectrum.empty())
                prepareSearch();
            else if (const auto found = search(frame))
                at = track(frame, *found, kFarReach);
        }
        if (at)
            at = refine(frame, *at);
    }
    if (!at) {
        const bool fast =
            std::abs(m_velocity.x) > m_frameSize.width / 16 || std::abs(m_velocity.y) > m_frameSize.height / 16;
        // Motion blur takes most of the detail at once; the stage moving
        // onto glass takes it gradually.
        const bool blurred = frame.sharpness < kMinSharpShare * m_sharpness;
        m_lost = true;
        return fast || blurred ? FrameOutcome::TooFast : FrameOutcome::Lost;
    }
    if (!m_canvas.place(rgba, *at))
        return FrameOutcome::LimitReached;
    if (!m_field.empty() && !m_lost)
        m_velocity = *at - m_field.tl();
    else
        m_velocity = {};
    m_field = cv::Rect(*at, m_frameSize);
    m_searchSpectrum.release();
    m_sharpness = frame.sharpness;
    m_lost = false;
    ++m_placed;
    return FrameOutcome::Placed;
}

std::optional<cv::Point> Stitcher::track(const Frame& frame, cv::Point expected, int reach) const
{
    // A window around where the frame is expected, 1 / reach of a frame wider on every side.
    const cv::Point margin(floorTo(m_frameSize.width / reach, kR), floorTo(m_frameSize.height / reach, kR));
    const cv::Point corner(floorTo(expected.x - margin.x, kR), floorTo(expected.y - margin.y, kR));
    const cv::Size small(frame.detail.cols + 2 * margin.x / kR + 1, frame.detail.rows + 2 * margin.y / kR + 1);
    const cv::Rect region(corner, small * kR);
    cv::Mat grey, known, reference;
    m_canvas.reducedRegion(region, grey, known);
    detailOf(grey, known, kReducedDetailSigma, reference);
    cv::multiply(reference, taper(small, true), reference);
    // The frame where it is expected in the window.
    const cv::Point offset = (expected - corner) / kR;
    cv::Mat moved = cv::Mat::zeros(small, CV_32F);
    frame.detail.copyTo(moved(cv::Rect(offset, frame.detail.size())));

    const CorrelationPeak peak = correlate(reference, moved, cv::Size(margin.x / kR, margin.y / kR));
    if (peak.height < kMinPeak || peak.runnerUp > kMaxRivalShare * peak.height)
        return std::nullopt;
    const cv::Point step = rounded(peak.shift);
    const cv::Rect placedIn(offset + step, frame.detail.size());
    if ((placedIn & cv::Rect(cv::Point(), small)) != placedIn)
        return std::nullopt;
    // The panorama under the frame where it was found must show the same.
    double overlap = 0;
    const double agree = agreement(frame.detail, reference(placedIn), known(placedIn), overlap);
    if (overlap < kMinOverlap || agree < kMinAgreement)
        return std::nullopt;
    return corner + offset * kR + rounded(peak.shift * kR);
}

void Stitcher::prepareSearch()
{
    cv::Mat grey, known, reference;
    const int64_t reduced = int64_t(m_canvas.bounds().area()) / (kR * kR);
    m_searchReduction = kSearchReduction;
    while (reduced / (m_searchReduction * m_searchReduction) > kMaxSearchPixels && m_searchReduction < 8)
        m_searchReduction *= 2;
    m_canvas.reducedWhole(m_searchReduction, grey, known, m_searchCorner);
    detailOf(grey, known, kReducedDetailSigma / m_searchReduction, reference);
    // Room for a frame that reaches beyond the panorama, and the frame in
    // the middle of its window so every place is one shift away.
    m_searchPad = cv::Size(m_frameSize.width / kR / m_searchReduction, m_frameSize.height / kR / m_searchReduction);
    cv::copyMakeBorder(reference, reference, m_searchPad.height, m_searchPad.height, m_searchPad.width,
                       m_searchPad.width, cv::BORDER_CONSTANT, 0);
    m_searchSize = reference.size();
    spectrumOf(reference, m_searchSpectrum);
}

std::optional<cv::Point> Stitcher::search(const Frame& frame)
{
    cv::Mat& moved = m_searchMoved;
    moved.create(m_searchSize, CV_32F);
    moved.setTo(0);
    const cv::Point offset((moved.cols - m_searchPad.width) / 2, (moved.rows - m_searchPad.height) / 2);
    cv::Mat in = moved(cv::Rect(offset, m_searchPad));
    cv::resize(frame.detail, in, m_searchPad, 0, 0, cv::INTER_AREA);
    spectrumOf(moved, m_searchMovedSpectrum);
    const CorrelationPeak peak = correlateSpectra(m_searchSpectrum, m_searchMovedSpectrum, m_searchSize);
    if (peak.height < kMinPeak || peak.runnerUp > kMaxRivalShare * peak.height)
        return std::nullopt;
    const int scale = kR * m_searchReduction;
    const cv::Point2d place =
        (cv::Point2d(offset) + peak.shift - cv::Point2d(m_searchPad.width, m_searchPad.height)) * scale;
    return m_searchCorner + rounded(place);
}

std::optional<cv::Point> Stitcher::refine(const Frame& frame, cv::Point coarse) const
{
    // The patch with the most detail among those the panorama covers
    // wholly: a patch reaching past the stitched area would bring the
    // border along, which matches itself where the coarse answer put it.
    cv::Mat grey, known;
    const cv::Point alignedCorner(floorTo(coarse.x, kR), floorTo(coarse.y, kR));
    m_canvas.reducedRegion(cv::Rect(alignedCorner, cv::Size(frame.detail.cols + 1, frame.detail.rows + 1) * kR), grey,
                           known);
    cv::Mat covered;
    known(cv::Rect(0, 0, frame.detail.cols, frame.detail.rows)).convertTo(covered, CV_8U, 255);
    cv::copyMakeBorder(covered, covered, 1, 1, 1, 1, cv::BORDER_CONSTANT, 0);
    cv::Mat inside;
    cv::distanceTransform(covered, inside, cv::DIST_C, 3);
    inside = inside(cv::Rect(1, 1, frame.detail.cols, frame.detail.rows));
    double deepest = 0;
    cv::minMaxLoc(inside, nullptr, &deepest);
    // The patch's half side in reduced pixels, as large as the covered area allows.
    const int half = std::min({kPatch / 2 / kR, frame.detail.cols / 2, frame.detail.rows / 2, int(deepest) - 1});
    if (half < kMinPatch / 2 / kR)
        return std::nullopt;
    cv::Mat energy;
    cv::boxFilter(cv::abs(frame.detail), energy, CV_32F, cv::Size(2 * half, 2 * half));
    energy.setTo(0, inside < half + 1);
    cv::Point centre;
    cv::minMaxLoc(energy, nullptr, nullptr, nullptr, &centre);
    const cv::Size patchSize(2 * half * kR, 2 * half * kR);
    const cv::Point patchCorner(
        std::clamp(centre.x * kR - patchSize.width / 2, 0, m_frameSize.width - patchSize.width),
        std::clamp(centre.y * kR - patchSize.height / 2, 0, m_frameSize.height - patchSize.height));
    const cv::Rect inFrame(patchCorner, patchSize);

    // Detail between the sensor's noise and the light's unevenness. The
    // patch lies wholly in the covered area: every pixel of it is known.
    cv::Mat canvasGrey, canvasKnown, frameGrey, reference, moved;
    m_canvas.greyRegion(inFrame + coarse, canvasGrey, canvasKnown);
    frame.grey(inFrame).convertTo(frameGrey, CV_32F);
    bandPass(canvasGrey, reference);
    bandPass(frameGrey, moved);
    const cv::Mat& window = taper(patchSize, false);
    cv::multiply(reference, window, reference);
    cv::multiply(moved, window, moved);
    const CorrelationPeak peak = correlate(reference, moved, cv::Size(kMaxRefinement, kMaxRefinement));
    // A fine periodic structure (a scale's ticks) the reduced pictures did
    // not resolve shows here as a rival as high as the peak.
    if (peak.height < kMinRefinedPeak || peak.runnerUp > kMaxRefinedRivalShare * peak.height)
        return std::nullopt;
    return coarse + rounded(peak.shift);
}

} // namespace panorama
