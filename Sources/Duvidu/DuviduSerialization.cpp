#include "Duvidu/DuviduSerialization.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <nlohmann/json.hpp>
#include <vector>

#include "Duvidu/DuviduDateExtras.h"
#include "Duvidu/DuviduEnvelopeAttachmentHeader.h"
#include "Duvidu/DuviduLog.h"
#include "Duvidu/DuviduPercentDecoding.h"
#include "Duvidu/DuviduUTF8.h"

namespace duvidu {

namespace {

using nlohmann::json;

// Deeper input is refused rather than risking the stack on hostile bytes; the SDK's own JSON is a few levels deep.
constexpr int kMaxDepth = 256;

bool isJSONReady(const Value& value)
{
    if (value.isNull() || value.isBool() || value.isString() || value.isNumber()) return true;
    if (auto array = value.asArray()) {
        return std::all_of(array->begin(), array->end(), isJSONReady);
    }
    if (auto object = value.asObject()) {
        return std::all_of(object->begin(), object->end(), [](const auto& entry) { return isJSONReady(entry.second); });
    }
    return false;  // dates and other objects must be sanitized first
}

json toJson(const Value& value)
{
    struct Convert {
        json operator()(std::nullptr_t) const { return nullptr; }
        json operator()(bool b) const { return b; }
        json operator()(int64_t i) const { return i; }
        json operator()(uint64_t u) const { return u; }
        // A value from anywhere (an extra, a breadcrumb's data, a user's data, a tag) may be NaN or infinite.
        json operator()(double d) const { return std::isfinite(d) ? json(d) : json(nullptr); }
        json operator()(const std::string& s) const { return s; }
        json operator()(const DuviduDate&) const { return nullptr; }
        json operator()(const Value::Array& a) const
        {
            json out = json::array();
            for (const auto& element : a) out.push_back(toJson(element));
            return out;
        }
        json operator()(const Value::Object& o) const
        {
            json out = json::object();
            for (const auto& [key, element] : o) out[key] = toJson(element);
            return out;
        }
        json operator()(const Value::Opaque&) const { return nullptr; }
    };
    return std::visit(Convert{}, value.storage());
}

std::optional<Value> fromJson(const json& j, int depth)
{
    if (depth > kMaxDepth) return std::nullopt;
    switch (j.type()) {
    case json::value_t::null: return Value();
    case json::value_t::boolean: return Value(j.get<bool>());
    case json::value_t::number_integer: return Value(j.get<int64_t>());
    case json::value_t::number_unsigned: return Value(j.get<uint64_t>());
    case json::value_t::number_float: return Value(j.get<double>());
    case json::value_t::string: return Value(j.get<std::string>());
    case json::value_t::array: {
        Value::Array array;
        array.reserve(j.size());
        for (const auto& element : j) {
            auto converted = fromJson(element, depth + 1);
            if (!converted) return std::nullopt;
            array.push_back(std::move(*converted));
        }
        return Value(std::move(array));
    }
    case json::value_t::object: {
        Value::Object object;
        for (auto it = j.begin(); it != j.end(); ++it) {
            auto converted = fromJson(it.value(), depth + 1);
            if (!converted) return std::nullopt;
            object[it.key()] = std::move(*converted);
        }
        return Value(std::move(object));
    }
    default: return std::nullopt;  // binary values and the parser's discarded marker
    }
}

// Parses bytes into a dictionary; anything else (not JSON, too deep, not an object) gives nullopt and a reason.
std::optional<Value::Object> objectWithData(const uint8_t* bytes, size_t size, std::string& errorText)
{
    auto value = DuviduSerialization::JSONObjectWithData(bytes, size, &errorText);
    if (!value) return std::nullopt;
    if (!value->isObject()) {
        errorText = "JSON text is not an object";
        return std::nullopt;
    }
    return std::move(*value->asObject());
}

const Value* entry(const Value::Object& object, const char* key)
{
    auto it = object.find(key);
    return it == object.end() ? nullptr : &it->second;
}

std::optional<std::string> textEntry(const Value::Object& object, const char* key)
{
    auto value = entry(object, key);
    return value && value->isString() ? std::optional(*value->asString()) : std::nullopt;
}

// "length" as an unsigned integer: nullopt when it is there but is no such number.
std::optional<uint64_t> lengthEntry(const Value::Object& object)
{
    auto value = entry(object, "length");
    if (!value) return 0;
    if (std::holds_alternative<uint64_t>(value->storage())) return std::get<uint64_t>(value->storage());
    if (std::holds_alternative<int64_t>(value->storage())) {
        auto length = std::get<int64_t>(value->storage());
        if (length >= 0) return static_cast<uint64_t>(length);
    }
    return std::nullopt;
}

bool isUnreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
           c == '.';
}

std::string percentEncode(const std::string& text)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (isUnreserved(c)) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 0x0F];
        }
    }
    return out;
}

