#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Duvidu/DuviduFrame.h"
#include "Duvidu/Value.h"

namespace duvidu {

// One stack: its frames, outermost call first and innermost last, and the registers of the innermost frame.
class DuviduStacktrace {
public:
    // ObjC: -[DuviduStacktrace initWithFrames:registers:]
    explicit DuviduStacktrace(std::vector<DuviduFrame> frames = {}, std::map<std::string, std::string> registers = {});

    std::vector<DuviduFrame> frames;
    // Register name to value text, for example "lr".
    std::map<std::string, std::string> registers;
    // Set by the events that attach a snapshot of a stack (app hangs, failed requests).
    std::optional<bool> snapshot;

    // A crash report may list the innermost function twice: once at the link register and once at its own address.
    // When the last two frames have the same symbol address and the link register equals the second-to-last frame's
    // instruction address, that second-to-last frame goes.
    void fixDuplicateFrames();

    // "frames" (every frame whose form is not empty; left out when none remains), "registers" (when there is one),
    // "snapshot" (when set).
    Value::Object serialize() const;

    bool operator==(const DuviduStacktrace& other) const = default;
};

}  // namespace duvidu
