#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Duvidu/Value.h"

namespace duvidu {

// One loaded binary image, as the debug image provider describes it.
class DuviduDebugMeta {
public:
    std::optional<std::string> uuid;
    std::optional<std::string> debugID;
    std::optional<std::string> type;
    // The image's full path.
    std::optional<std::string> name;
    std::optional<uint64_t> imageSize;
    std::optional<std::string> imageAddress;
    std::optional<std::string> imageVmAddress;
    std::optional<std::string> codeFile;

    // "uuid", "debug_id", "type", "image_addr", "image_size", "name" (the last path component only), "code_file",
    // "image_vmaddr"; each only when present.
    Value::Object serialize() const;

    bool operator==(const DuviduDebugMeta& other) const = default;
};

}  // namespace duvidu
