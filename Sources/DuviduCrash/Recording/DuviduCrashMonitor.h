#pragma once

#include "DuviduCrash/Recording/DuviduCrashMonitorContext.h"

namespace duvidu {

// What every monitor does when it catches a crash. The first thread to crash claims the crash and writes the one
// report; a thread that crashes at the same time waits until the report is closed; a second signal on the claiming
// thread (the abort that follows an uncaught C++ exception, or a fault inside the handler) writes nothing more.
// Everything here is safe in a signal handler.

// True when this thread is the first to crash: it writes the report. Otherwise false, once another thread's report
// is closed (or after 10 seconds), or at once when this thread claimed the crash before.
bool duviducrashmonitor_claim();

// Writes the report, then records the crash in the crash state. Only for the thread that claimed the crash.
void duviducrashmonitor_handleCrash(const DuviduCrashMonitorContext& context);

// The next report: its id and the path it is closed under (it is written beside it under a temporary name first).
// Set outside signal handlers, before the monitors are installed; false when a text does not fit.
bool duviducrashmonitor_setNextReport(const char* reportId, const char* path);

}  // namespace duvidu
