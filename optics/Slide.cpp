#include "optics/Slide.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace optics {
namespace {

constexpr float kPi = 3.14159265f;
const cv::Point2f kCentre{kSlideWidth / 2.0f, kSlideHeight / 2.0f};
// The ruled grid: lines every kGridPitch pixels in this rectangle.
const cv::Rect kGridArea{700, 2900, 1500, 1000};
constexpr int kGridPitch = 24;
// The slide is laid out in cells; about 30 % of them stay empty glass.
constexpr int kCellWidth = 480, kCellHeight = 432;

uint32_t hash(int x, int y, unsigned seed)
{
    uint32_t h = static_cast<uint32_t>(x) * 0x8DA6B343u ^ static_cast<uint32_t>(y) * 0xD8163841u ^ seed * 0xCB1AB31Fu;
    h ^= h >> 13;
    h *= 0x5BD1E995u;
    return h ^ (h >> 15);
}

// Smooth value noise in 0 … 1 with features about `scale` pixels apart.
float valueNoise(float x, float y, float scale, unsigned seed)
{
    const float fx = x / scale, fy = y / scale;
    const int ix = static_cast<int>(std::floor(fx)), iy = static_cast<int>(std::floor(fy));
    const float tx = fx - static_cast<float>(ix), ty = fy - static_cast<float>(iy);
    auto at = [&](int dx, int dy) { return static_cast<float>(hash(ix + dx, iy + dy, seed) & 0xFFFF) / 65535.0f; };
    const float top = at(0, 0) + (at(1, 0) - at(0, 0)) * tx, bottom = at(0, 1) + (at(1, 1) - at(0, 1)) * tx;
    return top + (bottom - top) * ty;
}

cv::Rect ellipseBounds(float cx, float cy, float rx, float ry)
{
    const float r = std::max(rx, ry) + 2;
    return {static_cast<int>(cx - r), static_cast<int>(cy - r), static_cast<int>(2 * r) + 2,
            static_cast<int>(2 * r) + 2};
}

Specimen blob(Specimen::Kind kind, float cx, float cy, float rx, float ry, float angle, cv::Vec3f colour, int level,
              unsigned seed)
{
    return {kind, cx, cy, rx, ry, angle, colour, level, seed, ellipseBounds(cx, cy, rx, ry)};
}

// How much of the light a specimen takes at a point, per channel (0 … 1).
bool absorptionAt(const Specimen& s, float x, float y, cv::Vec3f& taken)
{
    const float dx = x - s.cx, dy = y - s.cy;
    switch (s.kind) {
    case Specimen::Kind::Scale: {
        // A baseline and ticks hanging below it, every 10 pixels, 1000 long.
        const int ax = static_cast<int>(std::floor(dx)) + 500, ay = static_cast<int>(std::floor(dy));
        if (ax < 0 || ax > 1000)
            return false;
        const int index = ax / 10, length = index % 10 == 0 ? 60 : (index % 5 == 0 ? 40 : 24);
        if (!((ay >= -1 && ay <= 1) || (ax % 10 < 2 && ay > 1 && ay <= length)))
            return false;
        taken = {0.91f, 0.91f, 0.88f};
        return true;
    }
    case Specimen::Kind::Grid: {
        const int gx = static_cast<int>(std::floor(dx + s.rx)), gy = static_cast<int>(std::floor(dy + s.ry));
        if (gx < 0 || gy < 0 || gx >= 2 * s.rx || gy >= 2 * s.ry)
            return false;
        if (gx % kGridPitch >= 3 && gy % kGridPitch >= 3)
            return false;
        taken = {0.7f, 0.72f, 0.65f};
        return true;
    }
    case Specimen::Kind::Cell:
    case Specimen::Kind::Fibre: {
        const float c = std::cos(s.angle), sn = std::sin(s.angle);
        const float u = (dx * c + dy * sn) / s.rx, v = (-dx * sn + dy * c) / s.ry;
        const float d = u * u + v * v;
        if (d >= 1.0f)
            return false;
        // Granular inside, a denser rim, and a nucleus in cells.
        float t = 0.3f + 0.3f * valueNoise(x, y, 5.0f, s.seed) + 0.25f * valueNoise(x, y, 14.0f, s.seed + 1);
        if (d > 0.8f)
            t = 0.8f;
        if (s.kind == Specimen::Kind::Cell && (u + 0.2f) * (u + 0.2f) + (v - 0.1f) * (v - 0.1f) < 0.09f)
            t = 0.9f;
        taken = (cv::Vec3f(1, 1, 1) - s.colour) * t;
        return true;
    }
    }
    return false;
}

} // namespace

