#pragma once
// Background discovery of boxes: UDP probes to the configured hosts only, and
// a table of the boxes that answered recently.

#include "camera/boxclient/CHD_WMP.h"

#include <netinet/in.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace boxclient {

class BoxScanner {
public:
    static constexpr int kProbeIntervalMs = 1000;
    // A box that has not answered for this long drops out of the table.
    static constexpr int kForgetAfterMs = 5000;

    BoxScanner();
    ~BoxScanner();

    int setHosts(const char* hosts);
    int start(int mode);
    void stop();
    int records(CHD_WMP_SCAN_RECORD* out, int* count);

private:
    struct Found {
        CHD_WMP_SCAN_RECORD record;
        std::chrono::steady_clock::time_point seen;
    };
    void run(int fd, bool repeat, uint32_t nonce);
    void probe(int fd, uint32_t nonce);
    void receive(int fd, uint32_t nonce);

    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::vector<sockaddr_in> hosts_;
    std::vector<Found> found_;
    std::thread thread_;
};

BoxScanner& scanner();

} // namespace boxclient
