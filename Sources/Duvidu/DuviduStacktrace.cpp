#include "Duvidu/DuviduStacktrace.h"

#include "Duvidu/DuviduLog.h"
#include "Duvidu/DuviduMutableDictionary.h"

namespace duvidu {

DuviduStacktrace::DuviduStacktrace(std::vector<DuviduFrame> frames, std::map<std::string, std::string> registers)
    : frames(std::move(frames)), registers(std::move(registers))
{
}

void DuviduStacktrace::fixDuplicateFrames()
{
    if (frames.size() < 2 || registers.empty()) return;
    const auto& last = frames[frames.size() - 1];
    const auto& second = frames[frames.size() - 2];
    auto linkRegister = registers.find("lr");
    // Absent addresses say nothing about a duplicate, so both must be present.
    if (!last.symbolAddress || !second.symbolAddress || *last.symbolAddress != *second.symbolAddress) return;
    if (linkRegister == registers.end() || !second.instructionAddress ||
        linkRegister->second != *second.instructionAddress)
        return;
    frames.erase(frames.end() - 2);
    DUVIDU_LOG_DEBUG("Found duplicate frame, removing one with link register");
}

Value::Object DuviduStacktrace::serialize() const
{
    Value::Object json;
    Value::Array serializedFrames;
    for (const auto& frame : frames) {
        auto serialized = frame.serialize();
        if (!serialized.empty()) serializedFrames.emplace_back(std::move(serialized));
    }
    if (!serializedFrames.empty()) json["frames"] = std::move(serializedFrames);
    if (!registers.empty()) {
        Value::Object serializedRegisters;
        for (const auto& [name, value] : registers) serializedRegisters[name] = value;
        json["registers"] = std::move(serializedRegisters);
    }
    setValueIfPresent(json, "snapshot", snapshot);
    return json;
}

}  // namespace duvidu