// A baggage value decodes only to UTF-8 text.
std::optional<std::string> percentDecode(const std::string& text)
{
    auto out = duvidu_percentDecoded(text);
    if (!out || !duvidu_isValidUTF8(*out)) return std::nullopt;
    return out;
}

std::vector<std::string> splitKeepingEmpty(const std::string& text, char separator)
{
    std::vector<std::string> pieces;
    size_t start = 0;
    for (;;) {
        size_t at = text.find(separator, start);
        pieces.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) return pieces;
        start = at + 1;
    }
}

}  // namespace

std::optional<Value> DuviduSerialization::JSONObjectWithData(const uint8_t* bytes, size_t size,
                                                             std::string* errorText)
{
    try {
        auto parsed = json::parse(bytes, bytes + size);
        auto value = fromJson(parsed, 0);
        if (!value && errorText) *errorText = "JSON text is nested too deeply";
        return value;
    } catch (const json::exception& exception) {
        if (errorText) *errorText = exception.what();
        return std::nullopt;
    }
}

std::optional<DuviduData> DuviduSerialization::dataWithJSONObject(const Value& object)
{
    if (!(object.isObject() || object.isArray()) || !isJSONReady(object)) {
        DUVIDU_LOG_ERROR("Dictionary is not a valid JSON object.");
        return std::nullopt;
    }
    try {
        // Invalid UTF-8 in a text becomes U+FFFD instead of losing the whole object.
        std::string text = toJson(object).dump(-1, ' ', false, json::error_handler_t::replace);
        return dataFromString(text);
    } catch (const json::exception& exception) {
        DUVIDU_LOG_ERROR(std::string("Internal error while serializing JSON: ") + exception.what());
        return std::nullopt;
    }
}

std::optional<DuviduData> DuviduSerialization::dataWithEnvelope(const DuviduEnvelope& envelope, NSError*)
{
    const auto& header = envelope.header();
    Value::Object headerObject;
    if (header.eventId()) headerObject["event_id"] = header.eventId()->duviduIdString();
    if (header.sdkInfo()) {
        for (auto& [key, value] : header.sdkInfo()->serialize()) headerObject[key] = value;
    }
    if (header.traceContext()) headerObject["trace"] = header.traceContext()->serialize();
    if (header.sentAt()) headerObject["sent_at"] = duvidu_toIso8601String(*header.sentAt());

    auto headerData = dataWithJSONObject(headerObject);
    if (!headerData) {
        DUVIDU_LOG_ERROR("Envelope header cannot be converted to JSON.");
        return std::nullopt;
    }
    DuviduData data = std::move(*headerData);
    for (const auto& item : envelope.items()) {
        auto itemHeader = dataWithJSONObject(item.header()->serialize());
        if (!itemHeader) {
            DUVIDU_LOG_ERROR("Envelope item header cannot be converted to JSON.");
            return std::nullopt;
        }
        data.push_back('\n');
        data.insert(data.end(), itemHeader->begin(), itemHeader->end());
        data.push_back('\n');
        data.insert(data.end(), item.data().begin(), item.data().end());
    }
    return data;
}

