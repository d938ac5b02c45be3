#include "app/view/Mp4Recorder.h"

#include "platform/AtomicFile.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
}

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <thread>
#include <utility>

namespace {
constexpr AVRational kTimeBase{1, 90000};
constexpr int64_t kMinimumSpanMicros = 3'000'000;
// About one second of pictures per fragment (in 1/90000 s).
constexpr int64_t kFragmentSpan = 90000;
// The muxer's write buffer.
constexpr int kIoBufferSize = 64 * 1024;

int64_t toPts(int64_t elapsedMicros) { return elapsedMicros * 90000 / 1000000; }
} // namespace

Mp4Recorder::Clock Mp4Recorder::Clock::monotonic()
{
    return Clock{[] {
                     return std::chrono::duration_cast<std::chrono::microseconds>(
                                std::chrono::steady_clock::now().time_since_epoch())
                         .count();
                 },
                 [](int64_t micros) { std::this_thread::sleep_for(std::chrono::microseconds(micros)); }};
}

Mp4Recorder::Mp4Recorder() : Mp4Recorder(Options()) {}

Mp4Recorder::Mp4Recorder(Options options) : options_(std::move(options)) {}

Mp4Recorder::~Mp4Recorder() { close(); }

bool Mp4Recorder::open(int width, int height, const char* fileName)
{
    close();
    if (width <= 0 || height <= 0 || !fileName || !*fileName)
        return false;
    if (std::strlen(fileName) >= sizeof fileName_)
        return false;
    startTime_ = kNotStarted;
    lastPts_ = -1;
    frameInterval_ = 3000;
    fragmentStartPts_ = -1;
    fragmentFrames_ = 0;
    framesEncoded_ = 0;
    framesWritten_ = 0;
    writeError_ = 0;
    framesDropped_ = 0;
    encoderFailed_ = false;
    ioPosition_ = 0;
    ioSize_ = 0;
    createdFile_ = false;
    std::snprintf(fileName_, sizeof fileName_, "%s", fileName);
    width_ = width;
    height_ = height;

    // FFmpeg registers its formats and codecs itself.
    if (avformat_alloc_output_context2(&formatContext_, nullptr, "mp4", fileName_) < 0 || !formatContext_) {
        std::printf("Failed to open output file! \n");
        release();
        return false;
    }
    // The file is written through the recorder's own I/O, by its writer
    // thread; FFmpeg's own opening would truncate a file of the same name.
    int fd = -1;
    if (options_.replaceExisting) {
        fd = ::open(fileName_, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    } else {
        std::string created;
        fd = platform::CreateNumberedFile(fileName_, created);
        if (fd >= 0 && created.size() < sizeof fileName_) {
            std::snprintf(fileName_, sizeof fileName_, "%s", created.c_str());
            createdFile_ = true;
        } else if (fd >= 0) {
            ::close(fd);
            ::unlink(created.c_str());
            fd = -1;
        }
    }
    auto* ioBuffer = fd >= 0 ? static_cast<uint8_t*>(av_malloc(kIoBufferSize)) : nullptr;
    if (ioBuffer)
        io_ = avio_alloc_context(ioBuffer, kIoBufferSize, 1, this, nullptr, &Mp4Recorder::writeToFile,
                                 &Mp4Recorder::seekInFile);
    if (!io_) {
        av_free(ioBuffer);
        if (fd >= 0)
            ::close(fd);
        std::printf("Failed to open output file! \n");
        release();
        return false;
    }
    writer_ = std::make_unique<RecordingFileWriter>(fd, options_.maxQueuedBytes, options_.sync);
    formatContext_->pb = io_;
    formatContext_->flags |= AVFMT_FLAG_CUSTOM_IO;
    stream_ = avformat_new_stream(formatContext_, nullptr);
    if (!stream_) {
        release();
        return false;
    }

    const AVCodecID codecId = formatContext_->oformat->video_codec;
    const AVCodec* codec = avcodec_find_encoder(codecId);
    if (!codec) {
        av_dump_format(formatContext_, 0, fileName_, 1);
        std::printf("Can not find encoder! \n");
        release();
        return false;
    }
    encoder_ = avcodec_alloc_context3(codec);
    if (!encoder_) {
        release();
        return false;
    }
    encoder_->codec_type = AVMEDIA_TYPE_VIDEO;
    encoder_->pix_fmt = AV_PIX_FMT_YUV420P;
    encoder_->width = width;
    encoder_->height = height;
    encoder_->bit_rate = 400000;
    encoder_->gop_size = 250;
    encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    encoder_->me_range = 16;
    encoder_->max_qdiff = 4;
    encoder_->qcompress = 0.6f;
    encoder_->qmin = 10;
    encoder_->qmax = 50;
    // The further integer setting of four: the encoder's thread count; four
    // threads keep 1080p at the live rate on small machines.
    encoder_->thread_count = 4;
    const bool timeLapse = options_.timeLapseRate > 0;
    if (timeLapse) {
        // One frame per tick must reach the file before the next: an encoder
        // that holds no frames back.
        encoder_->thread_count = 1;
        frameInterval_ = std::max<int64_t>(1, 90000 / options_.timeLapseRate);
    }
    encoder_->time_base = kTimeBase;
    stream_->time_base = kTimeBase;
    // Without a rate the encoder takes one frame per tick of the time base,
    // 90000 a second: it signals the highest level and starves every frame
    // of bits down to the coarsest quantiser.
    const int plannedRate = timeLapse ? options_.timeLapseRate : options_.frameRate;
    encoder_->framerate = AVRational{std::clamp(plannedRate, 1, 240), 1};

    AVDictionary* options = nullptr;
    if (codecId == AV_CODEC_ID_H264) {
        av_dict_set(&options, "preset", "ultrafast", 0);
        av_dict_set(&options, "profile", "baseline", 0);
        // The average-bit-rate control knows nothing of the picture before
        // the first frame and gives that key frame one frame's share of the
        // rate: at 1080p it comes out near the coarsest quantiser, and the
        // first second, built on it, is blocky. The first frame gets a fixed
        // quantiser instead: fine enough for a clean picture, not so fine
        // that a noisy one takes the next frames' bits. The rate control
        // goes on from there.
        av_dict_set(&options, "x264-params", "zones=0,0,q=30", 0);
        if (timeLapse)
            av_dict_set(&options, "tune", "zerolatency", 0);
    }
    av_dump_format(formatContext_, 0, fileName_, 1);
    const int opened = avcodec_open2(encoder_, codec, &options);
    av_dict_free(&options);
    if (opened < 0) {
        std::printf("Failed to open encoder! \n");
        release();
        return false;
    }
    if (avcodec_parameters_from_context(stream_->codecpar, encoder_) < 0) {
        release();
        return false;
    }

    frame_ = av_frame_alloc();
    const int pictureSize = av_image_get_buffer_size(AV_PIX_FMT_YUV420P, width, height, 1);
    if (!frame_ || pictureSize <= 0) {
        release();
        return false;
    }
    av_image_fill_linesizes(frame_->linesize, AV_PIX_FMT_YUV420P, width);
    frame_->format = AV_PIX_FMT_YUV420P;
    frame_->width = width;
    frame_->height = height;

    // Fragments are cut by this program (about every second, also between
    // key frames); the header carries an empty index, each fragment its own.
    AVDictionary* muxerOptions = nullptr;
    av_dict_set(&muxerOptions, "movflags", "frag_custom+empty_moov+default_base_moof", 0);
    const int headerResult = avformat_write_header(formatContext_, &muxerOptions);
    av_dict_free(&muxerOptions);
    if (headerResult < 0) {
        std::printf("Failed to open output file! \n");
        release();
        return false;
    }
    avio_flush(formatContext_->pb);
    writer_->sync(0); // the header alone is a file the writer can fall back to
    headerWritten_ = true;
    packet_ = av_packet_alloc();
    heldPacket_ = av_packet_alloc();
    if (!packet_ || !heldPacket_ || av_new_packet(packet_, pictureSize) < 0) {
        release();
        return false;
    }
    av_packet_unref(packet_);
    lumaSize_ = width * height;
    if (options_.queuedFrames > 0) {
        try {
            encoding_ = std::make_unique<FrameSlotWorker>(size_t(options_.queuedFrames), size_t(pictureSize),
                                                          [this](const uint8_t* yuv, int64_t arrived) {
                                                              if (options_.beforeEncoding)
                                                                  options_.beforeEncoding();
                                                              encodeFrame(yuv, arrived);
                                                          });
        } catch (const std::bad_alloc&) {
            std::printf("Failed to open encoder! \n");
            release();
            return false;
        }
    }
    createdFile_ = false; // the recording's from here on, whatever happens
    return true;
}

int64_t Mp4Recorder::elapsedMicros() const
{
    const int64_t start = startTime_.load();
    return start == kNotStarted ? 0 : clock_.nowMicros() - start;
}

int64_t Mp4Recorder::framesWritten() const { return writer_ ? writer_->framesWritten() : framesWritten_; }

int Mp4Recorder::writeError() const { return writer_ ? writer_->error() : writeError_; }

int Mp4Recorder::writeToFile(void* opaque, uint8_t* data, int size)
{
    auto* self = static_cast<Mp4Recorder*>(opaque);
    self->writer_->write(self->ioPosition_, data, size_t(size));
    self->ioPosition_ += size;
    self->ioSize_ = std::max(self->ioSize_, self->ioPosition_);
    return size;
}

// The muxer seeks back to fill in box sizes; the writer writes at offsets.
int64_t Mp4Recorder::seekInFile(void* opaque, int64_t offset, int whence)
{
    auto* self = static_cast<Mp4Recorder*>(opaque);
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE: return self->ioSize_;
    case SEEK_SET: self->ioPosition_ = offset; break;
    case SEEK_CUR: self->ioPosition_ += offset; break;
    case SEEK_END: self->ioPosition_ = self->ioSize_ + offset; break;
    default: return AVERROR(EINVAL);
    }
    return self->ioPosition_;
}

