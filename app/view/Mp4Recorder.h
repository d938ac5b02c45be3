#pragma once
// Writes the live picture to an MP4 file with H.264 video. Frames arrive as
// planar YUV 4:2:0 and are stamped with the time since the first frame, on a
// monotonic clock, so the file plays at the speed at which they arrived and a
// change of the system time does not squeeze or stretch it.
//
// The file is a fragmented MP4: about every second the pictures written so
// far become a fragment that is flushed and synced to the disk, so a
// recording cut short by a crash, a kill or a power loss still plays up to
// its last fragment. A file closed normally is a complete MP4 with its
// duration.
//
// Encoding runs on the caller's thread, or, with Options::queuedFrames, on
// an encoding thread of its own behind that many preallocated frame slots
// (FrameSlotWorker): the caller then only copies the picture, and a frame
// that finds every slot taken is dropped and counted. The file is written
// and synced by a writer thread behind a bounded queue (RecordingFileWriter),
// so a slow disk never blocks the encoder either: a frame that finds that
// queue full is dropped and counted too. A write failure (a full disk, a
// removed stick) stops the recording's writing, leaves the file playable up
// to its last whole fragment and is reported by writeError().
//
// Threads: open() and close() on one owner thread at a time; writeFrame()
// and countDropped() on the recording thread (the capture thread), never at
// the same time as open() or close() (the frame pipeline's lock orders
// them); the getters on any thread, never at the same time as open() or
// close(), and they never wait for the encoder.

#include "app/view/FrameSlotWorker.h"
#include "app/view/RecordingFileWriter.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

struct AVFormatContext;
struct AVStream;
struct AVCodecContext;
struct AVPacket;
struct AVFrame;
struct AVIOContext;

class Mp4Recorder {
public:
    // Time source in microseconds and a way to wait; replaceable for tests.
    struct Clock {
        std::function<int64_t()> nowMicros;
        std::function<void(int64_t)> sleepMicros;
        // The system's monotonic clock (never steps).
        static Clock monotonic();
    };
    // How the recording is written; the defaults suit a live recording.
    struct Options {
        Options(Clock clock = Clock::monotonic()) : clock(std::move(clock)) {}
        Clock clock;
        // Encoded data that may wait for the disk before frames are dropped.
        size_t maxQueuedBytes = size_t(32) << 20;
        // How the file is synced (tests slow it down); fsync when empty.
        RecordingFileWriter::SyncFunction sync;
        // A name the user chose replaces its file; otherwise an existing
        // file is never touched and the recording gets "-1", "-2", ...
        bool replaceExisting = false;
        // Time-lapse: frames per second of the result (0 for a live
        // recording). Frame i is stamped i / rate whatever the clock says,
        // each frame is its own fragment, synced at once (so a cut file
        // plays up to its last frame), and there is no three-second minimum.
        int timeLapseRate = 0;
        // Frames per second the encoder plans its bits and its level for
        // (the camera's rate; a time-lapse uses its own). The time stamps
        // still come from the clock.
        int frameRate = 30;
        // Frames that may wait for the encoder on its own thread; 0 encodes
        // on the caller's thread (a time-lapse, whose caller waits anyway).
        // Each slot holds a picture of the recording's size.
        int queuedFrames = 0;
        // Runs on the encoding thread before each queued frame is encoded;
        // tests hold the encoder up with it.
        std::function<void()> beforeEncoding;
    };

    Mp4Recorder();
    explicit Mp4Recorder(Options options);
    Mp4Recorder(const Mp4Recorder&) = delete;
    Mp4Recorder& operator=(const Mp4Recorder&) = delete;
    ~Mp4Recorder();

    // Creates the file (numbered when the name is taken, see Options) and the
    // encoder and writes the header; fileName() is the name used.
    bool open(int width, int height, const char* fileName);
    // Encodes one frame of width × height × 3 / 2 bytes (Y, then U and V at a
    // quarter size each) and queues its data for the file; it is stamped
    // with the clock's time now. 0 when a packet came out, -1 when the
    // encoder produced none yet or failed, the writer's queue was full (the
    // frame counts as dropped) or writing has failed. With queuedFrames, the
    // picture is copied for the encoding thread instead: 0 when it was
    // queued, -1 when no slot was free (the frame counts as dropped) or
    // encoding or writing has failed.
    int writeFrame(const uint8_t* yuv);
    // Counts a frame that could not be recorded (wrong size, no memory).
    void countDropped() { framesDropped_.fetch_add(1, std::memory_order_relaxed); }
    // Encodes every frame still queued, flushes the encoder, finishes the
    // file and waits until the writer has put it on the disk; every file
    // spans at least three seconds. Safe to call more than once, and after a
    // failed open. The counters and the error stay readable afterwards.
    void close();

