#include "app/shell/session/SessionWorker.h"

#include <future>

namespace shell {

SessionWorker::SessionWorker() : m_thread([this] { Loop(); }) {}

SessionWorker::~SessionWorker()
{
    {
        std::lock_guard guard(m_lock);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void SessionWorker::Post(std::function<void()> task)
{
    {
        std::lock_guard guard(m_lock);
        m_tasks.push_back(std::move(task));
    }
    m_wake.notify_one();
}

void SessionWorker::Run(std::function<void()> task)
{
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    Post([&] {
        task();
        done.set_value();
    });
    finished.wait();
}

void SessionWorker::Loop()
{
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock guard(m_lock);
            m_wake.wait(guard, [this] { return m_stopping || !m_tasks.empty(); });
            if (m_tasks.empty())
                return;
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
        }
        task();
    }
}

} // namespace shell
