#include "Duvidu/DuviduTransaction.h"

namespace duvidu {

DuviduTransaction::DuviduTransaction(std::shared_ptr<DuviduTracer> trace) : trace_(std::move(trace))
{
    type = "transaction";
    transaction = trace_->transactionName();
    startTimestamp = trace_->startTimestamp();
    startSystemTime = trace_->startSystemTime();
    if (auto end = trace_->timestamp()) timestamp = end;
    endSystemTime = trace_->endSystemTime();
}

Value::Object DuviduTransaction::serialize()
{
    auto json = DuviduEvent::serialize();
    json["spans"] = Value::Array{};
    Value::Object contexts;
    if (auto found = json.find("contexts"); found != json.end() && found->second.isObject()) {
        contexts = *found->second.asObject();
    }
    contexts["trace"] = trace_->serialize();
    json["contexts"] = std::move(contexts);
    return json;
}

}  // namespace duvidu