Slide::Slide()
{
    using K = Specimen::Kind;
    const float cx = kCentre.x, cy = kCentre.y;
    // The centre: the micrometer and the specimens of the plain scene.
    m_specimens.push_back(
        {K::Scale, cx, cy, 500, 62, 0, {}, kRestLevel, 0, cv::Rect(int(cx) - 502, int(cy) - 3, 1006, 66)});
    const struct {
        float x, y, rx, ry;
        cv::Vec3f colour;
        int level;
    } centre[] = {
        {-420, -250, 90, 90, {0.75f, 0.30f, 0.45f}, 6}, {300, -280, 60, 60, {0.35f, 0.55f, 0.30f}, 14},
        {-200, 260, 140, 45, {0.45f, 0.35f, 0.70f}, 8}, {480, 240, 35, 110, {0.80f, 0.60f, 0.20f}, 12},
        {60, -420, 25, 25, {0.20f, 0.20f, 0.25f}, 4},   {-650, 120, 70, 30, {0.60f, 0.25f, 0.20f}, 16},
    };
    unsigned seed = 1;
    for (const auto& b : centre)
        m_specimens.push_back(
            blob(b.rx == b.ry ? K::Cell : K::Fibre, cx + b.x, cy + b.y, b.rx, b.ry, 0, b.colour, b.level, seed++));
    m_specimens.push_back({K::Grid,
                           kGridArea.x + kGridArea.width / 2.0f,
                           kGridArea.y + kGridArea.height / 2.0f,
                           kGridArea.width / 2.0f,
                           kGridArea.height / 2.0f,
                           0,
                           {},
                           kRestLevel,
                           0,
                           kGridArea});

    // Around them: cells and fibres, cell by cell of the layout, some cells empty.
    std::mt19937 random(20261208u);
    auto uniform = [&](float lo, float hi) {
        return lo + (hi - lo) * static_cast<float>(random() % 100000u) / 100000.0f;
    };
    const cv::Rect reserved(int(cx) - 800, int(cy) - 520, 1600, 1040);
    for (int row = 0; row < kSlideHeight / kCellHeight; ++row)
        for (int col = 0; col < kSlideWidth / kCellWidth; ++col) {
            const cv::Rect cell(col * kCellWidth, row * kCellHeight, kCellWidth, kCellHeight);
            // Empty glass comes in patches of a few cells, as on a real slide.
            const bool empty = valueNoise(col + 0.5f, row + 0.5f, 2.5f, 77u) < 0.36f;
            if (empty || (cell & reserved).area() > 0 || (cell & kGridArea).area() > 0)
                continue;
            const int count = 4 + static_cast<int>(random() % 5u);
            for (int i = 0; i < count; ++i) {
                const bool fibre = random() % 4u == 0;
                const float rx = fibre ? uniform(80, 180) : uniform(20, 90);
                const float ry = fibre ? uniform(8, 22) : rx * uniform(0.6f, 1.0f);
                const float margin = std::max(rx, ry) + 4;
                const float x = uniform(cell.x + margin, cell.x + cell.width - margin);
                const float y = uniform(cell.y + margin, cell.y + cell.height - margin);
                const cv::Vec3f colour(uniform(0.2f, 0.85f), uniform(0.2f, 0.7f), uniform(0.25f, 0.8f));
                const int level = 2 + 2 * static_cast<int>(random() % 9u); // heights 0.1 … 0.9
                m_specimens.push_back(
                    blob(fibre ? K::Fibre : K::Cell, x, y, rx, ry, uniform(0, kPi), colour, level, seed++));
            }
        }
}

const Slide& Slide::instance()
{
    static const Slide slide;
    return slide;
}

std::vector<int> Slide::levelsIn(const cv::Rect& region) const
{
    std::vector<int> levels;
    for (const Specimen& s : m_specimens)
        if ((s.bounds & region).area() > 0 && std::find(levels.begin(), levels.end(), s.level) == levels.end())
            levels.push_back(s.level);
    return levels;
}

void Slide::renderAbsorption(const cv::Rect& region, cv::Mat& absorption, cv::Mat& levels) const
{
    absorption.create(region.size(), CV_8UC3);
    absorption.setTo(cv::Scalar::all(0));
    levels.create(region.size(), CV_8UC1);
    levels.setTo(cv::Scalar::all(255));
    const cv::Vec3f light(glass()[0], glass()[1], glass()[2]);
    for (const Specimen& s : m_specimens) {
        const cv::Rect area = s.bounds & region;
        for (int y = area.y; y < area.y + area.height; ++y) {
            auto* a = absorption.ptr<cv::Vec3b>(y - region.y);
            auto* l = levels.ptr<uint8_t>(y - region.y);
            for (int x = area.x; x < area.x + area.width; ++x) {
                cv::Vec3f taken;
                if (!absorptionAt(s, static_cast<float>(x) + 0.5f, static_cast<float>(y) + 0.5f, taken))
                    continue;
                cv::Vec3b& px = a[x - region.x];
                for (int c = 0; c < 3; ++c)
                    px[c] = cv::saturate_cast<uint8_t>(px[c] + taken[c] * light[c]);
                l[x - region.x] = static_cast<uint8_t>(s.level);
            }
        }
    }
}

cv::Point2d Slide::emptyGlass(cv::Size size) const
{
    const int margin = static_cast<int>(3 * kBlurPerDepth) + 2;
    for (int y = 0; y + size.height <= kSlideHeight; y += 16)
        for (int x = 0; x + size.width <= kSlideWidth; x += 16) {
            const cv::Rect field(x - margin, y - margin, size.width + 2 * margin, size.height + 2 * margin);
            if (levelsIn(field).empty())
                return {x + size.width / 2.0, y + size.height / 2.0};
        }
    return {-1e6, -1e6}; // beyond the slide: glass as well
}

cv::Mat Slide::renderSharp(const cv::Rect& region) const
{
    cv::Mat absorption, levels, picture;
    renderAbsorption(region, absorption, levels);
    cv::subtract(cv::Scalar(glass()[0], glass()[1], glass()[2]), absorption, picture);
    return picture;
}

} // namespace optics
