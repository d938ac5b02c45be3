// The libusb transfer bookkeeping with libusb replaced by a scripted call
// table: one thread streams (submit, wait, destroy), one completes transfers
// as the event thread would, one aborts the pipe. A cancel that reaches a
// transfer already completed and freed shows up under the address and thread
// sanitizers.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>
#include <thread>

#include "usbsdk/transport/LibusbTransfers.h"

namespace usbsdk {
namespace {

struct ScriptedLibusb {
    std::mutex mutex;
    std::condition_variable submitted;
    std::deque<libusb_transfer*> flying;
    std::set<libusb_transfer*> cancelRequested;
    std::set<libusb_transfer*> freed;
    std::condition_variable freedChanged;
    std::atomic<int> cancels{0};
    // While set, a cancel first lets the transfer complete (and its owner
    // free it, if nothing holds it back) before libusb looks at it: the
    // completion arriving between an abort's check and its cancel.
    bool completeDuringCancel = false;
    std::thread completer;

    static ScriptedLibusb& instance()
    {
        static ScriptedLibusb s;
        return s;
    }
    static const LibusbCalls& calls()
    {
        static const LibusbCalls table{
            [] { return new libusb_transfer{}; },
            [](libusb_transfer* t) {
                auto& s = instance();
                std::lock_guard lock(s.mutex);
                s.flying.push_back(t);
                s.submitted.notify_all();
                return 0;
            },
            [](libusb_transfer* t) {
                auto& s = instance();
                if (s.completeDuringCancel) {
                    s.completer = std::thread([&s] { s.completeOne(); });
                    std::unique_lock lock(s.mutex);
                    s.freedChanged.wait_for(lock, std::chrono::milliseconds(300), [&] { return s.freed.count(t) > 0; });
                }
                // Reads the transfer as libusb would: freed memory here is the fault.
                const uint8_t endpoint = t->endpoint;
                std::lock_guard lock(s.mutex);
                s.cancelRequested.insert(t);
                s.cancels += endpoint == 0x83 ? 1 : 0;
                return 0;
            },
            [](libusb_transfer* t) {
                auto& s = instance();
                delete t;
                std::lock_guard lock(s.mutex);
                s.freed.insert(t);
                s.freedChanged.notify_all();
            },
        };
        return table;
    }
    // Completes the oldest transfer in flight, as the event thread does;
    // false when none was in flight within a short wait.
    bool completeOne()
    {
        libusb_transfer* t = nullptr;
        {
            std::unique_lock lock(mutex);
            if (!submitted.wait_for(lock, std::chrono::milliseconds(50), [&] { return !flying.empty(); }))
                return false;
            t = flying.front();
            flying.pop_front();
            const bool cancelled = cancelRequested.erase(t) > 0;
            t->status = cancelled ? LIBUSB_TRANSFER_CANCELLED : LIBUSB_TRANSFER_COMPLETED;
            t->actual_length = cancelled ? 0 : t->length;
        }
        t->callback(t);
        return true;
    }
};

TEST(LibusbTransferTest, AbortWhileTransfersCompleteNeverTouchesAFreedTransfer)
{
    auto& libusb = ScriptedLibusb::instance();
    LibusbTransferSet set(ScriptedLibusb::calls());
    std::atomic<bool> streaming{true};
    uint8_t buffer[64];

    // The completion comes while the abort is about to cancel.
    libusb.completeDuringCancel = true;
    {
        auto transfer = set.submitBulk(nullptr, 0x83, buffer, sizeof buffer);
        std::thread aborter([&] { set.abortPipe(0x83); });
        ASSERT_TRUE(transfer->wait(UINT32_MAX));
        EXPECT_EQ(transfer->status(), UsbStatus::Ok);
        transfer.reset();
        aborter.join();
        libusb.completer.join();
    }
    libusb.completeDuringCancel = false;

    std::thread events([&] {
        while (libusb.completeOne() || streaming) {
        }
    });
    std::thread aborter([&] {
        while (streaming)
            set.abortPipe(0x83);
    });
    int completed = 0, cancelled = 0;
    for (int i = 0; i < 1000; ++i) {
        auto transfer = set.submitBulk(nullptr, 0x83, buffer, sizeof buffer);
        ASSERT_TRUE(transfer->wait(UINT32_MAX));
        const UsbStatus status = transfer->status();
        ASSERT_TRUE(status == UsbStatus::Ok || status == UsbStatus::Cancelled) << usbStatusName(status);
        if (status == UsbStatus::Ok) {
            ++completed;
            EXPECT_EQ(transfer->actualLength(), int(sizeof buffer));
        } else {
            ++cancelled;
        }
    }
    streaming = false;
    aborter.join();
    events.join();
    EXPECT_GT(libusb.cancels.load(), 0); // the aborts did reach transfers in flight
    EXPECT_EQ(completed + cancelled, 1000);

    // A transfer destroyed while in flight is cancelled and waited for.
    auto pending = set.submitBulk(nullptr, 0x83, buffer, sizeof buffer);
    std::thread late([&] {
        while (!libusb.completeOne()) {
        }
    });
    pending.reset();
    late.join();
}

} // namespace
} // namespace usbsdk
