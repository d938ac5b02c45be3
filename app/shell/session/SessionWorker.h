#pragma once
// One thread that runs the camera library's housekeeping one call at a time:
// device lists, GetCamera, Init and Release are not safe to run concurrently.
// Tasks run in the order they were queued.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace shell {

class SessionWorker {
public:
    SessionWorker();
    SessionWorker(const SessionWorker&) = delete;
    SessionWorker& operator=(const SessionWorker&) = delete;
    // Runs the tasks still queued, then ends the thread.
    ~SessionWorker();

    // Any thread: queues `task`; it runs on the worker thread.
    void Post(std::function<void()> task);
    // Any thread but the worker's: queues `task` and waits until it ran.
    void Run(std::function<void()> task);

private:
    void Loop();

    std::mutex m_lock;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_tasks;
    bool m_stopping = false;
    std::thread m_thread; // last: starts after the queue exists
};

} // namespace shell
