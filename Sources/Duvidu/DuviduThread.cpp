#include "Duvidu/DuviduThread.h"

#include "Duvidu/DuviduMutableDictionary.h"

namespace duvidu {

DuviduThread::DuviduThread(std::optional<int64_t> threadId) : threadId(threadId) {}

Value::Object DuviduThread::serialize() const
{
    Value::Object json{{"id", threadId ? Value(*threadId) : Value(99)}};
    setValueIfPresent(json, "crashed", crashed);
    setValueIfPresent(json, "current", current);
    setValueIfPresent(json, "name", name);
    if (stacktrace) json["stacktrace"] = stacktrace->serialize();
    setValueIfPresent(json, "main", isMain);
    return json;
}

}  // namespace duvidu
