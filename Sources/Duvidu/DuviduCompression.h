#pragma once

#include <optional>

#include "Duvidu/DuviduData.h"
#include "Duvidu/NSError.h"

namespace duvidu {

// gzip of the bytes at the given zlib level (-1 is zlib's default). Empty input gives empty output with no gzip
// header. On failure gives nullopt and, when a slot is given, an SDK error with code 103.
std::optional<DuviduData> duvidu_gzippedWithCompressionLevel(const DuviduData& data, int compressionLevel,
                                                             NSError* error = nullptr);

// A copy of the bytes with one 0 byte appended, for handing JSON text to C code.
DuviduData duvidu_nullTerminated(const DuviduData& data);

}  // namespace duvidu
