#include "app/view/ShadingCorrection.h"

#include "camera/CMTypes.h"
#include "platform/AtomicFile.h"

#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace {

// The reference is kept this many times smaller than the picture: shading
// varies slowly, and a small map is cheap to keep and to store.
constexpr int kReduction = 8;
constexpr int kGainOne = 4096;
constexpr float kMaxGain = 4.0f;
// Limits of a usable reference.
constexpr double kClippedLevel = 250, kClippedShare = 0.002;
constexpr double kDarkestCentre = 40, kDarkestCorner = 12;
constexpr double kTextureShare = 0.025; // residual deviation relative to the level

// Shading is smooth: a polynomial surface of degree 4 in x and y (normalised
// to -1 … 1 over the picture) per channel describes it, also at the edges and
// corners, where a blur would bend it.
constexpr int kDegree = 4;
constexpr int kTerms = (kDegree + 1) * (kDegree + 2) / 2;

// The middle fifth of a width × height picture each way: the level the
// correction keeps.
cv::Rect centreOf(int width, int height)
{
    return cv::Rect(width * 2 / 5, height * 2 / 5, std::max(1, width / 5), std::max(1, height / 5));
}

// Position of pixel `i` of `n` across the picture, -1 … 1.
double normalised(int i, int n) { return (i + 0.5) / n * 2.0 - 1.0; }

void terms(double x, double y, double* out)
{
    int k = 0;
    double yp = 1;
    for (int j = 0; j <= kDegree; ++j, yp *= y) {
        double xp = 1;
        for (int i = 0; i + j <= kDegree; ++i, xp *= x)
            out[k++] = xp * yp;
    }
}

// Coefficients (kTerms × 3) of the surface through a CV_32FC3 map.
cv::Mat fitSurface(const cv::Mat& map)
{
    cv::Mat a(static_cast<int>(map.total()), kTerms, CV_64F), b(static_cast<int>(map.total()), 3, CV_64F);
    int row = 0;
    for (int y = 0; y < map.rows; ++y)
        for (int x = 0; x < map.cols; ++x, ++row) {
            terms(normalised(x, map.cols), normalised(y, map.rows), a.ptr<double>(row));
            const cv::Vec3f v = map.at<cv::Vec3f>(y, x);
            for (int c = 0; c < 3; ++c)
                b.at<double>(row, c) = v[c];
        }
    cv::Mat coefficients;
    cv::solve(a, b, coefficients, cv::DECOMP_SVD);
    return coefficients;
}

// The surface at every pixel of a width × height picture, CV_32FC3: per row
// a polynomial in x, evaluated by Horner's rule.
cv::Mat evaluateSurface(const cv::Mat& coefficients, int width, int height)
{
    cv::Mat out(height, width, CV_32FC3);
    for (int y = 0; y < height; ++y) {
        const double yn = normalised(y, height);
        double inX[3][kDegree + 1] = {};
        int k = 0;
        double yp = 1;
        for (int j = 0; j <= kDegree; ++j, yp *= yn)
            for (int i = 0; i + j <= kDegree; ++i, ++k)
                for (int c = 0; c < 3; ++c)
                    inX[c][i] += coefficients.at<double>(k, c) * yp;
        auto* row = out.ptr<cv::Vec3f>(y);
        for (int x = 0; x < width; ++x) {
            const double xn = normalised(x, width);
            for (int c = 0; c < 3; ++c) {
                double v = inX[c][kDegree];
                for (int i = kDegree - 1; i >= 0; --i)
                    v = v * xn + inX[c][i];
                row[x][c] = static_cast<float>(v);
            }
        }
    }
    return out;
}

} // namespace

bool ShadingReference::save(const std::string& file) const
{
    if (empty())
        return false;
    cv::Mat scaled;
    smoothed.convertTo(scaled, CV_16UC3, 256.0);
    std::vector<uint8_t> png;
    try {
        // The picture size it belongs to rides in the file name; the map's
        // own size says the rest.
        if (!cv::imencode(".png", scaled, png))
            return false;
    } catch (const cv::Exception&) {
        return false;
    }
    // A reference cut short by a crash or a full disk would be refused at the
    // next start and the old one lost with it: it replaces the old one whole.
    platform::AtomicFile out(file, platform::ExistingFile::Replace);
    return out.write(png.data(), png.size()) && out.commit();
}

