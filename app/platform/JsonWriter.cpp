#include "platform/JsonWriter.h"

#include <unicode/unistr.h>

#include <cstdio>

namespace {

void writeString(std::string& out, const std::string& raw) {
    std::string text;
    icu::UnicodeString::fromUTF8(raw).toUTF8String(text);  // repairs invalid UTF-8
    out += '"';
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '/': out += "\\/"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char buffer[8];
                    std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                    out += buffer;
                } else {
                    out += ch;
                }
        }
    }
    out += '"';
}

void writeValue(std::string& out, const nlohmann::ordered_json& value, int depth) {
    const std::string indent(2 * (depth + 1), ' ');
    const std::string closingIndent(2 * depth, ' ');
    switch (value.type()) {
        case nlohmann::json::value_t::object: {
            if (value.empty()) {
                out += "{}";
                return;
            }
            out += "{\n";
            bool first = true;
            for (const auto& [key, member] : value.items()) {
                if (!first) out += ",\n";
                first = false;
                out += indent;
                writeString(out, key);
                out += " : ";
                writeValue(out, member, depth + 1);
            }
            out += "\n" + closingIndent + "}";
            return;
        }
        case nlohmann::json::value_t::array: {
            if (value.empty()) {
                out += "[]";
                return;
            }
            out += "[\n";
            bool first = true;
            for (const auto& element : value) {
                if (!first) out += ",\n";
                first = false;
                out += indent;
                writeValue(out, element, depth + 1);
            }
            out += "\n" + closingIndent + "]";
            return;
        }
        case nlohmann::json::value_t::string:
            writeString(out, value.get_ref<const std::string&>());
            return;
        default:
            // Numbers, booleans and null have a single spelling.
            out += value.dump();
            return;
    }
}

}  // namespace

std::string JsonWriter::prettyPrinted(const nlohmann::ordered_json& value) {
    std::string out;
    writeValue(out, value, 0);
    return out;
}
