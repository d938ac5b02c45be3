#include "app/shell/capture/SnapshotSaver.h"

#include "app/shell/capture/ImageFileWriter.h"

#include <utility>

namespace shell {

SnapshotSaver::SnapshotSaver(size_t maxWaiting) : m_maxWaiting(maxWaiting), m_thread([this] { run(); }) {}

SnapshotSaver::~SnapshotSaver()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

bool SnapshotSaver::submit(Job& job)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_jobs.size() >= m_maxWaiting)
            return false;
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_one();
    return true;
}

size_t SnapshotSaver::pending() const
{
    std::lock_guard lock(m_mutex);
    return m_jobs.size() + m_busy;
}

std::vector<SnapshotSaver::Result> SnapshotSaver::takeResults()
{
    std::lock_guard lock(m_mutex);
    return std::exchange(m_results, {});
}

void SnapshotSaver::waitIdle()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return m_jobs.empty() && m_busy == 0; });
}

void SnapshotSaver::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || !m_jobs.empty(); });
        if (m_jobs.empty())
            return; // stopping, nothing left to write
        Job job = std::move(m_jobs.front());
        m_jobs.pop_front();
        ++m_busy;
        lock.unlock();
        std::string name = job.path;
        const bool saved = WriteImageFile(job.path, job.bgra.data(), job.width, job.height,
                                          job.scale ? &*job.scale : nullptr, &name, job.existing);
        job.bgra = {};
        lock.lock();
        m_results.push_back({name, saved});
        --m_busy;
        if (m_jobs.empty() && m_busy == 0)
            m_idle.notify_all();
    }
}

} // namespace shell
