#include "app/focus/ShiftScaleWarp.h"

#include <algorithm>
#include <cmath>

namespace focus {
namespace {

// The cubic convolution kernel with a = −0.75, as OpenCV's INTER_CUBIC.
constexpr float kA = -0.75f;

// The weights of the samples at −1, 0, 1, 2 for a point `t` ∈ [0, 1) past sample 0.
void cubicWeights(float t, float* w)
{
    w[0] = ((kA * (t + 1) - 5 * kA) * (t + 1) + 8 * kA) * (t + 1) - 4 * kA;
    w[1] = ((kA + 2) * t - (kA + 3)) * t * t + 1;
    w[2] = ((kA + 2) * (1 - t) - (kA + 3)) * (1 - t) * (1 - t) + 1;
    w[3] = 1.f - w[0] - w[1] - w[2];
}

// Below this a blend moves no grey level by more than a quarter.
constexpr float kNoChange = 1.f / 1024;
// At most this many bands of rows are warped at once.
constexpr int kMaxBands = 8;

} // namespace

void ShiftScaleWarp::apply(const cv::Mat& source, cv::Mat& dest, double scale, double dx, double dy)
{
    warp(source, dest, nullptr, scale, dx, dy);
}

void ShiftScaleWarp::blendInto(const cv::Mat& source, cv::Mat& dest, const cv::Mat& alpha, double scale, double dx,
                               double dy)
{
    CV_Assert(alpha.type() == CV_32F && alpha.size() == dest.size());
    warp(source, dest, &alpha, scale, dx, dy);
}

void ShiftScaleWarp::warp(const cv::Mat& source, cv::Mat& dest, const cv::Mat* alpha, double scale, double dx,
                          double dy)
{
    CV_Assert(source.type() == CV_8UC4 && dest.type() == CV_8UC4 && !source.empty());
    const int width = dest.cols, height = dest.rows;
    if (width == 0 || height == 0)
        return;

    // The source columns the output reaches, three more for the taps; the
    // working row holds them all, borders replicated where they leave the picture.
    // (At least one column lies inside, should the output lie wholly beside it.)
    const int first = std::min(int(std::floor(std::min(dx, scale * (width - 1) + dx))) - 1, source.cols - 1);
    const int last = std::max(int(std::floor(std::max(dx, scale * (width - 1) + dx))) + 2, 0);
    const int span = last - first + 1;
    columnTap_.resize(size_t(width));
    columnWeights_.resize(size_t(width) * 4);
    for (int x = 0; x < width; ++x) {
        const double sx = scale * x + dx;
        const double whole = std::floor(sx);
        columnTap_[size_t(x)] = (int(whole) - 1 - first) * 4;
        cubicWeights(float(sx - whole), &columnWeights_[size_t(x) * 4]);
    }
    const int inLo = std::max(first, 0), inHi = std::min(last, source.cols - 1);
    const int insideValues = (inHi - inLo + 1) * 4;

    // Bands of rows on OpenCV's threads, each with a working row of its own.
    const int bands = std::clamp(std::min(cv::getNumThreads(), kMaxBands), 1, std::max(1, height / 16));
    rows_.resize(size_t(kMaxBands));
    for (int b = 0; b < bands; ++b)
        rows_[size_t(b)].resize(size_t(span) * 4);
    cv::parallel_for_(cv::Range(0, bands), [&](const cv::Range& range) {
        for (int band = range.start; band < range.end; ++band)
            warpRows(source, dest, alpha, scale, dy, height * band / bands, height * (band + 1) / bands, first, last,
                     inLo, inHi, insideValues, rows_[size_t(band)].data());
    });
}

void ShiftScaleWarp::warpRows(const cv::Mat& source, cv::Mat& dest, const cv::Mat* alpha, double scale, double dy,
                              int rowFrom, int rowTo, int first, int last, int inLo, int inHi, int insideValues,
                              float* row) const
{
    const int width = dest.cols;
    float* inside = row + (inLo - first) * 4;
    for (int y = rowFrom; y < rowTo; ++y) {
        const float* a = alpha ? alpha->ptr<float>(y) : nullptr;
        if (a && std::none_of(a, a + width, [](float v) { return v >= kNoChange; }))
            continue;
        const double sy = scale * y + dy;
        const double whole = std::floor(sy);
        float w[4];
        cubicWeights(float(sy - whole), w);
        const uint8_t* r[4];
        for (int k = 0; k < 4; ++k)
            r[k] = source.ptr<uint8_t>(std::clamp(int(whole) - 1 + k, 0, source.rows - 1)) + inLo * 4;
        // Vertical pass over the columns inside the picture.
        for (int i = 0; i < insideValues; ++i)
            inside[i] = w[0] * r[0][i] + w[1] * r[1][i] + w[2] * r[2][i] + w[3] * r[3][i];
        // Replicated borders.
        for (int v = first; v < inLo; ++v)
            std::copy(inside, inside + 4, row + (v - first) * 4);
        for (int v = inHi + 1; v <= last; ++v)
            std::copy(inside + insideValues - 4, inside + insideValues, row + (v - first) * 4);
        // Horizontal pass.
        uint8_t* out = dest.ptr<uint8_t>(y);
        for (int x = 0; x < width; ++x) {
            if (a && a[x] < kNoChange)
                continue;
            const float* p = row + columnTap_[size_t(x)];
            const float* c = &columnWeights_[size_t(x) * 4];
            uint8_t* o = out + x * 4;
            for (int ch = 0; ch < 4; ++ch) {
                const float v = c[0] * p[ch] + c[1] * p[4 + ch] + c[2] * p[8 + ch] + c[3] * p[12 + ch];
                o[ch] = cv::saturate_cast<uint8_t>(a ? o[ch] + a[x] * (v - o[ch]) : v);
            }
        }
    }
}

} // namespace focus
