#include "camera/boxclient/BoxSession.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <new>
#include <system_error>

namespace boxclient {

using boxproto::MsgType;

namespace {
// How often an open that may be cancelled asks whether it is.
constexpr std::chrono::milliseconds kCancelCheck{50};
} // namespace

std::unique_ptr<FrameBuffer> FrameBuffer::create(const boxproto::FrameView& frame)
{
    auto buffer = std::unique_ptr<FrameBuffer>(new (std::nothrow) FrameBuffer);
    if (!buffer)
        return nullptr;
    const size_t size = sizeof(CHD_WMP_FRAME) + frame.data.size();
    buffer->bytes_.reset(new (std::nothrow) unsigned char[size]);
    if (!buffer->bytes_)
        return nullptr;
    CHD_WMP_FRAME record{};
    record.frameNo = static_cast<int>(frame.frameNo);
    record.format = frame.format;
    record.resolu = frame.resolu;
    boxproto::analysisResolu(frame.resolu, record.width, record.height);
    record.timestampMs = static_cast<int>(frame.timestampMs);
    record.length = static_cast<int>(frame.data.size());
    std::memcpy(buffer->bytes_.get(), &record, sizeof record);
    std::memcpy(buffer->bytes_.get() + sizeof record, frame.data.data(), frame.data.size());
    return buffer;
}

static_assert(sizeof(CHD_WMP_FRAME) == 28, "the frame payload starts at byte 28");

int statusToResult(int32_t status)
{
    switch (status) {
    case boxproto::kStatusOk: return CHD_OK;
    case boxproto::kStatusAccessDenied: return CHD_ERR_ACCESS;
    case boxproto::kStatusBadRequest: return CHD_ERR_PROTOCOL;
    default: return CHD_ERR_REFUSED;
    }
}

BoxSession::BoxSession(boxnet::Fd fd, const SessionTimeouts& timeouts) : fd_(std::move(fd)), timeouts_(timeouts) {}

int BoxSession::open(const char* address, const char* accessCode, const SessionTimeouts& timeouts,
                     std::unique_ptr<BoxSession>& out)
{
    const auto target = boxnet::parseAddress(address, boxproto::kDefaultSessionPort);
    if (!target)
        return CHD_ERR_PARAM;
    boxnet::Fd fd = boxnet::connectTcp(*target, timeouts.connectMs, timeouts.cancelled);
    if (!fd.valid())
        return errno == ECANCELED ? CHD_ERR_CANCELLED : CHD_ERR_NETWORK;
    std::unique_ptr<BoxSession> session(new (std::nothrow) BoxSession(std::move(fd), timeouts));
    if (!session)
        return CHD_ERR_NOMEM;
    try {
        session->reader_ = std::thread([s = session.get()] { s->readLoop(); });
    } catch (const std::system_error&) {
        return CHD_ERR_NOMEM;
    }

    std::lock_guard<std::mutex> calling(session->callMutex_);
    uint32_t seq;
    {
        std::lock_guard<std::mutex> lock(session->mutex_);
        seq = session->nextSeq_++;
    }
    const int result = session->send(boxproto::buildHello(seq, accessCode), static_cast<uint8_t>(MsgType::Hello), seq,
                                     nullptr, timeouts.responseMs, timeouts.cancelled);
    if (result != CHD_OK)
        return result; // the session closes as it goes out of scope
    out = std::move(session);
    return CHD_OK;
}

BoxSession::~BoxSession()
{
    // Wakes the reader out of its blocking read; it then sees the end of stream.
    if (fd_.valid())
        ::shutdown(fd_.get(), SHUT_RDWR);
    if (reader_.joinable())
        reader_.join();
}

int BoxSession::call(MsgType type, const std::vector<int32_t>& args, std::vector<int32_t>* fields)
{
    return callWithin(type, args, fields, timeouts_.responseMs);
}

int BoxSession::callWithin(MsgType type, const std::vector<int32_t>& args, std::vector<int32_t>* fields, int timeoutMs)
{
    std::lock_guard<std::mutex> calling(callMutex_);
    uint32_t seq;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!connected_)
            return CHD_ERR_DISCONNECTED;
        seq = nextSeq_++;
    }
    return send(boxproto::buildMessage(static_cast<uint8_t>(type), seq, args), static_cast<uint8_t>(type), seq, fields,
                timeoutMs);
}

