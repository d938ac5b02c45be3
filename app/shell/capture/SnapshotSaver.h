#pragma once
// Encodes and writes snapshots on a thread of its own, so the window stays
// responsive while a large PNG or TIFF is being written. The UI thread hands
// over a converted picture and collects the results while any are pending
// (with a short timer of the window; nothing is posted to a window that may
// be gone). At most a few pictures wait, so a fast series cannot pile up
// work: a full queue refuses the next picture and the caller says so.
#include "app/shell/capture/ImageScale.h"
#include "platform/AtomicFile.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace shell {

class SnapshotSaver {
public:
    struct Job {
        std::string path;
        std::vector<uint8_t> bgra; // width × height × 4 bytes, B, G, R, A
        int width = 0;
        int height = 0;
        std::optional<ImageScale> scale; // a calibrated TIFF when set
        // An automatic name is numbered when taken; a name the user chose
        // in the save dialog replaces the file there.
        platform::ExistingFile existing = platform::ExistingFile::Number;
    };
    struct Result {
        std::string path; // the name the file got, or the one that failed
        bool saved = false;
    };

    explicit SnapshotSaver(size_t maxWaiting = 2);
    SnapshotSaver(const SnapshotSaver&) = delete;
    SnapshotSaver& operator=(const SnapshotSaver&) = delete;
    // Writes what is still waiting, then ends the thread.
    ~SnapshotSaver();

    // False (the job untouched) when `maxWaiting` pictures wait already.
    bool submit(Job& job);
    // Pictures handed over and not written yet (waiting or being written).
    size_t pending() const;
    // The results finished since the last call, oldest first.
    std::vector<Result> takeResults();
    // Blocks until every picture handed over is written.
    void waitIdle();

private:
    void run();

    size_t m_maxWaiting;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<Job> m_jobs;
    size_t m_busy = 0;
    std::vector<Result> m_results;
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace shell
