#include "Duvidu/DuviduLostEventStore.h"

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

DuviduLostEventStore::DuviduLostEventStore(const std::string& folder)
    : folder_(folder), path_(folder + "/lost-events.json")
{
}

void DuviduLostEventStore::add(const std::vector<DuviduDiscardedEvent>& events)
{
    if (events.empty()) return;
    auto lock = DuviduFileLock::acquire(folder_, true);
    if (!lock) {
        DUVIDU_LOG_ERROR("Could not lock " + folder_ + "; " + std::to_string(events.size()) +
                         " lost-event count(s) are dropped.");
        return;
    }
    Counts counts = read(path_);
    addTo(counts, events);
    Value::Array list;
    for (const auto& event : listOf(counts)) list.emplace_back(event.serialize());
    auto data = DuviduSerialization::dataWithJSONObject(Value(Value::Object{{"discarded_events", std::move(list)}}));
    std::string errorText;
    if (!data || !duvidu_writeFileAtomically(path_, *data, &errorText))
        DUVIDU_LOG_ERROR("Could not store the lost-event counts at " + path_ + ": " + errorText);
}

std::vector<DuviduDiscardedEvent> DuviduLostEventStore::take()
{
    auto lock = DuviduFileLock::acquire(folder_, true);
    if (!lock) return {};
    Counts counts = read(path_);
    std::error_code error;
    std::filesystem::remove(path_, error);
    if (error) {
        DUVIDU_LOG_ERROR("Could not empty the lost-event counts at " + path_ + ": " + error.message());
        return {};
    }
    return listOf(counts);
}

}  // namespace duvidu