std::shared_ptr<DuviduEnvelope> DuviduSerialization::envelopeWithData(const uint8_t* bytes, size_t size,
                                                                      size_t* readLength)
{
    if (readLength) *readLength = 0;
    const uint8_t* firstNewline = size ? static_cast<const uint8_t*>(std::memchr(bytes, '\n', size)) : nullptr;
    if (!firstNewline) {
        DUVIDU_LOG_ERROR("Invalid envelope. No header found.");
        return nullptr;
    }
    const size_t headerEnd = static_cast<size_t>(firstNewline - bytes);
    std::string errorText;
    auto headerObject = objectWithData(bytes, headerEnd, errorText);
    if (!headerObject) {
        DUVIDU_LOG_ERROR("Failed to parse envelope header " + errorText);
        DUVIDU_LOG_ERROR("Invalid envelope. No header found.");
        return nullptr;
    }

    std::optional<DuviduId> eventId;
    if (auto text = textEntry(*headerObject, "event_id")) eventId = DuviduId::fromUUIDString(*text);
    std::optional<DuviduSdkInfo> sdkInfo;
    if (entry(*headerObject, "sdk")) sdkInfo = DuviduSdkInfo::initWithDict(*headerObject);
    std::shared_ptr<const DuviduTraceContext> traceContext;
    if (auto trace = entry(*headerObject, "trace"); trace && trace->isObject())
        traceContext = DuviduTraceContext::initWithDict(*trace->asObject());
    DuviduEnvelopeHeader header(eventId, sdkInfo, traceContext);
    if (auto sentAt = textEntry(*headerObject, "sent_at")) header.setSentAt(duvidu_fromIso8601String(*sentAt));

    std::vector<DuviduEnvelopeItem> items;
    size_t consumed = 0;
    size_t itemStart = headerEnd + 1;
    size_t scanFrom = itemStart;
    while (scanFrom < size) {
        auto found = static_cast<const uint8_t*>(std::memchr(bytes + scanFrom, '\n', size - scanFrom));
        const size_t itemHeaderEnd = found ? static_cast<size_t>(found - bytes) : size;
        const bool endsInput = !found || itemHeaderEnd == size - 1;

        auto itemObject = objectWithData(bytes + itemStart, itemHeaderEnd - itemStart, errorText);
        auto length = itemObject ? lengthEntry(*itemObject) : std::nullopt;
        if (itemObject && !length) errorText = "\"length\" is not an unsigned integer";
        if (!itemObject || !length) {
            DUVIDU_LOG_BARE(DuviduLevel::Error, "Failed to parse envelope item header " + errorText);
            return nullptr;
        }
        auto type = textEntry(*itemObject, "type");
        if (!type) {
            DUVIDU_LOG_BARE(DuviduLevel::Error, "Envelope item type is required.");
            break;
        }

        std::shared_ptr<DuviduEnvelopeItemHeader> itemHeader;
        if (auto filename = textEntry(*itemObject, "filename")) {
            itemHeader = std::make_shared<DuviduEnvelopeAttachmentHeader>(
                *type, *length, *filename, textEntry(*itemObject, "content_type"),
                attachmentTypeForName(textEntry(*itemObject, "attachment_type")));
        } else {
            itemHeader = std::make_shared<DuviduEnvelopeItemHeader>(*type, *length);
        }

        const size_t payloadStart = itemHeaderEnd + 1;
        const size_t available = endsInput ? 0 : size - payloadStart;
        if (*length > available) {
            // No payload, or one cut short: the item cannot be read and the reading ends here.
            DUVIDU_LOG_BARE(DuviduLevel::Error, "Envelope item has no data but header indicates it's length is " +
                                                    std::to_string(static_cast<int32_t>(*length)) + ".");
            break;
        }
        DuviduData payload(bytes + std::min(payloadStart, size), bytes + std::min(payloadStart, size) + *length);
        items.emplace_back(itemHeader, std::move(payload));
        consumed = std::min(payloadStart, size) + static_cast<size_t>(*length);
        if (endsInput) break;
        itemStart = payloadStart + static_cast<size_t>(*length);
        scanFrom = itemStart + 1;
    }

    if (items.empty()) {
        DUVIDU_LOG_ERROR("Envelope has no items.");
        return nullptr;
    }
    if (readLength) *readLength = consumed;
    return std::make_shared<DuviduEnvelope>(std::move(header), std::move(items));
}

