#include "platform/DebugOutput.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include <poll.h>

namespace platform {
namespace {

// The sink is chosen once; a log file stays open for the life of the process.
FILE* debugSink()
{
    static FILE* sink = [] {
        const char* target = std::getenv("PELLUMO_DEBUG_LOG");
        if (!target || !*target)
            return stderr;
        if (std::strcmp(target, "off") == 0)
            return static_cast<FILE*>(nullptr);
        FILE* file = std::fopen(target, "a");
        return file ? file : stderr;
    }();
    return sink;
}

std::mutex& outputMutex()
{
    static std::mutex mutex;
    return mutex;
}

void vprintTo(FILE* sink, const char* format, va_list args)
{
    if (!sink)
        return;
    std::lock_guard lock(outputMutex());
    std::vfprintf(sink, format, args);
    std::fflush(sink);
}

} // namespace

void DebugPrintf(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vprintTo(debugSink(), format, args);
    va_end(args);
}

void DebugPrintfNoWait(const char* format, ...)
{
    FILE* sink = debugSink();
    if (!sink)
        return;
    std::unique_lock lock(outputMutex(), std::try_to_lock);
    if (!lock.owns_lock())
        return;
    // A pipe reports writable while a whole page is free, so one short line
    // then goes through without blocking; a regular file is always writable.
    pollfd writable{fileno(sink), POLLOUT, 0};
    if (::poll(&writable, 1, 0) != 1 || !(writable.revents & POLLOUT))
        return;
    va_list args;
    va_start(args, format);
    std::vfprintf(sink, format, args);
    va_end(args);
    std::fflush(sink);
}

void ConsolePrintf(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vprintTo(stdout, format, args);
    va_end(args);
}

} // namespace platform
