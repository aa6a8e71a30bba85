#pragma once

namespace duvidu {

// A source of sampling numbers; tests give fixed sequences.
class DuviduRandomProtocol {
public:
    virtual ~DuviduRandomProtocol() = default;
    // A number in [0, 1).
    virtual double nextNumber() = 0;
};

}  // namespace duvidu
