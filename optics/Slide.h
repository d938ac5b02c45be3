#pragma once
// The emulated microscope slide: larger than any field of view, with the
// stage micrometer and the specimens of the plain emulated scene at its
// centre, more specimens around them at different heights, about 30 % empty
// glass and a ruled grid (a periodic stretch). Coordinates are slide pixels
// at a magnification of 1; the slide is lit from below, so a specimen is what
// it absorbs from the light of the glass. Built once, read-only after: any
// thread.
#include <opencv2/core.hpp>

#include <vector>

namespace optics {

constexpr int kSlideWidth = 7680;
constexpr int kSlideHeight = 4320;
// Focus positions 0 … 1 are made in this many steps; every specimen lies at
// the height of one of them, so each is perfectly sharp at its own level.
constexpr int kFocusLevels = 21;
// Blur (Gaussian sigma, slide pixels) per unit of distance from the focus.
constexpr double kBlurPerDepth = 12.0;
// Where the focus rests when nothing moves it.
constexpr int kRestLevel = 10;

inline double focusOfLevel(int level) { return static_cast<double>(level) / (kFocusLevels - 1); }
// The picture grows by 2 % from the lowest to the highest focus, unscaled at rest.
inline double magnificationAt(double focus) { return 1.0 + 0.02 * (focus - focusOfLevel(kRestLevel)); }

struct Specimen {
    enum class Kind { Cell, Fibre, Grid, Scale };
    Kind kind;
    float cx, cy, rx, ry; // centre and half axes (Grid, Scale: half extents)
    float angle;          // radians
    cv::Vec3f colour;     // the fraction of each channel it lets through
    int level;            // its height, as a focus level
    unsigned seed;        // texture
    cv::Rect bounds;      // slide pixels it may touch
};

class Slide {
public:
    static const Slide& instance();

    const std::vector<Specimen>& specimens() const { return m_specimens; }
    // The light of empty glass, RGB.
    static cv::Vec3b glass() { return {235, 230, 214}; }

    // What the specimens in `region` absorb (8UC3, RGB, glass minus picture)
    // and the level of the specimen on top at each pixel (8UC1, 255 on
    // glass). Regions may reach beyond the slide, which is glass there.
    void renderAbsorption(const cv::Rect& region, cv::Mat& absorption, cv::Mat& levels) const;
    // The levels of the specimens touching `region`, without repeats.
    std::vector<int> levelsIn(const cv::Rect& region) const;
    // The centre of a field of `size` with nothing on it but glass (and room
    // for the widest blur around it).
    cv::Point2d emptyGlass(cv::Size size) const;
    // The region with every specimen sharp, RGB (ground truth).
    cv::Mat renderSharp(const cv::Rect& region) const;

private:
    Slide();
    std::vector<Specimen> m_specimens;
};

} // namespace optics
