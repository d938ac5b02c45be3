#include "ui/Application.h"

#include "platform/WindowMessages.h"
#include "ui/internal/Dispatcher.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace ui {
namespace {
struct State {
    std::unique_ptr<QApplication> app;
    std::unique_ptr<detail::UiDispatcher> dispatcher;
};
State* g_state = nullptr;
} // namespace

void Application::PreferX11(int argc, char** argv)
{
    if (const char* chosen = std::getenv("QT_QPA_PLATFORM"); chosen && *chosen)
        return;
    for (int i = 1; i < argc; ++i)
        if (argv[i] && (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0))
            return;
    const char* display = std::getenv("DISPLAY");
    if (display && *display)
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
}

Application::Application(int& argc, char** argv)
{
    PreferX11(argc, argv);
    g_state = new State;
    if (!QApplication::instance())
        g_state->app = std::make_unique<QApplication>(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    // Qt took the locale from the environment; printf-style numbers keep
    // their decimal point in every language (texts still follow the locale).
    std::setlocale(LC_NUMERIC, "C");
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
