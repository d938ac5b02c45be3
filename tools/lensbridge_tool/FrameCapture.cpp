#include "FrameCapture.h"

#include "camera/factory/CMFactory.h"

#include <algorithm>
#include <cstdio>

FrameCapture::FrameCapture(int count, std::string prefix) : m_count(count), m_prefix(std::move(prefix)) {}

int FrameCapture::callback(void* user, int kind, long param1, long)
{
    if (kind == 0 && param1)
        static_cast<FrameCapture*>(user)->onFrame(*reinterpret_cast<const CWImage*>(param1));
    return 0;
}

void FrameCapture::onFrame(const CWImage& image)
{
    std::lock_guard lock(m_mutex);
    m_arrivals.push_back(std::chrono::steady_clock::now());
    m_done.notify_all();
    if (m_written >= m_count || m_failed)
        return;
    char name[64];
    std::snprintf(name, sizeof name, "-%04d.raw", m_written + 1);
    const std::string path = m_prefix + name;
    FILE* file = std::fopen(path.c_str(), "wb");
    const bool ok = file && std::fwrite(image.data, 1, image.dataSize, file) == image.dataSize;
    if (file && std::fclose(file) != 0)
        m_failed = true;
    if (!ok) {
        m_failed = true;
        m_report.push_back("cannot write " + path);
    } else {
        char line[512];
        std::snprintf(line, sizeof line, "%s (%dx%d %s, %u bytes)", path.c_str(), image.width, image.height,
                      CMFactory::GetImageFormatDesc(image.format), image.dataSize);
        m_report.emplace_back(line);
    }
    ++m_written;
    if (m_written >= m_count || m_failed)
        m_done.notify_all();
}

bool FrameCapture::wait(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    m_done.wait_for(lock, timeout, [&] { return m_written >= m_count || m_failed; });
    return m_written >= m_count && !m_failed;
}

void FrameCapture::waitForSpan(std::chrono::milliseconds span, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    m_done.wait_for(lock, timeout,
                    [&] { return !m_arrivals.empty() && m_arrivals.back() - m_arrivals.front() >= span; });
}

int FrameCapture::written()
{
    std::lock_guard lock(m_mutex);
    return m_written;
}

double FrameCapture::measuredRate()
{
    std::lock_guard lock(m_mutex);
    if (m_arrivals.size() < 2)
        return 0.0;
    auto from = m_arrivals.begin();
    const auto settled = m_arrivals.front() + std::chrono::seconds(1);
    auto after = std::lower_bound(m_arrivals.begin(), m_arrivals.end(), settled);
    if (m_arrivals.end() - after >= 2)
        from = after;
    const double seconds = std::chrono::duration<double>(m_arrivals.back() - *from).count();
    return seconds > 0 ? static_cast<double>(m_arrivals.end() - from - 1) / seconds : 0.0;
}

std::vector<std::string> FrameCapture::report()
{
    std::lock_guard lock(m_mutex);
    return m_report;
}

bool FrameCapture::failed()
{
    std::lock_guard lock(m_mutex);
    return m_failed;
}
