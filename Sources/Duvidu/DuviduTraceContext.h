#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Duvidu/DuviduId.h"
#include "Duvidu/Value.h"

namespace duvidu {

class DuviduOptions;
class DuviduScope;
class DuviduTracer;

// The trace of an envelope, as its header's "trace" entry carries it.
class DuviduTraceContext {
public:
    DuviduTraceContext(DuviduId traceId, std::string publicKey);

    // ObjC: -[DuviduTraceContext initWithTracer:scope:options:] — the tracer's trace id and transaction name and
    // sample rate, the DSN's public key, the options' release and environment, and the segment of the scope's user.
    // nullptr when the tracer's trace id is empty or the options have no parsed DSN.
    static std::shared_ptr<DuviduTraceContext> initWithTracer(const DuviduTracer& tracer,
                                                              const std::shared_ptr<DuviduScope>& scope,
                                                              const DuviduOptions& options);
    // ObjC: -[DuviduTraceContext initWithDict:] — nullptr unless "trace_id" and "public_key" are texts.
    static std::shared_ptr<DuviduTraceContext> initWithDict(const Value::Object& dict);

    DuviduId traceId;
    std::string publicKey;
    std::optional<std::string> releaseName;
    std::optional<std::string> environment;
    std::optional<std::string> transaction;
    std::optional<std::string> userSegment;
    std::optional<std::string> sampleRate;

    // "trace_id", "public_key", and "release", "environment", "transaction", "user_segment", "sample_rate" when
    // present.
    Value::Object serialize() const;
};

}  // namespace duvidu
