#pragma once

#include <nlohmann/json.hpp>

#include <string>

// Writes JSON in the style of the desktop platform's pretty-printing encoder, which files such as a dictation's
// meta.json keep: one member per line, two spaces of indent per level, " : " between key and value, "/" escaped as
// "\/", text outside ASCII as raw UTF-8 (invalid UTF-8 becomes U+FFFD), and no line break after the last bracket.
// Keys come out in the object's own order.
class JsonWriter {
public:
    JsonWriter() = delete;

    static std::string prettyPrinted(const nlohmann::ordered_json& value);
};