std::string DuviduSerialization::baggageEncodedDictionary(const Value::Object& dictionary)
{
    constexpr size_t kMaxBaggageLength = 8192;
    std::vector<std::string> entries;
    size_t total = 0;
    for (const auto& [key, value] : dictionary) {
        std::string entryText = percentEncode(key) + "=" + percentEncode(value.description());
        if (entryText.size() + total > kMaxBaggageLength) continue;
        total += entryText.size() + 1;
        entries.push_back(std::move(entryText));
    }
    std::sort(entries.begin(), entries.end());
    std::string joined;
    for (size_t i = 0; i < entries.size(); ++i) joined += (i ? "," : "") + entries[i];
    return joined;
}

std::map<std::string, std::string> DuviduSerialization::decodeBaggage(const std::optional<std::string>& baggage)
{
    std::map<std::string, std::string> decoded;
    if (!baggage || baggage->empty()) return decoded;
    for (const auto& part : splitKeepingEmpty(*baggage, ',')) {
        auto pieces = splitKeepingEmpty(part, '=');
        if (pieces.size() != 2) continue;
        auto value = percentDecode(pieces[1]);
        if (value) decoded[pieces[0]] = *value;
        else decoded.erase(pieces[0]);
    }
    return decoded;
}

std::optional<DuviduData> DuviduSerialization::dataWithSession(const DuviduSession& session)
{
    return dataWithJSONObject(session.serialize());
}

std::shared_ptr<DuviduSession> DuviduSerialization::sessionWithData(const DuviduData& data)
{
    std::string errorText;
    auto value = JSONObjectWithData(data.data(), data.size(), &errorText);
    if (!value) {
        DUVIDU_LOG_BARE(DuviduLevel::Error, "Failed to deserialize session data " + errorText);
        return nullptr;
    }
    auto session = value->isObject() ? DuviduSession::initWithJSONObject(*value->asObject()) : nullptr;
    if (!session) {
        DUVIDU_LOG_ERROR("Failed to initialize session from dictionary. Dropping it.");
        return nullptr;
    }
    auto release = session->releaseName();
    if (!release || release->empty()) {
        DUVIDU_LOG_BARE(DuviduLevel::Error, "Deserialized session doesn't contain a release name. Dropping it.");
        return nullptr;
    }
    return session;
}

std::shared_ptr<DuviduAppState> DuviduSerialization::appStateWithData(const DuviduData& data)
{
    std::string errorText;
    auto value = JSONObjectWithData(data.data(), data.size(), &errorText);
    if (!value) {
        DUVIDU_LOG_BARE(DuviduLevel::Error, "Failed to deserialize app state data " + errorText);
        return nullptr;
    }
    return value->isObject() ? DuviduAppState::initWithJSONObject(*value->asObject()) : nullptr;
}

DuviduLevel DuviduSerialization::levelFromData(const DuviduData& data)
{
    std::string errorText;
    auto value = JSONObjectWithData(data.data(), data.size(), &errorText);
    if (!value) {
        DUVIDU_LOG_BARE(DuviduLevel::Error, "Failed to retrieve event level from envelope item data: " + errorText);
        return DuviduLevel::Error;
    }
    auto object = value->asObject();
    return levelForName(object ? textEntry(*object, "level") : std::nullopt);
}

}  // namespace duvidu
