#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/Pasteboard.h"

namespace vctest {

// Records what is asked of the clipboard; `accepts` false makes every write fail.
class FakePasteboard : public Pasteboard {
public:
    void clearContents() override {
        events.push_back("clear");
        contents.reset();
    }
    bool writeString(const std::string& text) override {
        events.push_back("write:" + text);
        if (accepts) contents = text;
        return accepts;
    }

    bool accepts = true;
    std::optional<std::string> contents;
    std::vector<std::string> events;
};

}  // namespace vctest
