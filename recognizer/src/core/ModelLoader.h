#pragma once

#include <memory>
#include <string>

#include "core/Model.h"

namespace recognizer {

// Reads a ggml model file and checks every field; on failure returns null and sets `error` to a sentence that names
// what is wrong.
class ModelLoader {
public:
    static std::unique_ptr<Model> load(const std::string& path, std::string& error);

    // Empty when the working memory that `hp` asks for (encoder and decoder buffers with every decoder slot) is
    // within the bound for a file of `fileBytes`; otherwise the reason for refusing the file.
    static std::string checkWorkingMemory(const Hparams& hp, int64_t fileBytes);
};

}  // namespace recognizer
