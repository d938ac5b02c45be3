// The desktop kept awake over D-Bus while a time-lapse (or a recording, or a
// series) runs, against a stand-in screen saver on the session bus the test
// runs in (started by dbus-run-session).
#include "app/shell/capture/DesktopIdleInhibitor.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr const char* kService = "org.freedesktop.ScreenSaver";
constexpr const char* kPath = "/org/freedesktop/ScreenSaver";

// The screen saver's two calls, recorded; on its own bus connection and its
// own thread, so the inhibitor's calls travel through the bus daemon and are
// answered while the test's thread waits for one.
class StandInScreenSaver : public QDBusVirtualObject {
public:
    struct Call {
        std::string method, application, reason;
        uint32_t cookie = 0;
    };

    explicit StandInScreenSaver(bool refuse = false)
        : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, "stand-in")), m_refuse(refuse)
    {
        m_thread.start();
        moveToThread(&m_thread);
    }
    ~StandInScreenSaver() override
    {
        m_bus.unregisterObject(kPath);
        m_bus.unregisterService(kService);
        m_thread.quit();
        m_thread.wait();
        QDBusConnection::disconnectFromBus("stand-in");
    }
    bool start()
    {
        return m_bus.isConnected() && m_bus.registerVirtualObject(kPath, this) && m_bus.registerService(kService);
    }

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        const QList<QVariant> args = message.arguments();
        if (m_refuse) {
            connection.send(message.createErrorReply(QDBusError::AccessDenied, "refused"));
            return true;
        }
        std::lock_guard lock(m_mutex);
        if (message.member() == "Inhibit" && args.size() == 2) {
            m_calls.push_back(
                {"Inhibit", args[0].toString().toStdString(), args[1].toString().toStdString(), ++m_next});
            connection.send(message.createReply(QVariant::fromValue(m_next)));
            return true;
        }
        if (message.member() == "UnInhibit" && args.size() == 1) {
            m_calls.push_back({"UnInhibit", {}, {}, args[0].toUInt()});
            connection.send(message.createReply());
            return true;
        }
        return false;
    }
    std::vector<Call> calls() const
    {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }

private:
    QThread m_thread;
    mutable std::mutex m_mutex;
    std::vector<Call> m_calls;
    QDBusConnection m_bus;
    bool m_refuse;
    uint32_t m_next = 40;
};

bool processEventsUntil(const std::function<bool()>& done, int timeoutMs = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

DesktopIdleInhibitor::Options sessionBusOnly()
{
    DesktopIdleInhibitor::Options options;
    options.application = "Pellumo";
    options.useLogind = false; // the test's own bus is the only desktop
    return options;
}

class TimeLapseIdleTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (!std::getenv("DBUS_SESSION_BUS_ADDRESS"))
            GTEST_SKIP() << "needs a session bus: run under dbus-run-session";
    }
};

TEST_F(TimeLapseIdleTest, TheDesktopIsKeptAwakeWhileWorkRunsAndReleasedWhenTheLastEndsOrTheProgramCloses)
{
    StandInScreenSaver screenSaver;
    ASSERT_TRUE(screenSaver.start());
    auto calls = [&] { return screenSaver.calls(); };
    std::vector<DesktopIdleInhibitor::State> states;
    {
        DesktopIdleInhibitor inhibitor(sessionBusOnly());
        inhibitor.setStateListener([&](DesktopIdleInhibitor::State s) { states.push_back(s); });

        // Two pieces of work overlap: one request, given back after the last.
        DesktopIdleInhibitor::Hold recording = inhibitor.hold("Recording from the camera");
        EXPECT_EQ(inhibitor.state(), DesktopIdleInhibitor::State::Asking);
        ASSERT_TRUE(processEventsUntil([&] { return inhibitor.state() == DesktopIdleInhibitor::State::Inhibited; }));
        DesktopIdleInhibitor::Hold timeLapse = inhibitor.hold("Recording from the camera");
        recording.reset();
        processEventsUntil([] { return false; }, 200);
        ASSERT_EQ(calls().size(), 1u);
        EXPECT_EQ(calls()[0].method, "Inhibit");
        EXPECT_EQ(calls()[0].application, "Pellumo");
        EXPECT_EQ(calls()[0].reason, "Recording from the camera");
        EXPECT_EQ(inhibitor.state(), DesktopIdleInhibitor::State::Inhibited);
        timeLapse.reset();
        EXPECT_EQ(inhibitor.state(), DesktopIdleInhibitor::State::Released);
        ASSERT_TRUE(processEventsUntil([&] { return calls().size() == 2; }));
        EXPECT_EQ(calls()[1].method, "UnInhibit");
        EXPECT_EQ(calls()[1].cookie, calls()[0].cookie);

        // Work that ends before the desktop answered: the answer is given back.
        inhibitor.hold("Recording from the camera").reset();
        ASSERT_TRUE(processEventsUntil([&] { return calls().size() == 4; }));
        EXPECT_EQ(calls()[3].method, "UnInhibit");
        EXPECT_EQ(calls()[3].cookie, calls()[2].cookie);
        EXPECT_EQ(inhibitor.state(), DesktopIdleInhibitor::State::Released);

        // The program closes right after work began, before the answer came.
        inhibitor.hold("Recording from the camera").reset();
    }
    ASSERT_TRUE(processEventsUntil([&] { return calls().size() == 6; }));
    EXPECT_EQ(calls()[4].method, "Inhibit");
    EXPECT_EQ(calls()[5].method, "UnInhibit");
    EXPECT_EQ(calls()[5].cookie, calls()[4].cookie);
    ASSERT_FALSE(states.empty());
    EXPECT_EQ(states.front(), DesktopIdleInhibitor::State::Asking);
}

TEST_F(TimeLapseIdleTest, ADesktopWithoutOrRefusingAScreenSaverIsReportedNotAsleep)
{
    for (const bool present : {false, true}) {
        StandInScreenSaver refusing(/*refuse=*/true);
        if (present) {
            ASSERT_TRUE(refusing.start());
        }
        DesktopIdleInhibitor inhibitor(sessionBusOnly());
        DesktopIdleInhibitor::Hold hold = inhibitor.hold("Recording from the camera");
        EXPECT_TRUE(processEventsUntil([&] { return inhibitor.state() == DesktopIdleInhibitor::State::Unavailable; }))
            << (present ? "refused" : "no service");
        hold.reset();
        EXPECT_EQ(inhibitor.state(), DesktopIdleInhibitor::State::Released);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
