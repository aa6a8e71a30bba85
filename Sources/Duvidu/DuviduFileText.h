#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "Duvidu/DuviduData.h"

namespace duvidu {

// The whole content of a file such as /proc/meminfo; nullopt when it cannot be opened.
std::optional<std::string> duvidu_readTextFile(const char* path);

// Writes every byte to the open file, writing again after a partial or interrupted write. False when a write fails,
// with errno telling why (EIO when a write took nothing).
bool duvidu_writeAll(int file, const void* bytes, size_t size);

// Writes the bytes to a new hidden file beside `path` (readable by the owner only) and renames it over `path`, so
// that readers see the whole file or none, even when the process dies while writing. On failure nothing is left
// behind and errorText, when given, holds the reason.
bool duvidu_writeFileAtomically(const std::string& path, const DuviduData& data, std::string* errorText = nullptr);

}  // namespace duvidu
