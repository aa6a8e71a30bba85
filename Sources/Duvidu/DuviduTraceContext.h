#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Duvidu/DuviduId.h"
#include "Duvidu/Value.h"

namespace duvidu {

// The trace of an envelope, as its header's "trace" entry carries it.
class DuviduTraceContext {
public:
    DuviduTraceContext(DuviduId traceId, std::string publicKey);

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