int BoxSession::send(const std::vector<uint8_t>& message, uint8_t type, uint32_t seq, std::vector<int32_t>* fields,
                     int timeoutMs, const std::function<bool()>& cancelled)
{
    std::unique_lock<std::mutex> lock(mutex_);
    awaitedSeq_ = seq;
    awaitedType_ = type;
    answer_.reset();
    lock.unlock();
    if (!boxnet::sendAll(fd_.get(), message.data(), message.size())) {
        markDisconnected();
        return CHD_ERR_DISCONNECTED;
    }
    lock.lock();
    const auto done = [this] { return answer_.has_value() || !connected_; };
    bool answered;
    if (!cancelled) {
        answered = changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), done);
    } else {
        // A caller that may give up is asked between short waits.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!(answered = changed_.wait_for(lock, kCancelCheck, done)) &&
               std::chrono::steady_clock::now() < deadline) {
            if (cancelled()) {
                awaitedSeq_ = 0;
                return CHD_ERR_CANCELLED;
            }
        }
    }
    awaitedSeq_ = 0;
    if (!answered) {
        // A late answer fails this call only (the answer is dropped when it
        // comes). Several requests in a row without an answer mean the box is
        // gone: the next calls then fail at once instead of each waiting.
        if (++unanswered_ < kUnansweredLimit)
            return CHD_ERR_TIMEOUT;
        connected_ = false;
        lock.unlock();
        changed_.notify_all();
        ::shutdown(fd_.get(), SHUT_RDWR);
        return CHD_ERR_TIMEOUT;
    }
    unanswered_ = 0;
    if (!answer_)
        return CHD_ERR_DISCONNECTED;
    const boxproto::Inbound answer = std::move(*answer_);
    answer_.reset();
    if (answer.status != boxproto::kStatusOk)
        return statusToResult(answer.status);
    if (fields)
        *fields = answer.fields;
    return CHD_OK;
}

void BoxSession::close()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!connected_)
            return;
    }
    // A goodbye is a courtesy: it does not wait long for the answer.
    callWithin(MsgType::Bye, {}, nullptr, std::min(timeouts_.responseMs, 500));
    ::shutdown(fd_.get(), SHUT_RDWR);
}

void BoxSession::markDisconnected()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        connected_ = false;
    }
    changed_.notify_all();
}

void BoxSession::readLoop()
{
    std::vector<uint8_t> payload;
    for (;;) {
        uint8_t headerBytes[boxproto::kHeaderSize];
        if (!boxnet::recvAll(fd_.get(), headerBytes, sizeof headerBytes))
            break;
        boxproto::Header header;
        // A bad header means the stream can no longer be followed: end the
        // session rather than guess where the next message starts. The length
        // is checked against the limit before anything is allocated.
        if (boxproto::parseHeader(std::span<const uint8_t, boxproto::kHeaderSize>(headerBytes), header) !=
            boxproto::HeaderError::None)
            break;
        try {
            payload.resize(header.length);
        } catch (const std::bad_alloc&) {
            break;
        }
        if (header.length && !boxnet::recvAll(fd_.get(), payload.data(), header.length))
            break;
        boxproto::Inbound inbound;
        const auto error = boxproto::decodeInbound(header, payload, inbound);
        if (error == boxproto::InboundError::BadFrame || error == boxproto::InboundError::UnknownType)
            continue; // a frame that does not add up is dropped; unknown messages are skipped
        std::lock_guard<std::mutex> lock(mutex_);
        if (inbound.kind == boxproto::Inbound::Kind::Response) {
            // Answers to nobody (late, or for another request) are dropped.
            if (header.seq != awaitedSeq_ || inbound.requestType != awaitedType_)
                continue;
            if (error != boxproto::InboundError::None) {
                inbound.status = boxproto::kStatusBadRequest;
                inbound.fields.clear();
            }
            answer_ = std::move(inbound);
        } else {
            const int slot = inbound.kind == boxproto::Inbound::Kind::Picture ? 1 : 0;
            auto buffer = FrameBuffer::create(inbound.frame);
            if (!buffer)
                continue;
            pending_[slot] = std::move(buffer);
        }
        changed_.notify_all();
    }
    markDisconnected();
}

int BoxSession::poll(int* flags, int timeoutMs)
{
    if (!flags)
        return CHD_ERR_PARAM;
    *flags = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(std::max(timeoutMs, 0)),
                      [this] { return pending_[0] || pending_[1] || !connected_; });
    if (pending_[0])
        *flags |= CHD_WMP_POLL_VIDEO;
    if (pending_[1])
        *flags |= CHD_WMP_POLL_PICTURE;
    if (*flags)
        return CHD_OK;
    return connected_ ? CHD_ERR_TIMEOUT : CHD_ERR_DISCONNECTED;
}

int BoxSession::lend(bool picture, CHD_WMP_FRAME** out)
{
    if (!out)
        return CHD_ERR_PARAM;
    *out = nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    const int slot = picture ? 1 : 0;
    if (!pending_[slot])
        return CHD_ERR_NODATA;
    *out = pending_[slot]->record();
    lent_[slot].push_back(std::move(pending_[slot]));
    return CHD_OK;
}

int BoxSession::giveBack(bool picture, CHD_WMP_FRAME* frame)
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto& lent = lent_[picture ? 1 : 0];
    const auto it =
        std::find_if(lent.begin(), lent.end(), [frame](const auto& buffer) { return buffer->record() == frame; });
    if (it == lent.end())
        return CHD_ERR_NODATA; // not ours, or already given back
    lent.erase(it);
    return CHD_OK;
}

} // namespace boxclient
