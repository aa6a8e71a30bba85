// libFuzzer entry point: the WAV readers (the samples for the waveform, the length for the record) take any bytes as
// a file's contents without reading outside them or crashing.
#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "engine/WavFile.h"
#include "support/MemoryFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static vctest::MemoryFile file;
    const std::filesystem::path path = file.hold(data, size);
    const std::vector<float> samples = readWavSamples(path);
    // Every stored sample reads back within the range the writer uses.
    for (float s : samples) {
        if (!(s >= -1.0f && s <= 1.0f)) __builtin_trap();
    }
    if (size > 44 && samples.size() != (size - 44) / 2) __builtin_trap();
    if (wavDurationMilliseconds(path) < 0) __builtin_trap();
    return 0;
}
