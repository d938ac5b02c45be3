#pragma once

namespace platform {

// Diagnostics meant for developers (the "debugger output" of the design).
// They go to standard error, or to the file named by PELLUMO_DEBUG_LOG when set,
// and can be silenced with PELLUMO_DEBUG_LOG=off.
void DebugPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The same, for threads that must never wait on diagnostics (frame
// delivery): the line is dropped when another thread is printing or the
// sink cannot take it at once (standard error a full pipe nobody reads).
void DebugPrintfNoWait(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Console diagnostics that the design prints to standard output.
void ConsolePrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace platform
