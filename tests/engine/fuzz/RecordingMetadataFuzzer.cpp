// libFuzzer entry point: decoding meta.json takes any bytes, and whatever it decodes is written out and read back as
// the same record.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/RecordingMetadata.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    RecordingMetadata record;
    try {
        record = RecordingMetadata::decode(std::string(reinterpret_cast<const char*>(data), size));
    } catch (const RecordingMetadataDecodeError&) {
        return 0;
    }
    if (!(RecordingMetadata::decode(record.encode()) == record)) __builtin_trap();
    return 0;
}
