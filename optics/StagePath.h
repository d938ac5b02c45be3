#pragma once
// Where a moving stage puts the centre of the field, frame by frame: a
// serpentine over columns × rows fields half a field apart (right along the
// first row, left along the next, …), then back up to the first row and
// along it once more, then the whole way back, and so on. Centred on the
// slide; a stage without a path stands at the slide's centre.
#include "optics/OpticsSettings.h"

#include <opencv2/core.hpp>

#include <cstdint>
#include <vector>

namespace optics {

class StagePath {
public:
    StagePath(const StageSettings& settings, cv::Size field);
    // Slide pixels under the field's centre in frame `frame`.
    cv::Point2d centreAt(uint64_t frame) const;
    // The corners of the path, in order.
    const std::vector<cv::Point2d>& waypoints() const { return m_points; }

private:
    double m_speed;
    std::vector<cv::Point2d> m_points;
    double m_length = 0;
};

} // namespace optics
