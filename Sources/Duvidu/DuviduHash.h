#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "Duvidu/Value.h"

namespace duvidu {

// The records' hash: start at 17, then per field hash × 23 + the field's hash, wrapping around; an absent field
// adds 0. Equal records fold equal fields, so they hash alike.
class DuviduHash {
public:
    DuviduHash& add(uint64_t fieldHash)
    {
        value_ = value_ * 23 + fieldHash;
        return *this;
    }
    DuviduHash& add(const std::optional<std::string>& text)
    {
        return add(text ? static_cast<uint64_t>(std::hash<std::string>{}(*text)) : 0);
    }
    DuviduHash& add(const std::optional<DuviduDate>& date)
    {
        return add(date ? static_cast<uint64_t>(date->time_since_epoch().count()) : 0);
    }
    // A dictionary hashes by its number of entries.
    DuviduHash& add(const std::optional<Value::Object>& dictionary) { return add(dictionary ? dictionary->size() : 0); }

    size_t value() const { return static_cast<size_t>(value_); }

private:
    uint64_t value_ = 17;
};

}  // namespace duvidu
