// libFuzzer entry point: the model-file reader takes any bytes as a file's contents and either loads a model or says
// why not, without reading outside the file, crashing or asking for memory the file does not justify.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/ModelLoader.h"
#include "support/MemoryFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static vctest::MemoryFile file;
    std::string error;
    const auto model = recognizer::ModelLoader::load(file.hold(data, size), error);
    if (!model == error.empty()) __builtin_trap();
    return 0;
}
