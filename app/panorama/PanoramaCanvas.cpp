#include "app/panorama/PanoramaCanvas.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cmath>

namespace panorama {
namespace {

constexpr int kR = PanoramaCanvas::kReduction;

int floorTo(int v, int step) { return (v >= 0 ? v / step : -((-v + step - 1) / step)) * step; }
int ceilTo(int v, int step) { return -floorTo(-v, step); }

cv::Rect aligned(const cv::Rect& r)
{
    const int x0 = floorTo(r.x, kR), y0 = floorTo(r.y, kR);
    return {x0, y0, ceilTo(r.x + r.width, kR) - x0, ceilTo(r.y + r.height, kR) - y0};
}

int64_t area(const cv::Rect& r) { return int64_t(r.width) * int64_t(r.height); }

// blendShare[w][f]: the share (of 256) a frame pixel of weight f takes from a
// canvas pixel that has gathered weight w.
const std::array<std::array<uint16_t, 256>, 256>& blendShares()
{
    static const auto table = [] {
        std::array<std::array<uint16_t, 256>, 256> t{};
        for (int w = 0; w < 256; ++w)
            for (int f = 0; f < 256; ++f)
                t[w][f] = uint16_t(w + f == 0 ? 0 : std::lround(256.0 * f / (w + f)));
        return t;
    }();
    return table;
}

// A 16 × 16 ordered dither (0 … 255): each frame's share rounds up or down
// so that, on average, it adds exactly its share. Plain rounding would let
// a small share never change a pixel at all.
constexpr unsigned kDither = 16;
const std::array<std::array<uint8_t, kDither>, kDither>& ditherPattern()
{
    static const auto pattern = [] {
        std::array<std::array<uint8_t, kDither>, kDither> p{};
        for (unsigned y = 0; y < kDither; ++y)
            for (unsigned x = 0; x < kDither; ++x) {
                // Bayer's recursive pattern: bit-reversed interleave of x ^ y and y.
                unsigned v = 0;
                for (unsigned bit = 0; bit < 4; ++bit)
                    v |= (((x ^ y) >> bit & 1u) << (7 - 2 * bit)) | ((y >> bit & 1u) << (6 - 2 * bit));
                p[y][x] = uint8_t(v);
            }
        return p;
    }();
    return pattern;
}

} // namespace

PanoramaCanvas::PanoramaCanvas(int64_t maxPixels) : m_maxPixels(maxPixels) {}

const cv::Mat& PanoramaCanvas::featherFor(cv::Size size)
{
    if (m_feather.size() != size) {
        // Full weight from this far inside the frame's edge.
        const int ramp = std::max(4, std::min({64, size.width / 6, size.height / 6}));
        m_feather.create(size, CV_8UC1);
        for (int y = 0; y < size.height; ++y) {
            auto* row = m_feather.ptr<uint8_t>(y);
            const int dy = std::min(y, size.height - 1 - y);
            for (int x = 0; x < size.width; ++x) {
                const int d = std::min({dy, x, size.width - 1 - x});
                row[x] = uint8_t(std::clamp(kFullWeight * (d + 1) / ramp, 1, kFullWeight));
            }
        }
    }
    return m_feather;
}

bool PanoramaCanvas::place(const cv::Mat& rgba, cv::Point at)
{
    CV_Assert(rgba.type() == CV_8UC4);
    const cv::Rect field(at, rgba.size());
    const cv::Rect covered = m_bounds.empty() ? field : (m_bounds | field);
    if (area(covered) > m_maxPixels)
        return false;
    grow(field);
    m_bounds = covered;

    const cv::Mat& feather = featherFor(rgba.size());
    const auto& share = blendShares();
    const auto& dither = ditherPattern();
    const cv::Point corner = at - m_origin;
    // Another dither phase for every frame, so a stage standing still does
    // not round each pixel the same way again and again. The 16 dither rows
    // of this frame, spread over R, G, B (0 for the weight, which is summed).
    const unsigned phase = m_frames++ * 7;
    const size_t bytes = size_t(rgba.cols) * 4;
    m_rounding.resize(kDither * bytes);
    m_shares.resize(bytes);
    for (unsigned dy = 0; dy < kDither; ++dy) {
        uint16_t* to = m_rounding.data() + dy * bytes;
        const uint8_t* from = dither[(dy + phase) & (kDither - 1)].data();
        for (int x = 0; x < rgba.cols; ++x, to += 4) {
            to[0] = to[1] = to[2] = from[(unsigned(x) + phase) & (kDither - 1)];
            to[3] = 0;
        }
    }
    for (int y = 0; y < rgba.rows; ++y) {
        const uint8_t* in = rgba.ptr<uint8_t>(y);
        const uint8_t* weight = feather.ptr<uint8_t>(y);
        const uint16_t* rounding = m_rounding.data() + (unsigned(y) & (kDither - 1)) * bytes;
        uint8_t* out = m_colour.ptr<uint8_t>(corner.y + y) + size_t(corner.x) * 4;
        // Each pixel's share from the weight it has gathered; the weight
        // itself grows here and is left alone by the blend below (share 0).
        uint16_t* shares = m_shares.data();
        for (int x = 0; x < rgba.cols; ++x, shares += 4) {
            const unsigned f = weight[x], w = out[4 * x + 3];
            shares[0] = shares[1] = shares[2] = share[w][f];
            shares[3] = 0;
            out[4 * x + 3] = uint8_t(std::min(255u, w + f));
        }
        // The blend, byte by byte with no look-ups, so it runs on vectors:
        // out · (256 − a) + in · a + rounding stays below 65536.
        shares = m_shares.data();
        for (size_t i = 0; i < bytes; ++i) {
            const uint16_t a = shares[i];
            out[i] = uint8_t(uint16_t(out[i] * uint16_t(256 - a) + in[i] * a + rounding[i]) >> 8);
        }
    }
    refreshReduced(field);
    return true;
}

void PanoramaCanvas::grow(const cv::Rect& field)
{
    const cv::Rect have(m_origin, m_colour.size());
    if (!m_colour.empty() && (have & field) == field)
        return;
    const cv::Rect covered = m_bounds.empty() ? field : (m_bounds | field);
    // Room for half a frame more on every side, so a moving stage makes the
    // canvas grow now and then, not at every frame; never past the limit.
    const cv::Rect margin(field.x - field.width / 2, field.y - field.height / 2, field.width * 2, field.height * 2);
    cv::Rect wanted = aligned(m_colour.empty() ? margin : (have | margin));
    if (area(wanted) > m_maxPixels + m_maxPixels / 4)
        wanted = aligned(m_colour.empty() ? covered : (have | covered));
    cv::Mat colour(wanted.size(), CV_8UC4, cv::Scalar::all(0));
    cv::Mat small(wanted.height / kR, wanted.width / kR, CV_8UC4, cv::Scalar::all(0));
    if (!m_colour.empty()) {
        const cv::Point shift = m_origin - wanted.tl();
        m_colour.copyTo(colour(cv::Rect(shift, m_colour.size())));
        m_small.copyTo(small(cv::Rect(shift / kR, m_small.size())));
    }
    m_colour = colour;
    m_small = small;
    m_origin = wanted.tl();
}

void PanoramaCanvas::refreshReduced(const cv::Rect& field)
{
    const cv::Rect region = aligned(field) - m_origin;
    cv::Mat small = m_small(cv::Rect(region.tl() / kR, region.size() / kR));
    cv::resize(m_colour(region), small, small.size(), 0, 0, cv::INTER_AREA);
    // A reduced pixel counts as covered only when all it stands for is:
    // inside the field every pixel is; on its edge, where the reduced
    // pixels reach past it, each pixel is looked at.
    const cv::Point inside = field.tl() - m_origin - region.tl();
    const bool ragged[4] = {inside.x != 0, inside.y != 0, (inside.x + field.width) % kR != 0,
                            (inside.y + field.height) % kR != 0};
    for (int by = 0; by < small.rows; ++by) {
        auto* row = small.ptr<cv::Vec4b>(by);
        const bool edgeRow = (by == 0 && ragged[1]) || (by == small.rows - 1 && ragged[3]);
        for (int bx = 0; bx < small.cols; ++bx) {
            const bool edge = edgeRow || (bx == 0 && ragged[0]) || (bx == small.cols - 1 && ragged[2]);
            bool covered = true;
            for (int y = 0; edge && covered && y < kR; ++y) {
                const uint8_t* p = m_colour.ptr<uint8_t>(region.y + by * kR + y) + size_t(region.x + bx * kR) * 4;
                for (int x = 0; x < kR; ++x)
                    covered = covered && p[4 * x + 3] != 0;
            }
            row[bx][3] = covered ? 255 : 0;
        }
    }
}

cv::Mat PanoramaCanvas::smallRegion(const cv::Rect& region) const
{
    CV_Assert(region.x % kR == 0 && region.y % kR == 0 && region.width % kR == 0 && region.height % kR == 0);
    cv::Mat out(region.height / kR, region.width / kR, CV_8UC4, cv::Scalar::all(0));
    const cv::Rect have(m_origin, m_colour.size());
    const cv::Rect common = have & region;
    if (!common.empty()) {
        const cv::Rect from((common.tl() - m_origin) / kR, common.size() / kR);
        m_small(from).copyTo(out(cv::Rect((common.tl() - region.tl()) / kR, common.size() / kR)));
    }
    return out;
}

namespace {

void splitGreyKnown(const cv::Mat& small, cv::Mat& grey, cv::Mat& known)
{
    cv::Mat g, k;
    cv::cvtColor(small, g, cv::COLOR_RGBA2GRAY);
    g.convertTo(grey, CV_32F);
    cv::extractChannel(small, k, 3);
    k.convertTo(known, CV_32F, 1.0 / 255);
    cv::multiply(grey, known, grey);
}

} // namespace

void PanoramaCanvas::reducedRegion(const cv::Rect& region, cv::Mat& grey, cv::Mat& known) const
{
    splitGreyKnown(smallRegion(region), grey, known);
}

void PanoramaCanvas::reducedWhole(int factor, cv::Mat& grey, cv::Mat& known, cv::Point& corner) const
{
    corner = m_origin;
    cv::Mat small;
    cv::resize(m_small, small, cv::Size(m_small.cols / factor, m_small.rows / factor), 0, 0, cv::INTER_AREA);
    splitGreyKnown(small, grey, known);
    // Partly covered pixels are not known.
    cv::threshold(known, known, 0.999, 1.0, cv::THRESH_BINARY);
    cv::multiply(grey, known, grey);
}

void PanoramaCanvas::greyRegion(const cv::Rect& region, cv::Mat& grey, cv::Mat& known) const
{
    grey = cv::Mat::zeros(region.size(), CV_32F);
    known = cv::Mat::zeros(region.size(), CV_32F);
    const cv::Rect have(m_origin, m_colour.size());
    const cv::Rect common = have & region;
    if (common.empty())
        return;
    const cv::Mat colour = m_colour(common - m_origin);
    const cv::Rect to = common - region.tl();
    cv::Mat g, w;
    cv::cvtColor(colour, g, cv::COLOR_RGBA2GRAY);
    g.convertTo(grey(to), CV_32F);
    cv::extractChannel(colour, w, 3);
    cv::threshold(w, w, 0, 1, cv::THRESH_BINARY);
    w.convertTo(known(to), CV_32F);
    cv::multiply(grey, known, grey);
}

void PanoramaCanvas::copyPicture(std::vector<uint8_t>& rgba) const
{
    rgba.clear();
    if (m_bounds.empty())
        return;
    rgba.resize(size_t(m_bounds.width) * size_t(m_bounds.height) * 4);
    cv::Mat out(m_bounds.size(), CV_8UC4, rgba.data());
    const cv::Mat colour = m_colour(m_bounds - m_origin);
    for (int y = 0; y < out.rows; ++y) {
        const uint8_t* in = colour.ptr<uint8_t>(y);
        uint8_t* to = out.ptr<uint8_t>(y);
        for (int x = 0; x < out.cols; ++x, in += 4, to += 4) {
            // Uncovered pixels stay black; the weight becomes an opaque alpha.
            to[0] = in[0];
            to[1] = in[1];
            to[2] = in[2];
            to[3] = 255;
        }
    }
}

cv::Mat PanoramaCanvas::preview(int maxSide, double& scale) const
{
    scale = 0;
    if (m_bounds.empty())
        return cv::Mat();
    const cv::Rect region = aligned(m_bounds);
    cv::Mat small = smallRegion(region);
    // The reduced copy's pixels under the covered area only.
    const cv::Rect inside((m_bounds.tl() - region.tl()) / kR,
                          cv::Size(std::max(1, m_bounds.width / kR), std::max(1, m_bounds.height / kR)));
    small = small(inside & cv::Rect(0, 0, small.cols, small.rows));
    const double fit = std::min(1.0, double(maxSide) / std::max(small.cols, small.rows));
    cv::Mat out;
    if (fit < 1)
        cv::resize(small, out, cv::Size(), fit, fit, cv::INTER_AREA);
    else
        out = small.clone();
    // Covered or not, the preview is opaque.
    std::vector<cv::Mat> planes;
    cv::split(out, planes);
    planes[3].setTo(255);
    cv::merge(planes, out);
    scale = double(out.cols) / m_bounds.width;
    return out;
}

} // namespace panorama
