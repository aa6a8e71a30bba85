#include "Duvidu/DuviduLostEventStore.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <system_error>

#include "Duvidu/DuviduFileLock.h"
#include "Duvidu/DuviduFileText.h"
#include "Duvidu/DuviduLog.h"
#include "Duvidu/DuviduSerialization.h"

namespace duvidu {

namespace {

using Counts = std::map<std::pair<DuviduDiscardReason, DuviduDataCategory>, uint64_t>;

void addTo(Counts& counts, const std::vector<DuviduDiscardedEvent>& events)
{
    for (const auto& event : events) counts[{event.reason(), event.category()}] += event.quantity();
}

std::vector<DuviduDiscardedEvent> listOf(const Counts& counts)
{
    std::vector<DuviduDiscardedEvent> events;
    for (const auto& [key, quantity] : counts) {
        if (quantity > 0) events.emplace_back(key.first, key.second, quantity);
    }
    return events;
}

Counts read(const std::string& path)
{
    Counts counts;
    auto bytes = duvidu_readOwnFile(path, kDuviduStateFileLimit);
    if (!bytes) return counts;
    auto json = DuviduSerialization::JSONObjectWithData(bytes->data(), bytes->size());
    if (!json || !json->isObject()) {
        DUVIDU_LOG_ERROR("The lost-event counts in " + path + " are not readable; they start again from none.");
        return counts;
    }
    addTo(counts, DuviduDiscardedEvent::listFromClientReport(*json->asObject()));
    return counts;
}

}  // namespace

DuviduLostEventStore::DuviduLostEventStore(const std::string& folder, std::chrono::steady_clock::duration closingWait)
    : folder_(folder), path_(folder + "/lost-events.json"), closingWait_(closingWait)
{
}

DuviduLostEventStore::~DuviduLostEventStore()
{
    std::lock_guard guard(mutex_);
    writeHeldLocked(closingDeadline_ ? std::max<std::chrono::steady_clock::duration>(
                                           *closingDeadline_ - std::chrono::steady_clock::now(), {})
                                     : closingWait_);
    uint64_t dropped = 0;
    for (const auto& [key, quantity] : held_) dropped += quantity;
    if (dropped > 0)
        DUVIDU_LOG_ERROR("Could not store the lost-event counts at " + path_ + "; " + std::to_string(dropped) +
                         " lost event(s) are not reported.");
}

void DuviduLostEventStore::add(const std::vector<DuviduDiscardedEvent>& events)
{
    if (events.empty()) return;
    std::lock_guard guard(mutex_);
    addTo(held_, events);
    writeHeldLocked({});
}

void DuviduLostEventStore::writeHeldLocked(std::chrono::steady_clock::duration wait)
{
    if (held_.empty()) return;
    auto lock = DuviduFileLock::acquire(folder_, wait);
    if (!lock) {
        DUVIDU_LOG_DEBUG("The lost-event counts at " + path_ + " are busy; the new counts wait in memory.");
        return;
    }
    Counts counts = read(path_);
    for (const auto& [key, quantity] : held_) counts[key] += quantity;
    Value::Array list;
    for (const auto& event : listOf(counts)) list.emplace_back(event.serialize());
    auto data = DuviduSerialization::dataWithJSONObject(Value(Value::Object{{"discarded_events", std::move(list)}}));
    std::string errorText;
    if (!data || !duvidu_writeFileAtomically(path_, *data, &errorText)) {
        DUVIDU_LOG_ERROR("Could not store the lost-event counts at " + path_ + ": " + errorText +
                         "; they wait in memory.");
        return;
    }
    held_.clear();
}

void DuviduLostEventStore::setClosingDeadline(std::chrono::steady_clock::time_point deadline)
{
    std::lock_guard guard(mutex_);
    closingDeadline_ = deadline;
}

std::vector<DuviduDiscardedEvent> DuviduLostEventStore::take()
{
    std::lock_guard guard(mutex_);
    Counts counts = std::exchange(held_, {});
    auto lock = DuviduFileLock::acquire(folder_);
    if (!lock) return listOf(counts);
    Counts stored = read(path_);
    std::error_code error;
    std::filesystem::remove(path_, error);
    if (error) {
        // Handed out now, they would be handed out again: they stay for when the file can be emptied.
        DUVIDU_LOG_ERROR("Could not empty the lost-event counts at " + path_ + ": " + error.message());
        return listOf(counts);
    }
    for (const auto& [key, quantity] : stored) counts[key] += quantity;
    return listOf(counts);
}

}  // namespace duvidu
