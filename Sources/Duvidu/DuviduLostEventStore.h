#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Duvidu/DuviduDiscardedEvent.h"

namespace duvidu {

// The lost-event counts that no stored envelope carries yet, kept in the file "lost-events.json" of a cache folder
// (the client report's {"discarded_events": [...]} form), so that they outlive the process that counted them and
// every process sharing the folder adds to the same counts. Each change reads, merges and rewrites the file (whole or
// not at all) under a lock on the folder that all of them take; taking the counts empties the file, so each loss is
// handed out once. Safe from any thread.
//
// Adding and taking never wait for another process: when the folder's lock is held elsewhere, or the file cannot be
// written (a full disk, a read-only folder), the counts stay in memory, are written with a later change, and are
// handed out by take in any case. Only the last write, when the store goes, waits for the lock: for at most the
// closing wait given at construction (the SDK's shutdown time), or until the deadline of a close; what it cannot write
// then is logged as not reported.
class DuviduLostEventStore {
public:
    DuviduLostEventStore(const std::string& folder, std::chrono::steady_clock::duration closingWait);
    // Writes the counts still held in memory, waiting for the folder's lock for at most the closing wait, or until
    // the closing deadline when one was set.
    ~DuviduLostEventStore();
    DuviduLostEventStore(const DuviduLostEventStore&) = delete;
    DuviduLostEventStore& operator=(const DuviduLostEventStore&) = delete;

    void add(const std::vector<DuviduDiscardedEvent>& events);
    // Every count that can be had now (those in memory, and the file's unless its lock is held elsewhere or it cannot
    // be emptied), ordered by reason and then category.
    std::vector<DuviduDiscardedEvent> take();
    // The last write waits for the folder's lock until the deadline (which may have passed: one try then), instead of
    // the closing wait: a close that has used part of its time for other things leaves this one only what is left.
    void setClosingDeadline(std::chrono::steady_clock::time_point deadline);

private:
    using Counts = std::map<std::pair<DuviduDiscardReason, DuviduDataCategory>, uint64_t>;

    // Merges the counts held in memory into the file when the folder's lock can be had within the wait.
    void writeHeldLocked(std::chrono::steady_clock::duration wait);

    std::string folder_;
    std::string path_;
    std::chrono::steady_clock::duration closingWait_;
    std::optional<std::chrono::steady_clock::time_point> closingDeadline_;  // guarded by mutex_
    std::mutex mutex_;
    Counts held_;
};

}  // namespace duvidu
