#include "app/shell/capture/DesktopIdleInhibitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QString>

#include <fcntl.h>
#include <unistd.h>

namespace {

// A desktop that does not answer within this long is taken as having none.
constexpr int kAnswerTimeoutMs = 3000;

QDBusMessage screenSaverCall(const char* method)
{
    return QDBusMessage::createMethodCall("org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
                                          "org.freedesktop.ScreenSaver", method);
}

} // namespace

DesktopIdleInhibitor::Hold& DesktopIdleInhibitor::Hold::operator=(Hold&& other) noexcept
{
    if (this != &other) {
        reset();
        m_owner = other.m_owner;
        other.m_owner = nullptr;
    }
    return *this;
}

void DesktopIdleInhibitor::Hold::reset()
{
    if (m_owner)
        m_owner->release();
    m_owner = nullptr;
}

DesktopIdleInhibitor::DesktopIdleInhibitor() : DesktopIdleInhibitor(Options{}) {}

DesktopIdleInhibitor::DesktopIdleInhibitor(Options options) : m_options(std::move(options)) {}

DesktopIdleInhibitor::~DesktopIdleInhibitor()
{
    // A request still in flight is answered before the program goes, so a
    // granted inhibition is never left behind.
    m_holds = 0;
    m_listener = nullptr;
    while (m_pending) {
        QDBusPendingCallWatcher* pending = m_pending.get();
        pending->waitForFinished();
        if (m_pending.get() == pending) // its answer was not delivered through the loop
            emit pending->finished(pending);
    }
    giveBack();
}

DesktopIdleInhibitor::Hold DesktopIdleInhibitor::hold(const std::string& reason)
{
    if (++m_holds == 1 && !m_pending && m_state != State::Inhibited) {
        setState(State::Asking);
        askScreenSaver(reason);
    } else if (m_holds == 1 && m_pending) {
        setState(State::Asking); // the answer in flight is kept when it comes
    }
    return Hold(this);
}

void DesktopIdleInhibitor::release()
{
    if (m_holds <= 0 || --m_holds > 0)
        return;
    // With a request in flight its answer is given back when it comes.
    if (!m_pending)
        giveBack();
    setState(State::Released);
}

void DesktopIdleInhibitor::setState(State state)
{
    if (state == m_state)
        return;
    m_state = state;
    if (m_listener)
        m_listener(state);
}

void DesktopIdleInhibitor::giveBack()
{
    if (m_haveCookie) {
        QDBusMessage call = screenSaverCall("UnInhibit");
        call << m_cookie;
        QDBusConnection::sessionBus().send(call);
        m_haveCookie = false;
    }
    if (m_logindFd >= 0) {
        ::close(m_logindFd); // logind ends the inhibition with its descriptor
        m_logindFd = -1;
    }
}

void DesktopIdleInhibitor::askScreenSaver(const std::string& reason)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        askLogind(reason);
        return;
    }
    QDBusMessage call = screenSaverCall("Inhibit");
    call << QString::fromStdString(m_options.application) << QString::fromStdString(reason);
    m_pending = std::make_unique<QDBusPendingCallWatcher>(bus.asyncCall(call, kAnswerTimeoutMs));
    QObject::connect(m_pending.get(), &QDBusPendingCallWatcher::finished, [this, reason](QDBusPendingCallWatcher* w) {
        // The watcher goes once its signal is done.
        m_pending.release()->deleteLater();
        const QDBusPendingReply<uint32_t> reply = *w;
        if (reply.isError()) {
            askLogind(reason);
            return;
        }
        m_cookie = reply.value();
        m_haveCookie = true;
        if (m_holds == 0)
            giveBack();
        else
            setState(State::Inhibited);
    });
}

void DesktopIdleInhibitor::askLogind(const std::string& reason)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!m_options.useLogind || !bus.isConnected()) {
        if (m_holds > 0)
            setState(State::Unavailable);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                                       "org.freedesktop.login1.Manager", "Inhibit");
    call << QString("idle") << QString::fromStdString(m_options.application) << QString::fromStdString(reason)
         << QString("block");
    m_pending = std::make_unique<QDBusPendingCallWatcher>(bus.asyncCall(call, kAnswerTimeoutMs));
    QObject::connect(m_pending.get(), &QDBusPendingCallWatcher::finished, [this](QDBusPendingCallWatcher* w) {
        m_pending.release()->deleteLater();
        const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *w;
        const int fd = reply.isError() ? -1 : reply.value().fileDescriptor();
        if (fd < 0) {
            if (m_holds > 0)
                setState(State::Unavailable);
            return;
        }
        // The reply's descriptor closes with the reply; the inhibition lasts
        // as long as a copy stays open.
        m_logindFd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
        if (m_holds == 0)
            giveBack();
        else
            setState(m_logindFd >= 0 ? State::Inhibited : State::Unavailable);
    });
}
