#pragma once

#include "Duvidu/Value.h"

namespace duvidu {

// A unit of traced work, as the scope holds the current one. The tracing layer provides the spans.
class DuviduSpan {
public:
    virtual ~DuviduSpan() = default;
    // The span's dictionary; an event carries it as its "trace" context.
    virtual Value::Object serialize() const = 0;
};

}  // namespace duvidu
