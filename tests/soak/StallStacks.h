// Names where the UI thread is while the window does not answer: a watch
// thread checks the thread's heartbeat every 10 ms, and once a beat is more
// than a threshold late it samples the thread's stack every 20 ms (through a
// signal to that thread) and writes the stacks to standard error, so a stall
// found by a long run can be traced to its code.
#pragma once

#include <atomic>
#include <chrono>
#include <pthread.h>
#include <thread>

class StallStacks {
public:
    // To be made on the thread to watch; threshold in milliseconds.
    explicit StallStacks(int thresholdMs);
    ~StallStacks();
    StallStacks(const StallStacks&) = delete;
    StallStacks& operator=(const StallStacks&) = delete;

    // Called by the watched thread whenever it gets round to its work.
    void Beat();

private:
    void Watch();
    void SampleAndPrint(long lateMs, int sample);

    const std::chrono::milliseconds m_threshold;
    const pthread_t m_watched;
    std::atomic<long long> m_lastBeatNs;
    std::atomic<bool> m_stop{false};
    std::thread m_watch;
};
