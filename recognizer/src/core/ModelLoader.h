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
};

}  // namespace recognizer
