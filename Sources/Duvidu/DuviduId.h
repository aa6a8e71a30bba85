#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace duvidu {

// The 128-bit identifier of events, envelopes and traces; written as 32 lowercase hexadecimal digits.
class DuviduId {
public:
    using Bytes = std::array<uint8_t, 16>;

    // ObjC: -[DuviduId init] — a new random (version 4) id.
    DuviduId();
    // ObjC: -[DuviduId initWithUUID:]
    explicit DuviduId(const Bytes& uuid);
    // ObjC: -[DuviduId initWithUUIDString:] — 36 characters (8-4-4-4-12) or 32 hexadecimal digits of either case;
    // anything else gives the empty id.
    static DuviduId fromUUIDString(std::string_view text);
    // ObjC: +[DuviduId empty] — the id whose bits are all zero.
    static const DuviduId& empty();

    const Bytes& uuid() const { return uuid_; }
    std::string duviduIdString() const;
    std::string description() const { return duviduIdString(); }
    bool isEmpty() const { return *this == empty(); }
    size_t hash() const;

    bool operator==(const DuviduId& other) const = default;

private:
    Bytes uuid_;
};

}  // namespace duvidu

template <>
struct std::hash<duvidu::DuviduId> {
    size_t operator()(const duvidu::DuviduId& id) const noexcept { return id.hash(); }
};
