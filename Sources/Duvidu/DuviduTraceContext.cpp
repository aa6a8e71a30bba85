#include "Duvidu/DuviduTraceContext.h"

#include <charconv>

#include "Duvidu/DuviduOptions.h"
#include "Duvidu/DuviduScope.h"
#include "Duvidu/DuviduTracer.h"

namespace duvidu {

DuviduTraceContext::DuviduTraceContext(DuviduId traceId, std::string publicKey)
    : traceId(traceId), publicKey(std::move(publicKey))
{
}

namespace {

// The shortest text that reads back as the same number: 1 gives "1", 0.25 gives "0.25".
std::string numberText(double number)
{
    char buffer[32];
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, number);
    return error == std::errc() ? std::string(buffer, end) : std::to_string(number);
}

}  // namespace

std::shared_ptr<DuviduTraceContext> DuviduTraceContext::initWithTracer(const DuviduTracer& tracer,
                                                                       const std::shared_ptr<DuviduScope>& scope,
                                                                       const DuviduOptions& options)
{
    const auto& dsn = options.parsedDsn();
    if (tracer.traceId() == DuviduId::empty() || !dsn) return nullptr;
    auto context = std::make_shared<DuviduTraceContext>(tracer.traceId(), dsn->publicKey());
    context->releaseName = options.releaseName;
    context->environment = options.environment;
    context->transaction = tracer.transactionName();
    if (scope) {
        if (auto user = scope->userObject()) context->userSegment = user->segment;
    }
    if (auto rate = tracer.transactionContext().sampleRate) context->sampleRate = numberText(*rate);
    return context;
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
