#pragma once
// Puts a recording's bytes into its file on a thread of its own, so a slow
// disk, a USB stick or a network folder never stalls the thread that encodes.
// The muxer hands over bytes with their file offset (it seeks back to fill in
// box sizes) and marks each finished fragment; the writer writes, syncs and
// only then counts the fragment's frames as written. The first failure stops
// all writing, cuts the file back to its last synced fragment so it still
// plays, and is kept for the owner to report.
//
// Threads: every function but the writer's own loop is for the one thread
// that records (the capture thread, or the UI thread when it closes); the
// counters and the error may be read from any thread.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class RecordingFileWriter {
public:
    // How the file reaches the disk; replaceable so tests can slow it down.
    using SyncFunction = std::function<int(int fd)>;

    // Takes the open descriptor (closed by finish() or the destructor).
    // `maxQueuedBytes` bounds what may wait for the disk: beyond it
    // hasRoom() says no and the caller drops the frame instead of queuing.
    RecordingFileWriter(int fd, size_t maxQueuedBytes, SyncFunction sync = {});
    RecordingFileWriter(const RecordingFileWriter&) = delete;
    RecordingFileWriter& operator=(const RecordingFileWriter&) = delete;
    ~RecordingFileWriter();

    // Recording thread; never blocks on the disk. Copies the bytes.
    void write(int64_t offset, const uint8_t* data, size_t size);
    // Recording thread. After everything handed over so far is written and
    // synced, `frames` count as written.
    void sync(int64_t frames);
    // Recording thread. Whether another frame's data may be queued.
    bool hasRoom() const;
    // Recording thread. Waits until everything is written and synced, ends
    // the thread and closes the file. Safe to call more than once.
    void finish();

    // Any thread. Frames that reached the file and were synced.
    int64_t framesWritten() const { return framesWritten_.load(); }
    // Any thread. errno of the first failure (ENOENT when the file was
    // deleted while recording), 0 while all is well.
    int error() const { return error_.load(); }

private:
    struct Chunk {
        int64_t offset = 0;
        std::vector<uint8_t> bytes;
        int64_t syncFrames = -1; // a sync mark instead of bytes when >= 0
    };
    void run();
    void fail(int error);

    int fd_;
    size_t maxQueuedBytes_;
    SyncFunction sync_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Chunk> queue_;
    size_t queuedBytes_ = 0;
    bool stop_ = false;
    // Writer thread only: the file's end at the last successful sync, and
    // the furthest byte written since.
    int64_t syncedEnd_ = 0;
    int64_t writtenEnd_ = 0;
    std::atomic<int64_t> framesWritten_{0};
    std::atomic<int> error_{0};
    std::thread thread_;
};
