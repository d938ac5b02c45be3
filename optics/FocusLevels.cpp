#include "optics/FocusLevels.h"

#include "optics/Slide.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace optics {
namespace {

constexpr size_t kDefaultCacheBytes = size_t(512) << 20;

int floorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// Regions are made in multiples of this, so a wide blur can work on a picture
// reduced by any factor up to it and come back to the same pixel grid.
constexpr int kReductionStep = 8;

// A Gaussian blur of `sigma` pixels in place. Wide blurs are made on a reduced
// copy (the reduction and the enlargement blur a little themselves, which is
// taken off the blur done there): the same picture for a fraction of the work.
void defocus(cv::Mat& layer, double sigma)
{
    if (sigma < 0.3)
        return;
    int factor = 1; // a power of two, so it divides the step
    while (factor * 2 <= kReductionStep && factor * 2 * 1.5 <= sigma)
        factor *= 2;
    if (factor == 1) {
        cv::GaussianBlur(layer, layer, cv::Size(), sigma, sigma, cv::BORDER_REPLICATE);
        return;
    }
    cv::Mat small;
    cv::resize(layer, small, cv::Size(layer.cols / factor, layer.rows / factor), 0, 0, cv::INTER_AREA);
    // The box of the reduction and the linear enlargement blur by about factor / 3.5 each.
    const double own = factor / 3.5;
    const double remaining = std::sqrt(std::max(0.09, sigma * sigma - 2 * own * own)) / factor;
    cv::GaussianBlur(small, small, cv::Size(), remaining, remaining, cv::BORDER_REPLICATE);
    cv::resize(small, layer, layer.size(), 0, 0, cv::INTER_LINEAR);
}

} // namespace

FocusLevels& FocusLevels::instance()
{
    static FocusLevels levels(kDefaultCacheBytes);
    return levels;
}

FocusLevels::FocusLevels(size_t maxBytes) : m_maxBytes(maxBytes) {}

uint64_t FocusLevels::tilesMade() const
{
    std::lock_guard lock(m_mutex);
    return m_made;
}

void FocusLevels::sharpRegion(const cv::Rect& region, cv::Mat& absorption, cv::Mat& owners)
{
    absorption.create(region.size(), CV_8UC3);
    absorption.setTo(cv::Scalar::all(0));
    owners.create(region.size(), CV_8UC1);
    owners.setTo(cv::Scalar::all(255));
    const cv::Rect slideArea(0, 0, kSlideWidth, kSlideHeight);
    for (int row = floorDiv(region.y, kTileSize); row <= floorDiv(region.y + region.height - 1, kTileSize); ++row)
        for (int column = floorDiv(region.x, kTileSize); column <= floorDiv(region.x + region.width - 1, kTileSize);
             ++column) {
            const cv::Rect cell(column * kTileSize, row * kTileSize, kTileSize, kTileSize);
            if ((cell & slideArea).empty())
                continue; // glass beyond the slide
            Sharp& sharp = m_sharp[{column, row}];
            if (sharp.absorption.empty())
                Slide::instance().renderAbsorption(cell, sharp.absorption, sharp.owners);
            const cv::Rect area = region & cell;
            sharp.absorption(area - cell.tl()).copyTo(absorption(area - region.tl()));
            sharp.owners(area - cell.tl()).copyTo(owners(area - region.tl()));
        }
}

cv::Mat FocusLevels::renderTile(int level, int column, int row)
{
    const Slide& slide = Slide::instance();
    const double focus = focusOfLevel(level), m = magnificationAt(focus);
    const cv::Vec3b glass = Slide::glass();
    // The slide pixels this tile shows, with room for the widest blur.
    const int margin = static_cast<int>(std::ceil(3 * kBlurPerDepth)) + 2;
    const int x0 = static_cast<int>(std::floor(column * kTileSize / m)) - margin;
    const int y0 = static_cast<int>(std::floor(row * kTileSize / m)) - margin;
    const int x1 = static_cast<int>(std::ceil((column + 1) * kTileSize / m)) + margin;
    const int y1 = static_cast<int>(std::ceil((row + 1) * kTileSize / m)) + margin;
    auto roundUp = [](int n) { return (n + kReductionStep - 1) / kReductionStep * kReductionStep; };
    const cv::Rect region(x0, y0, roundUp(x1 - x0), roundUp(y1 - y0));
    cv::Mat tile(kTileSize, kTileSize, CV_8UC3, cv::Scalar(glass[0], glass[1], glass[2]));
    const std::vector<int> levels = slide.levelsIn(region);
    if (levels.empty())
        return tile;

    cv::Mat absorption, owners, blurred(region.size(), CV_8UC3, cv::Scalar::all(0)), layer, mask;
    sharpRegion(region, absorption, owners);
    for (int specimenLevel : levels) {
        const double sigma = kBlurPerDepth * std::abs(focusOfLevel(specimenLevel) - focus);
        if (levels.size() == 1) {
            layer = absorption;
        } else {
            layer.create(region.size(), CV_8UC3);
            layer.setTo(cv::Scalar::all(0));
            cv::compare(owners, specimenLevel, mask, cv::CMP_EQ);
            absorption.copyTo(layer, mask);
        }
        defocus(layer, sigma);
        cv::add(blurred, layer, blurred);
    }
    cv::Mat picture;
    cv::subtract(cv::Scalar(glass[0], glass[1], glass[2]), blurred, picture);
    // Tile pixel (u, v) shows slide point ((column * size + u) / m, …).
    const cv::Matx23d toSlide(1 / m, 0, column * kTileSize / m - x0, 0, 1 / m, row * kTileSize / m - y0);
    cv::warpAffine(picture, tile, toSlide, tile.size(), cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_REPLICATE);
    return tile;
}

const cv::Mat& FocusLevels::tile(int level, int column, int row)
{
    const Key key{level, column, row};
    auto it = m_tiles.find(key);
    if (it != m_tiles.end()) {
        m_uses.splice(m_uses.begin(), m_uses, it->second.use);
        return it->second.tile;
    }
    cv::Mat made = renderTile(level, column, row);
    const size_t bytes = made.total() * made.elemSize();
    while (m_bytes + bytes > m_maxBytes && !m_uses.empty()) {
        auto oldest = m_tiles.find(m_uses.back());
        m_bytes -= oldest->second.tile.total() * oldest->second.tile.elemSize();
        m_tiles.erase(oldest);
        m_uses.pop_back();
    }
    m_uses.push_front(key);
    m_bytes += bytes;
    ++m_made;
    return m_tiles.emplace(key, Entry{std::move(made), m_uses.begin()}).first->second.tile;
}

void FocusLevels::copyField(int level, cv::Point topLeft, cv::Mat& field)
{
    std::lock_guard lock(m_mutex);
    const int firstColumn = floorDiv(topLeft.x, kTileSize), firstRow = floorDiv(topLeft.y, kTileSize);
    const int lastColumn = floorDiv(topLeft.x + field.cols - 1, kTileSize);
    const int lastRow = floorDiv(topLeft.y + field.rows - 1, kTileSize);
    const cv::Rect wanted(topLeft, field.size());
    for (int row = firstRow; row <= lastRow; ++row)
        for (int column = firstColumn; column <= lastColumn; ++column) {
            const cv::Rect area = wanted & cv::Rect(column * kTileSize, row * kTileSize, kTileSize, kTileSize);
            const cv::Mat& t = tile(level, column, row);
            t(area - cv::Point(column * kTileSize, row * kTileSize)).copyTo(field(area - topLeft));
        }
}

} // namespace optics
