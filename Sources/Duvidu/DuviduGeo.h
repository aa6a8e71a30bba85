#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "Duvidu/Value.h"

namespace duvidu {

// Where a user is.
class DuviduGeo {
public:
    std::optional<std::string> city;
    std::optional<std::string> countryCode;
    std::optional<std::string> region;

    // "city", "country_code", "region"; an absent one is left out.
    Value::Object serialize() const;
    // Compares city, country code and region.
    bool operator==(const DuviduGeo& other) const = default;
    size_t hash() const;
};

}  // namespace duvidu
