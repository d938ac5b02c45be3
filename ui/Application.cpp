#include "ui/Application.h"

#include "platform/WindowMessages.h"
#include "ui/internal/Dispatcher.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>

#include <memory>

namespace ui {
namespace {
struct State {
    std::unique_ptr<QApplication> app;
    std::unique_ptr<detail::UiDispatcher> dispatcher;
};
State* g_state = nullptr;
} // namespace

Application::Application(int& argc, char** argv)
{
    g_state = new State;
    if (!QApplication::instance())
        g_state->app = std::make_unique<QApplication>(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    g_state->dispatcher = std::make_unique<detail::UiDispatcher>();
    platform::setMessageDispatcher(g_state->dispatcher.get());
}

Application::~Application()
{
    platform::setMessageDispatcher(nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    g_state->dispatcher.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    g_state->app.reset();
    delete g_state;
    g_state = nullptr;
}

bool Application::exists() { return g_state != nullptr; }

void Application::processEvents()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void Application::processEventsFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace ui
