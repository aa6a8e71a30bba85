#pragma once

#include <optional>
#include <string>

namespace duvidu {

// The whole content of a file such as /proc/meminfo; nullopt when it cannot be opened.
std::optional<std::string> duvidu_readTextFile(const char* path);

}  // namespace duvidu
