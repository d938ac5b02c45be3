#pragma once
// How sharp an RGB picture is: the spread of its Laplacian (higher is sharper).
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace opticstest {

inline double sharpness(const cv::Mat& rgb)
{
    cv::Mat grey, laplacian;
    cv::cvtColor(rgb, grey, cv::COLOR_RGB2GRAY);
    cv::Laplacian(grey, laplacian, CV_32F);
    cv::Scalar mean, deviation;
    cv::meanStdDev(laplacian, mean, deviation);
    return deviation[0];
}

} // namespace opticstest
