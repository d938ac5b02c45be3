#pragma once
// One TCP session with a box. A reader thread receives everything the box
// sends: responses go to the one request waiting for them, video frames and
// pictures wait in one slot each (a newer frame replaces an older one that
// nobody took) until the host polls and borrows them.

#include "camera/boxclient/BoxProtocol.h"
#include "camera/boxclient/BoxSocket.h"
#include "camera/boxclient/CHD_WMP.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace boxclient {

// A frame record with its payload, allocated in one block so the host sees the
// documented layout (28-byte record, payload from byte 28).
class FrameBuffer {
public:
    static std::unique_ptr<FrameBuffer> create(const boxproto::FrameView& frame);
    CHD_WMP_FRAME* record() { return reinterpret_cast<CHD_WMP_FRAME*>(bytes_.get()); }

private:
    std::unique_ptr<unsigned char[]> bytes_;
};

struct SessionTimeouts {
    int connectMs = 3000;
    int responseMs = 3000;
    // Asked while the open waits for the connection and the greeting; true
    // ends it with CHD_ERR_CANCELLED. Not used after the open.
    std::function<bool()> cancelled;
};

class BoxSession {
public:
    // Connects and says hello with the access code (null: none).
    static int open(const char* address, const char* accessCode, const SessionTimeouts& timeouts,
                    std::unique_ptr<BoxSession>& out);
    ~BoxSession();
    BoxSession(const BoxSession&) = delete;
    BoxSession& operator=(const BoxSession&) = delete;

    // Sends a request and waits for its response; on success copies the
    // response fields into `fields`.
    int call(boxproto::MsgType type, const std::vector<int32_t>& args, std::vector<int32_t>* fields = nullptr);
    // Says goodbye (briefly) and closes.
    void close();

    int poll(int* flags, int timeoutMs);
    int lend(bool picture, CHD_WMP_FRAME** out);
    int giveBack(bool picture, CHD_WMP_FRAME* frame);

private:
    BoxSession(boxnet::Fd fd, const SessionTimeouts& timeouts);
    int callWithin(boxproto::MsgType type, const std::vector<int32_t>& args, std::vector<int32_t>* fields,
                   int timeoutMs);
    int send(const std::vector<uint8_t>& message, uint8_t type, uint32_t seq, std::vector<int32_t>* fields,
             int timeoutMs, const std::function<bool()>& cancelled = {});
    void readLoop();
    void markDisconnected();

    boxnet::Fd fd_;
    const SessionTimeouts timeouts_;
    std::mutex callMutex_; // one request in flight at a time
    std::mutex mutex_;
    std::condition_variable changed_;
    bool connected_ = true;
    // Requests in a row that got no answer in time; the session ends at the limit.
    static constexpr int kUnansweredLimit = 3;
    int unanswered_ = 0;
    uint32_t nextSeq_ = 1;
    // The request in flight and its answer.
    uint32_t awaitedSeq_ = 0;
    uint8_t awaitedType_ = 0;
    std::optional<boxproto::Inbound> answer_;
    std::unique_ptr<FrameBuffer> pending_[2]; // [0] video, [1] picture
    std::vector<std::unique_ptr<FrameBuffer>> lent_[2];
    std::thread reader_;
};

// Maps a box status word to a library result.
int statusToResult(int32_t status);

} // namespace boxclient