// Closes the fragment gathered so far and has the writer put it on the disk,
// so a recording that ends abruptly keeps everything up to here.
void Mp4Recorder::finishFragment()
{
    if (fragmentStartPts_ < 0)
        return;
    fragmentStartPts_ = -1;
    av_write_frame(formatContext_, nullptr);
    avio_flush(formatContext_->pb);
    writer_->sync(std::exchange(fragmentFrames_, 0));
}

int Mp4Recorder::writePacket(AVPacket* packet)
{
    packet->stream_index = stream_->index;
    if (packet->duration <= 0)
        packet->duration = frameInterval_;
    av_packet_rescale_ts(packet, encoder_->time_base, stream_->time_base);
    if (options_.timeLapseRate > 0) {
        // Every frame lasts one interval and is on the disk before the next.
        packet->duration = frameInterval_;
        const int result = muxPacket(packet);
        finishFragment();
        return result;
    }
    // A fragment places its pictures by their durations alone, so each one
    // lasts until the next arrives: the previous packet is written only now.
    int result = 0;
    if (heldPacket_->size > 0) {
        if (packet->dts > heldPacket_->dts)
            heldPacket_->duration = packet->dts - heldPacket_->dts;
        result = muxPacket(heldPacket_);
    }
    av_packet_move_ref(heldPacket_, packet);
    return result;
}

