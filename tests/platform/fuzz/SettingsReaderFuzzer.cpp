// libFuzzer entry point: the settings reader takes any bytes, and whatever it reads is written out within the size cap
// of a settings file and read back as the same contents, the values it keeps untyped included. The seed deep.json
// (values nested 2,000 deep, far past the depth the reader keeps) also sets the longest input tried, which libFuzzer
// takes from its largest seed: long enough for such nests, short enough to keep tens of thousands of runs a second.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/ReadableFile.h"
#include "platform/SettingsStore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto contents = SettingsStore::decode(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!contents) return 0;
    const std::string bytes = SettingsStore::encode(*contents);
    if (bytes.size() > ReadableFile::sizeCap(ReadableFile::Kind::settings)) __builtin_trap();
    const auto again = SettingsStore::decode(bytes);
    if (!again || !(*again == *contents)) __builtin_trap();
    return 0;
}
