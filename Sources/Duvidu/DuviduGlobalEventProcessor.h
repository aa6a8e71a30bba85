#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace duvidu {

class DuviduEvent;

// The process-wide list of event processors that every capture runs, in the order they were added. A processor
// returns the event to go on with (the same or another one) or nullptr, which drops it.
class DuviduGlobalEventProcessor {
public:
    using EventProcessor = std::function<std::shared_ptr<DuviduEvent>(std::shared_ptr<DuviduEvent>)>;
    using Processors = std::vector<EventProcessor>;

    // ObjC: +[DuviduGlobalEventProcessor shared] — made once, on first use.
    static DuviduGlobalEventProcessor& shared();

    void addEventProcessor(EventProcessor processor);
    void removeAllProcessors();
    // The list as it is now. Adding or removing later makes a new list and leaves this one as it is, so a capture
    // walks its snapshot without a lock while processors are added on other threads.
    std::shared_ptr<const Processors> processors() const;

private:
    DuviduGlobalEventProcessor();  // ObjC: -initPrivate

    mutable std::mutex mutex_;
    std::shared_ptr<const Processors> processors_;
};

}  // namespace duvidu
