#pragma once

#include <chrono>

// Qt's raster painting and image conversions split large jobs over Qt's global thread pool and wait for every part. A
// pool keeps a part whose thread the system refused (for good, without running it), and the wait for it never ends:
// the GUI thread would freeze. So the pool's threads are all started once, at start, and kept for the whole run: from
// then on the pool hands work only to threads that exist.
class QtPoolThreads {
public:
    // Starts every thread the global pool may have and keeps them; whether they all started within `timeout` (the
    // system refused none). Call once, on the GUI thread, before anything is drawn.
    static bool startAll(std::chrono::milliseconds timeout);
};
