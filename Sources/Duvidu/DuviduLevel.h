#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace duvidu {

// Severity of events and of the SDK's own log messages. Values above Fatal can occur (they come from stored data or
// callers) and are named "none".
enum class DuviduLevel : uint64_t { None = 0, Debug = 1, Info = 2, Warning = 3, Error = 4, Fatal = 5 };

// "none", "debug", "info", "warning", "error", "fatal"; every value outside 1 to 5 gives "none".
std::string nameForLevel(DuviduLevel level);
// Exact, case-sensitive match of the six names; anything else, and no name, gives Error.
DuviduLevel levelForName(const std::optional<std::string>& name);

}  // namespace duvidu