bool ShadingReference::load(const std::string& file, ShadingReference& out)
{
    cv::Mat scaled;
    try {
        scaled = cv::imread(file, cv::IMREAD_UNCHANGED);
    } catch (const cv::Exception&) {
        return false;
    }
    if (scaled.empty() || scaled.type() != CV_16UC3)
        return false;
    scaled.convertTo(out.smoothed, CV_32FC3, 1.0 / 256.0);
    return true;
}

ShadingRefusal makeShadingReference(const cv::Mat& average, ShadingReference& out)
{
    if (average.empty() || average.type() != CV_32FC3)
        return ShadingRefusal::NoFrames;
    // Clipped: too many pixels at the top of the range.
    cv::Mat brightest;
    cv::Mat channels[3];
    cv::split(average, channels);
    cv::max(channels[0], channels[1], brightest);
    cv::max(brightest, channels[2], brightest);
    if (cv::countNonZero(brightest >= kClippedLevel) > kClippedShare * double(average.total()))
        return ShadingRefusal::Clipped;

    cv::Mat reduced, back;
    const cv::Size small(std::max(4, average.cols / kReduction), std::max(4, average.rows / kReduction));
    cv::resize(average, reduced, small, 0, 0, cv::INTER_AREA);
    const cv::Mat smoothed = evaluateSurface(fitSurface(reduced), small.width, small.height);

    const cv::Scalar centreLevel = cv::mean(smoothed(centreOf(small.width, small.height)));
    double darkest = 0;
    cv::Mat smoothedGrey;
    cv::cvtColor(smoothed, smoothedGrey, cv::COLOR_RGB2GRAY);
    cv::minMaxLoc(smoothedGrey, &darkest);
    if ((centreLevel[0] + centreLevel[1] + centreLevel[2]) / 3 < kDarkestCentre || darkest < kDarkestCorner)
        return ShadingRefusal::TooDark;

    // Textured: what the smooth surface does not explain, relative to the level.
    cv::resize(smoothed, back, average.size(), 0, 0, cv::INTER_LINEAR);
    cv::Mat residual = (average - back) / cv::max(back, 1.0f);
    cv::Scalar mean, deviation;
    cv::meanStdDev(residual.reshape(1), mean, deviation);
    if (deviation[0] > kTextureShare)
        return ShadingRefusal::Textured;

    out.width = average.cols;
    out.height = average.rows;
    out.smoothed = smoothed;
    return ShadingRefusal::None;
}

void ShadingCorrection::collect(int frames)
{
    m_wanted = std::max(1, frames);
    m_collected = 0;
    m_sum.release();
}

ShadingRefusal makeShadingReference(const ShadingFrames& frames, ShadingReference& out)
{
    if (frames.count <= 0 || frames.sum.empty())
        return ShadingRefusal::NoFrames;
    return makeShadingReference(cv::Mat(frames.sum / frames.count), out);
}

bool ShadingCorrection::takeFrames(ShadingFrames& out)
{
    if (m_wanted > 0 || m_collected == 0)
        return false;
    out.sum = std::move(m_sum);
    out.count = m_collected;
    m_sum.release();
    m_collected = 0;
    return true;
}

ShadingRefusal ShadingCorrection::finishCollecting(ShadingReference& made)
{
    ShadingFrames frames;
    if (!takeFrames(frames))
        return ShadingRefusal::NoFrames;
    const ShadingRefusal refusal = makeShadingReference(frames, made);
    if (refusal == ShadingRefusal::None)
        setReference(made);
    return refusal;
}

cv::Mat makeShadingGains(const ShadingReference& reference)
{
    cv::Mat gains;
    if (reference.empty())
        return gains;
    // Gain per channel: the centre's level over the level here, from the
    // surface at every pixel of the picture.
    const cv::Mat level = evaluateSurface(fitSurface(reference.smoothed), reference.width, reference.height);
    const cv::Scalar centreLevel = cv::mean(level(centreOf(reference.width, reference.height)));
    gains.create(reference.height, reference.width, CV_16UC4);
    for (int y = 0; y < level.rows; ++y) {
        const auto* in = level.ptr<cv::Vec3f>(y);
        auto* out = gains.ptr<cv::Vec<uint16_t, 4>>(y);
        for (int x = 0; x < level.cols; ++x) {
            for (int c = 0; c < 3; ++c)
                out[x][c] = static_cast<uint16_t>(
                    std::lround(std::clamp(static_cast<float>(centreLevel[c]) / std::max(in[x][c], 1.0f),
                                           1.0f / kMaxGain, kMaxGain) *
                                kGainOne));
            out[x][3] = kGainOne;
        }
    }
    return gains;
}

