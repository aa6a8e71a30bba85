#include "Duvidu/DuviduLevel.h"

#include <array>

namespace duvidu {

namespace {
constexpr std::array<const char*, 6> kLevelNames = {"none", "debug", "info", "warning", "error", "fatal"};
}

std::string nameForLevel(DuviduLevel level)
{
    auto value = static_cast<uint64_t>(level);
    return value >= 1 && value <= 5 ? kLevelNames[value] : kLevelNames[0];
}

DuviduLevel levelForName(const std::optional<std::string>& name)
{
    if (name) {
        for (size_t i = 0; i < kLevelNames.size(); ++i) {
            if (*name == kLevelNames[i]) return static_cast<DuviduLevel>(i);
        }
    }
    return DuviduLevel::Error;
}

}  // namespace duvidu
