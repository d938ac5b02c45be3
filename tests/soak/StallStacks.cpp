#include "tests/soak/StallStacks.h"

#include <csignal>
#include <cstdio>
#include <execinfo.h>
#include <unistd.h>

namespace {

constexpr int kMaxFrames = 48;
// Written by the watched thread's signal handler, read by the watch thread
// once `g_taken` says it is complete.
void* g_frames[kMaxFrames];
std::atomic<int> g_frameCount{0};
std::atomic<bool> g_taken{false};

const int kSampleSignal = SIGRTMIN + 3;

void TakeStack(int)
{
    g_frameCount.store(::backtrace(g_frames, kMaxFrames), std::memory_order_relaxed);
    g_taken.store(true, std::memory_order_release);
}

long long NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

StallStacks::StallStacks(int thresholdMs) : m_threshold(thresholdMs), m_watched(::pthread_self()), m_lastBeatNs(NowNs())
{
    // backtrace() loads the unwinder on its first call: not inside a handler.
    void* warm[2];
    ::backtrace(warm, 2);
    struct sigaction action {};
    action.sa_handler = TakeStack;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    ::sigaction(kSampleSignal, &action, nullptr);
    m_watch = std::thread([this] { Watch(); });
}

StallStacks::~StallStacks()
{
    m_stop = true;
    m_watch.join();
}

void StallStacks::Beat() { m_lastBeatNs.store(NowNs(), std::memory_order_relaxed); }

void StallStacks::Watch()
{
    using namespace std::chrono;
    long long stallBeat = -1; // the beat the current stall started after
    int sample = 0;
    while (!m_stop) {
        std::this_thread::sleep_for(milliseconds(sample > 0 ? 20 : 10));
        const long long beat = m_lastBeatNs.load(std::memory_order_relaxed);
        const long lateMs = long((NowNs() - beat) / 1'000'000);
        if (lateMs < m_threshold.count()) {
            sample = 0;
            continue;
        }
        if (beat != stallBeat) {
            stallBeat = beat;
            sample = 0;
        }
        SampleAndPrint(lateMs, ++sample);
    }
}

void StallStacks::SampleAndPrint(long lateMs, int sample)
{
    g_taken = false;
    if (::pthread_kill(m_watched, kSampleSignal) != 0)
        return;
    for (int i = 0; i < 100 && !g_taken.load(std::memory_order_acquire); ++i)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    if (!g_taken)
        return;
    std::fprintf(stderr, "soak: the window has not answered for %ld ms (stack %d):\n", lateMs, sample);
    std::fflush(stderr);
    ::backtrace_symbols_fd(g_frames, g_frameCount.load(std::memory_order_relaxed), STDERR_FILENO);
}
