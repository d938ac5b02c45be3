#pragma once
// A camera that lives in the tests: it delivers synthetic RGBA frames from its
// own capture thread through the base class's frame path, like a USB backend
// (grab, then callback, then count).

#include "camera/CMCameraBase.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

class TestCamera : public CMCameraBase {
public:
    using CMCameraBase::GetPreviewSize;
    using CMCameraBase::SetPreviewSize;

    explicit TestCamera(int width = 8, int height = 4) : CMCameraBase(0), size_{width, height} {}
    ~TestCamera() override { Release(); }

    int GetSupportedPreviewSizes(std::vector<_tag_CMSIZE>* sizes) override
    {
        if (!sizes)
            return CM_E_INVALIDARG;
        *sizes = {size_};
        return CM_OK;
    }
    int GetPreviewSize(_tag_CMSIZE& size) override
    {
        if (failSizeQuery)
            return CM_E_NOTSUPPORTED;
        size = size_;
        return CM_OK;
    }
    int SetPreviewSize(_tag_CMSIZE) override { return CM_E_NOTSUPPORTED; }
    int GetSupportedFormats(std::vector<int>* formats) override
    {
        if (!formats)
            return CM_E_INVALIDARG;
        *formats = {FMT_RGBA32};
        return CM_OK;
    }
    int GetFormat(int& format) override
    {
        format = FMT_RGBA32;
        return CM_OK;
    }
    int SetFormat(int format) override { return format == FMT_RGBA32 ? CM_OK : CM_E_FAILED; }

    // Starts the capture thread: one frame every `interval`; byte 0 of every
    // frame carries the low byte of its sequence number.
    void startDelivering(std::chrono::microseconds interval)
    {
        stop_ = false;
        thread_ = std::thread([this, interval] {
            std::vector<unsigned char> buffer(static_cast<size_t>(size_.width) * size_.height * 4);
            while (!stop_) {
                if (!m_bPaused) {
                    std::memset(buffer.data(), static_cast<int>(sequence_ & 0xFF), buffer.size());
                    ++sequence_;
                    CWImage frame(size_.width, size_.height, buffer.data(), static_cast<unsigned>(buffer.size()),
                                  static_cast<unsigned>(buffer.size()), true, FMT_RGBA32, 0);
                    deliverFrame(&frame, DeliveryOrder::GrabThenCallback, true);
                }
                std::this_thread::sleep_for(interval);
            }
        });
    }

    void Release() override
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }

    unsigned delivered() const { return sequence_; }

    // Exposes protected parts to the tests.
    using CMCameraBase::deliverFrame;
    using CMCameraBase::DeliveryOrder;
    using CMCameraBase::GetPreviewImage_Internal;

    bool failSizeQuery = false;

private:
    _tag_CMSIZE size_;
    std::thread thread_;
    std::atomic<bool> stop_{true};
    std::atomic<unsigned> sequence_{0};
};
