#pragma once

#include <string>
#include <vector>

#include "Duvidu/DuviduDiscardedEvent.h"

namespace duvidu {

// The lost-event counts that no stored envelope carries yet, kept in the file "lost-events.json" of a cache folder
// (the client report's {"discarded_events": [...]} form), so that they outlive the process that counted them and
// every process sharing the folder adds to the same counts. Each change reads, merges and rewrites the file (whole or
// not at all) under a lock on the folder that all of them take; taking the counts empties the file, so each loss is
// handed out once. Safe from any thread.
class DuviduLostEventStore {
public:
    explicit DuviduLostEventStore(const std::string& folder);

    void add(const std::vector<DuviduDiscardedEvent>& events);
    // Every count, ordered by reason and then category; none are left behind.
    std::vector<DuviduDiscardedEvent> take();

private:
    std::string folder_;
    std::string path_;
};

}  // namespace duvidu
