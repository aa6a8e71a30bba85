#pragma once

namespace duvidu {

// HTTP status codes from min to max, both included.
class DuviduHttpStatusCodeRange {
public:
    DuviduHttpStatusCodeRange(int min, int max) : min_(min), max_(max) {}

    int min() const { return min_; }
    int max() const { return max_; }
    bool isInRange(int statusCode) const { return statusCode >= min_ && statusCode <= max_; }

    bool operator==(const DuviduHttpStatusCodeRange&) const = default;

private:
    int min_;
    int max_;
};

}  // namespace duvidu
