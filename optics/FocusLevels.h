#pragma once
// The slide as the microscope shows it at each focus level: every specimen
// blurred by its distance from the focus, the whole picture magnified as the
// focus moves. Made tile by tile when first needed and kept (least recently
// used tiles go beyond a memory bound), so a sweeping focus or a moving stage
// costs a copy per frame once the tiles around the field exist. One cache for
// the process, shared by every emulated camera. Any thread.
#include <opencv2/core.hpp>

#include <cstdint>
#include <list>
#include <map>
#include <mutex>
#include <tuple>

namespace optics {

class FocusLevels {
public:
    static constexpr int kTileSize = 256;

    static FocusLevels& instance();
    explicit FocusLevels(size_t maxBytes);

    // Copies the picture of `level` whose top-left corner is `topLeft` (level
    // pixels: slide pixels times that level's magnification) into `field`,
    // RGB 8UC3 of the size it already has.
    void copyField(int level, cv::Point topLeft, cv::Mat& field);
    // Tiles made so far (a measure of the work done, for benchmarks and tests).
    uint64_t tilesMade() const;

private:
    using Key = std::tuple<int, int, int>; // level, tile column, tile row
    struct Entry {
        cv::Mat tile;
        std::list<Key>::iterator use;
    };
    struct Sharp {
        cv::Mat absorption, owners; // as Slide::renderAbsorption makes them
    };
    // All below: caller holds m_mutex.
    const cv::Mat& tile(int level, int column, int row);
    cv::Mat renderTile(int level, int column, int row);
    // The slide's absorption and owners over `region`, from sharp tiles made
    // once (every focus level blurs the same specimens).
    void sharpRegion(const cv::Rect& region, cv::Mat& absorption, cv::Mat& owners);

    const size_t m_maxBytes;
    mutable std::mutex m_mutex;
    std::map<Key, Entry> m_tiles;
    std::list<Key> m_uses; // most recent first
    size_t m_bytes = 0;
    // Sharp tiles in slide pixels, only where the slide is (at most its size:
    // about 130 MB for the whole slide).
    std::map<std::pair<int, int>, Sharp> m_sharp;
    uint64_t m_made = 0;
};

} // namespace optics