int Mp4Recorder::muxPacket(AVPacket* packet)
{
    if (fragmentStartPts_ >= 0 && packet->dts - fragmentStartPts_ >= kFragmentSpan)
        finishFragment();
    if (fragmentStartPts_ < 0)
        fragmentStartPts_ = packet->dts;
    const int result = av_interleaved_write_frame(formatContext_, packet);
    if (result >= 0)
        ++fragmentFrames_;
    av_packet_unref(packet);
    return result;
}

// Sends one frame (or, with null, the end of input) and writes what comes out.
// Returns the number of packets written, or -1 on an encoder error.
int Mp4Recorder::encode(AVFrame* frame, bool flushing)
{
    if (avcodec_send_frame(encoder_, frame) < 0)
        return -1;
    int written = 0;
    for (;;) {
        const int result = avcodec_receive_packet(encoder_, packet_);
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
            return written;
        if (result < 0)
            return -1;
        const int size = packet_->size;
        writePacket(packet_);
        if (flushing)
            std::printf("Flush Encoder: Succeed to encode 1 frame!\tsize:%5d\n", size);
        ++written;
    }
}

// Encodes the I420 picture at `yuv` as frame_ (its time stamp set by the
// caller). Handed a frame without a buffer of its own, the encoder would copy
// the whole picture into a new one for every frame (3 MB at 1080p); it is lent
// the caller's memory through a reference that frees nothing instead. x264
// copies the picture into its own frames before encode()'s receive loop ends,
// so nothing reads `yuv` after this call; after a failure the encoder may
// still hold it, so it is never fed or drained again.
int Mp4Recorder::encodePicture(const uint8_t* yuv)
{
    auto* picture = const_cast<uint8_t*>(yuv);
    frame_->data[0] = picture;
    frame_->data[1] = picture + lumaSize_;
    frame_->data[2] = picture + lumaSize_ * 5 / 4;
    frame_->buf[0] = av_buffer_create(
        picture, size_t(lumaSize_) * 3 / 2, [](void*, uint8_t*) {}, nullptr, AV_BUFFER_FLAG_READONLY);
    const int written = encode(frame_, false);
    av_buffer_unref(&frame_->buf[0]);
    if (written < 0)
        encoderFailed_ = true;
    return written;
}

int Mp4Recorder::writeFrame(const uint8_t* yuv)
{
    if (!encoder_ || !frame_ || !yuv || encoderFailed_)
        return -1;
    if (encoding_) {
        // The picture is stamped as it arrives, not when the encoder gets to it.
        if (writer_->error() != 0 || !encoding_->push(yuv, clock_.nowMicros())) {
            countDropped();
            return -1;
        }
        return 0;
    }
    return encodeFrame(yuv, kNotStarted);
}

