#pragma once

#include <chrono>

// Qt's raster painting and image conversions split large jobs over Qt's global thread pool and wait for every part. A
// pool keeps a part whose thread the system refused (for good, without running it), and the wait for it never ends:
// the GUI thread would freeze. So the pool gets the one thread that drawing needs, started at start and kept for the
// whole run, and no more: from then on it hands work only to a thread that exists. The application's own background
// work runs on TaskThreads, never on this pool.
class QtPoolThreads {
public:
    // Limits the global pool to its drawing thread and starts it; whether it started within `timeout` (the system
    // did not refuse it). Call once, on the GUI thread, before anything is drawn and after the session bus, whose
    // thread the tray icon waits for, is open.
    static bool start(std::chrono::milliseconds timeout);
};