void ShadingCorrection::setReference(const ShadingReference& reference)
{
    setReference(reference, makeShadingGains(reference));
}

void ShadingCorrection::setReference(const ShadingReference& reference, cv::Mat gains)
{
    m_reference = reference;
    m_gains = std::move(gains);
    m_scaledGains.release();
    if (reference.empty() || m_gains.type() != CV_16UC4 || m_gains.cols != reference.width ||
        m_gains.rows != reference.height) {
        m_reference = {};
        m_gains.release();
    }
}

void ShadingCorrection::clear()
{
    m_reference = {};
    m_gains.release();
    m_scaledGains.release();
}

bool ShadingCorrection::correctsSize(int width, int height) const
{
    return m_enabled && !m_gains.empty() && m_gains.cols == width && m_gains.rows == height;
}

bool ShadingCorrection::process(CWImage& picture) { return process(picture, picture.width, picture.height); }

bool ShadingCorrection::process(CWImage& picture, int fullWidth, int fullHeight)
{
    if ((picture.format != FMT_RGBA32 && picture.format != FMT_RGB32) || !picture.data || picture.width <= 0 ||
        picture.height <= 0 || size_t(picture.width) * picture.height * 4 > picture.dataSize)
        return false;
    m_lastWidth = fullWidth;
    m_lastHeight = fullHeight;
    const bool reduced = picture.width != fullWidth || picture.height != fullHeight;
    if (reduced) {
        if (!correctsSize(fullWidth, fullHeight))
            return false;
        if (m_scaledGains.cols != picture.width || m_scaledGains.rows != picture.height)
            cv::resize(m_gains, m_scaledGains, cv::Size(picture.width, picture.height), 0, 0, cv::INTER_AREA);
        applyGains(m_scaledGains, picture.data);
        return true;
    }
    if (m_wanted > 0) {
        const cv::Mat rgba(picture.height, picture.width, CV_8UC4, picture.data);
        cv::Mat rgb;
        cv::cvtColor(rgba, rgb, cv::COLOR_RGBA2RGB);
        if (m_sum.empty() || m_sum.size() != rgb.size()) {
            m_sum = cv::Mat::zeros(rgb.size(), CV_32FC3);
            m_collected = 0;
        }
        cv::accumulate(rgb, m_sum);
        ++m_collected;
        --m_wanted;
    }
    if (!correctsSize(picture.width, picture.height))
        return false;
    apply(picture.data, picture.width, picture.height);
    return true;
}

void ShadingCorrection::apply(uint8_t* rgba, int width, int height) const
{
    if (m_gains.cols != width || m_gains.rows != height)
        return;
    applyGains(m_gains, rgba);
}

void ShadingCorrection::applyGains(const cv::Mat& gains, uint8_t* rgba)
{
    const size_t count = gains.total() * 4;
    const uint16_t* gain = gains.ptr<uint16_t>();
    size_t i = 0;
#if CV_SIMD
    // 8-bit value times a 4.12 fixed-point gain, rounded, saturated.
    const size_t step = cv::v_uint8::nlanes;
    for (; i + step <= count; i += step) {
        cv::v_uint16 low, high;
        cv::v_expand(cv::vx_load(rgba + i), low, high);
        cv::v_uint32 a, b, c, d;
        cv::v_mul_expand(low, cv::vx_load(gain + i), a, b);
        cv::v_mul_expand(high, cv::vx_load(gain + i + step / 2), c, d);
        cv::v_store(rgba + i, cv::v_pack(cv::v_rshr_pack<12>(a, b), cv::v_rshr_pack<12>(c, d)));
    }
#endif
    for (; i < count; ++i)
        rgba[i] = static_cast<uint8_t>(std::min<uint32_t>(255, (uint32_t(rgba[i]) * gain[i] + kGainOne / 2) >> 12));
}