    int width() const { return width_; }
    int height() const { return height_; }
    bool isOpen() const { return formatContext_ != nullptr; }
    const char* fileName() const { return fileName_; }

    // Frames that reached the file (synced), and frames lost, since open().
    int64_t framesWritten() const;
    int64_t framesDropped() const { return framesDropped_.load(std::memory_order_relaxed); }
    // errno of the write failure that stopped the recording (ENOSPC or EFBIG
    // for a full disk, ENOENT for a deleted file, EIO for a lost device);
    // 0 while all is well.
    int writeError() const;
    // Microseconds since the first frame; 0 before it.
    int64_t elapsedMicros() const;
    // Whether the last picture is kept for the three-second minimum; only
    // while the recording is shorter than that. Encoding thread's state: ask
    // it only with no frame queued.
    bool keepsLastFrame() const { return !lastFrame_.empty(); }

private:
    int writePacket(AVPacket* packet);
    int muxPacket(AVPacket* packet);
    int encode(AVFrame* frame, bool flushing);
    int encodePicture(const uint8_t* yuv);
    // Encodes a picture that arrived at `arrivedMicros` (kNotStarted: now)
    // on the recording's thread, the caller's or the encoding thread.
    int encodeFrame(const uint8_t* yuv, int64_t arrivedMicros);
    void finishFragment();
    void release();
    static int writeToFile(void* opaque, uint8_t* data, int size);
    static int64_t seekInFile(void* opaque, int64_t offset, int whence);

    Options options_;
    Clock& clock_ = options_.clock;
    std::unique_ptr<RecordingFileWriter> writer_;
    AVIOContext* io_ = nullptr;
    // Where the muxer's next bytes go, and the file's size so far.
    int64_t ioPosition_ = 0;
    int64_t ioSize_ = 0;
    AVFormatContext* formatContext_ = nullptr;
    AVStream* stream_ = nullptr;
    AVCodecContext* encoder_ = nullptr;
    AVPacket* packet_ = nullptr;
    // The newest encoded packet, written when the next one gives its duration.
    AVPacket* heldPacket_ = nullptr;
    AVFrame* frame_ = nullptr;
    int lumaSize_ = 0;
    // The encoder failed while holding a lent picture: it is not fed or
    // drained again, only freed.
    std::atomic<bool> encoderFailed_{false};
    // Clock time of the first frame encoded, kNotStarted before it (read by
    // the getters while the recording thread sets it).
    static constexpr int64_t kNotStarted = INT64_MIN;
    std::atomic<int64_t> startTime_{kNotStarted};
    int64_t lastPts_ = -1;
    // Frame interval in 1/90000 s, given to packets as their duration so the
    // last picture of the file has one too.
    int64_t frameInterval_ = 3000;
    // Time stamp (1/90000 s) of the first packet of the fragment being
    // gathered; -1 when it is empty.
    int64_t fragmentStartPts_ = -1;
    // Frames handed to the encoder (time-lapse stamps).
    int64_t framesEncoded_ = 0;
    // Packets in the fragment being gathered.
    int64_t fragmentFrames_ = 0;
    bool headerWritten_ = false;
    // What the writer reported when it was finished.
    int64_t framesWritten_ = 0;
    int writeError_ = 0;
    std::atomic<int64_t> framesDropped_{0};
    // This recorder made the file; a failed open removes it again.
    bool createdFile_ = false;
    // The last picture, shown again at the three-second mark when a short
    // recording is closed so the file really spans that time.
    std::vector<uint8_t> lastFrame_;
    // The encoding thread and its slots, with queuedFrames; made last by
    // open() and ended first by close().
    std::unique_ptr<FrameSlotWorker> encoding_;
    int width_ = 0;
    int height_ = 0;
    char fileName_[260] = {};
};
