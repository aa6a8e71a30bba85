// libFuzzer entry point: the settings reader takes any bytes, and whatever it reads is written out and read back as
// the same contents, the values it keeps untyped included.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/SettingsStore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto contents = SettingsStore::decode(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!contents) return 0;
    const auto again = SettingsStore::decode(SettingsStore::encode(*contents));
    if (!again || !(*again == *contents)) __builtin_trap();
    return 0;
}
