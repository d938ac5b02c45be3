#include "app/view/RecordingFileWriter.h"

#include "platform/WriteAll.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

RecordingFileWriter::RecordingFileWriter(int fd, size_t maxQueuedBytes, SyncFunction sync)
    : fd_(fd), maxQueuedBytes_(maxQueuedBytes), sync_(sync ? std::move(sync) : SyncFunction(::fsync)),
      thread_([this] { run(); })
{
}

RecordingFileWriter::~RecordingFileWriter() { finish(); }

void RecordingFileWriter::write(int64_t offset, const uint8_t* data, size_t size)
{
    if (size == 0)
        return;
    {
        std::lock_guard lock(mutex_);
        if (stop_)
            return;
        queue_.push_back({offset, std::vector<uint8_t>(data, data + size), -1});
        queuedBytes_ += size;
    }
    wake_.notify_one();
}

void RecordingFileWriter::sync(int64_t frames)
{
    {
        std::lock_guard lock(mutex_);
        if (stop_)
            return;
        queue_.push_back({0, {}, frames});
    }
    wake_.notify_one();
}

bool RecordingFileWriter::hasRoom() const
{
    std::lock_guard lock(mutex_);
    return queuedBytes_ < maxQueuedBytes_;
}

void RecordingFileWriter::finish()
{
    if (!thread_.joinable())
        return;
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

void RecordingFileWriter::fail(int error)
{
    int expected = 0;
    error_.compare_exchange_strong(expected, error ? error : EIO);
    // Whatever follows the last synced fragment may be partial: cut it off so
    // the file plays to its last whole fragment. A full disk lets a file shrink.
    if (::ftruncate(fd_, syncedEnd_) == 0)
        ::fsync(fd_);
}

void RecordingFileWriter::run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (queue_.empty())
            return; // stopping with everything written
        Chunk chunk = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();

        if (error_.load() == 0) {
            if (chunk.syncFrames < 0) {
                if (const int error = platform::WriteAll(fd_, chunk.bytes.data(), chunk.bytes.size(), chunk.offset))
                    fail(error);
                else
                    writtenEnd_ = std::max(writtenEnd_, chunk.offset + int64_t(chunk.bytes.size()));
            } else {
                struct stat status {};
                if (sync_(fd_) != 0) {
                    fail(errno);
                } else if (::fstat(fd_, &status) == 0 && status.st_nlink == 0) {
                    fail(ENOENT); // deleted, or its folder removed, while recording
                } else {
                    syncedEnd_ = writtenEnd_;
                    framesWritten_ += chunk.syncFrames;
                }
            }
        }

        lock.lock();
        queuedBytes_ -= chunk.bytes.size();
    }
}
