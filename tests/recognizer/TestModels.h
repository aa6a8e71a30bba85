#pragma once

#include <cstdlib>
#include <map>
#include <string>

#include "ModelWriter.h"

namespace rectest {

// Model files written once per test process under the temporary HOME that the test main sets up.
class TestModels {
public:
    // SYN-A (seed 0) with 2-D weights of `type`; .en vocabulary when `english`.
    static const std::string& synA(recognizer::TensorType type = recognizer::TensorType::F16, bool english = false) {
        static std::map<std::pair<int, bool>, std::string> paths;
        auto& path = paths[{static_cast<int>(type), english}];
        if (path.empty()) {
            path = folder() + "/syn-a-" + recognizer::tensorTypeName(type) + (english ? "-en" : "") + ".bin";
            recognizer::ModelWriter(recognizer::ModelWriter::preset("syn-a", english), type, 0).write(path);
        }
        return path;
    }

    static std::string folder() {
        const char* home = getenv("HOME");
        return home ? home : "/tmp";
    }
};

}  // namespace rectest
