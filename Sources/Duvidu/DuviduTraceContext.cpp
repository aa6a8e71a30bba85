#include "Duvidu/DuviduTraceContext.h"

namespace duvidu {

DuviduTraceContext::DuviduTraceContext(DuviduId traceId, std::string publicKey)
    : traceId(traceId), publicKey(std::move(publicKey))
{
}

std::shared_ptr<DuviduTraceContext> DuviduTraceContext::initWithDict(const Value::Object& dict)
{
    auto text = [&](const char* key) -> std::optional<std::string> {
        auto it = dict.find(key);
        if (it == dict.end() || !it->second.isString()) return std::nullopt;
        return *it->second.asString();
    };
    auto traceId = text("trace_id");
    auto publicKey = text("public_key");
    if (!traceId || !publicKey) return nullptr;
    auto context = std::make_shared<DuviduTraceContext>(DuviduId::fromUUIDString(*traceId), *publicKey);
    context->releaseName = text("release");
    context->environment = text("environment");
    context->transaction = text("transaction");
    context->userSegment = text("user_segment");
    context->sampleRate = text("sample_rate");
    return context;
}

Value::Object DuviduTraceContext::serialize() const
{
    Value::Object dict{{"trace_id", traceId.duviduIdString()}, {"public_key", publicKey}};
    auto put = [&](const char* key, const std::optional<std::string>& value) {
        if (value) dict[key] = *value;
    };
    put("release", releaseName);
    put("environment", environment);
    put("transaction", transaction);
    put("user_segment", userSegment);
    put("sample_rate", sampleRate);
    return dict;
}

}  // namespace duvidu