int Mp4Recorder::encodeFrame(const uint8_t* yuv, int64_t arrivedMicros)
{
    if (encoderFailed_)
        return -1;
    // Nothing more reaches a file that failed; a disk that cannot keep up
    // costs this frame rather than the caller's time.
    if (writer_->error() != 0 || !writer_->hasRoom()) {
        countDropped();
        return -1;
    }
    if (arrivedMicros == kNotStarted)
        arrivedMicros = clock_.nowMicros(); // encoded as it arrives
    int64_t startTime = startTime_.load();
    if (startTime == kNotStarted)
        startTime_ = startTime = arrivedMicros;
    int64_t pts =
        options_.timeLapseRate > 0 ? framesEncoded_ * 90000 / options_.timeLapseRate : toPts(arrivedMicros - startTime);
    // Two frames within one tick (or a clock stepped back) would be refused
    // by the encoder as non-monotonic; keep the time stamps strictly rising.
    if (pts <= lastPts_)
        pts = lastPts_ + 1;
    if (lastPts_ >= 0)
        frameInterval_ = pts - lastPts_;
    frame_->pts = pts;
    lastPts_ = pts;

    // The copy for the three-second minimum is needed only while the
    // recording is shorter than that.
    if (pts < toPts(kMinimumSpanMicros) && options_.timeLapseRate <= 0) {
        lastFrame_.assign(yuv, yuv + lumaSize_ * 3 / 2);
    } else if (!lastFrame_.empty()) {
        lastFrame_.clear();
        lastFrame_.shrink_to_fit();
    }
    ++framesEncoded_;
    const int written = encodePicture(yuv);
    if (written < 0) {
        std::printf("Failed to encode! \n");
        countDropped();
        return -1;
    }
    return written > 0 ? 0 : -1;
}

void Mp4Recorder::close()
{
    if (!formatContext_)
        return;
    // Everything the user recorded that waits for the encoder goes in first.
    if (encoding_) {
        encoding_->finish();
        encoding_.reset();
    }
    if (!encoder_ || !headerWritten_ || !packet_ || !heldPacket_ || !frame_ || writer_->error() != 0 ||
        encoderFailed_) {
        release(); // a failed file keeps what the writer left of it
        return;
    }
    if (startTime_ == kNotStarted)
        startTime_ = clock_.nowMicros();
    const int64_t elapsed = clock_.nowMicros() - startTime_;
    if (elapsed < kMinimumSpanMicros && options_.timeLapseRate <= 0)
        clock_.sleepMicros(kMinimumSpanMicros - elapsed);

    // Show the last picture once more at the three-second mark, so a short
    // recording really lasts that long when played.
    const int64_t minimumPts = toPts(kMinimumSpanMicros);
    if (!lastFrame_.empty() && lastPts_ < minimumPts) {
        frame_->pts = minimumPts;
        frameInterval_ = std::max<int64_t>(1, std::min<int64_t>(frameInterval_, minimumPts - lastPts_));
        lastPts_ = minimumPts;
        if (encodePicture(lastFrame_.data()) < 0)
            std::printf("Failed to encode! \n");
    }

    bool flushed = true;
    if (encoder_->codec->capabilities & AV_CODEC_CAP_DELAY)
        flushed = encode(nullptr, true) >= 0;
    if (!flushed) {
        std::printf("Flushing encoder failed\n");
    } else {
        if (heldPacket_->size > 0)
            muxPacket(heldPacket_);
        av_write_trailer(formatContext_);
        avio_flush(formatContext_->pb);
        writer_->sync(std::exchange(fragmentFrames_, 0));
    }
    fragmentStartPts_ = -1;
    release();
}

void Mp4Recorder::release()
{
    encoding_.reset(); // the encoding thread ends before what it uses goes
    if (encoder_)
        avcodec_free_context(&encoder_);
    if (frame_)
        av_frame_free(&frame_);
    if (packet_)
        av_packet_free(&packet_);
    if (heldPacket_)
        av_packet_free(&heldPacket_);
    if (formatContext_) {
        avformat_free_context(formatContext_); // the I/O context is the recorder's
        formatContext_ = nullptr;
    }
    if (io_) {
        av_freep(&io_->buffer);
        avio_context_free(&io_);
    }
    if (writer_) {
        writer_->finish();
        framesWritten_ = writer_->framesWritten();
        writeError_ = writer_->error();
        writer_.reset();
    }
    if (createdFile_) {
        ::unlink(fileName_); // an open that failed leaves no empty file behind
        createdFile_ = false;
    }
    stream_ = nullptr;
    headerWritten_ = false;
    lastFrame_.clear();
    lastFrame_.shrink_to_fit();
}
