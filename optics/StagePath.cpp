#include "optics/StagePath.h"

#include "optics/Slide.h"

#include <cmath>

namespace optics {

StagePath::StagePath(const StageSettings& settings, cv::Size field) : m_speed(settings.pixelsPerFrame)
{
    if (settings.glass) {
        m_points = {Slide::instance().emptyGlass(field)};
        return;
    }
    const cv::Point2d centre(kSlideWidth / 2.0, kSlideHeight / 2.0);
    if (settings.columns < 1 || settings.rows < 1) {
        m_points = {centre};
        return;
    }
    const cv::Point2d step(field.width / 2.0, field.height / 2.0);
    const cv::Point2d first =
        centre - cv::Point2d(step.x * (settings.columns - 1) / 2.0, step.y * (settings.rows - 1) / 2.0);
    auto at = [&](int column, int row) { return first + cv::Point2d(step.x * column, step.y * row); };
    const int last = settings.columns - 1;
    for (int row = 0; row < settings.rows; ++row) {
        const bool rightwards = row % 2 == 0;
        m_points.push_back(at(rightwards ? 0 : last, row));
        m_points.push_back(at(rightwards ? last : 0, row));
    }
    // Back up to the first row at the column where the serpentine ended, and along it.
    const int endColumn = settings.rows % 2 == 1 ? last : 0;
    m_points.push_back(at(endColumn, 0));
    m_points.push_back(at(last - endColumn, 0));
    for (size_t i = 1; i < m_points.size(); ++i)
        m_length += cv::norm(m_points[i] - m_points[i - 1]);
}

cv::Point2d StagePath::centreAt(uint64_t frame) const
{
    if (m_points.size() < 2 || m_length <= 0 || m_speed <= 0)
        return m_points.front();
    // Forth and back along the path.
    double s = std::fmod(static_cast<double>(frame) * m_speed, 2 * m_length);
    if (s > m_length)
        s = 2 * m_length - s;
    for (size_t i = 1; i < m_points.size(); ++i) {
        const double leg = cv::norm(m_points[i] - m_points[i - 1]);
        if (s <= leg && leg > 0)
            return m_points[i - 1] + (m_points[i] - m_points[i - 1]) * (s / leg);
        s -= leg;
    }
    return m_points.back();
}

} // namespace optics
