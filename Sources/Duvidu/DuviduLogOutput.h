#pragma once

#include <string>

namespace duvidu {

// Where the SDK's log lines go. The default writes each line to standard error; tests put a collector in its place.
class DuviduLogOutput {
public:
    virtual ~DuviduLogOutput() = default;
    // One line, without its newline.
    virtual void log(const std::string& line);
};

}  // namespace duvidu
