#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "Duvidu/DuviduAppState.h"
#include "Duvidu/DuviduData.h"
#include "Duvidu/DuviduEnvelope.h"
#include "Duvidu/DuviduLevel.h"
#include "Duvidu/DuviduSession.h"
#include "Duvidu/NSError.h"
#include "Duvidu/Value.h"

namespace duvidu {

// JSON bytes, the envelope byte format, baggage header text, and sessions, app states and levels read from JSON.
// Stateless; nothing here throws, failures are logged and show as an absent result.
class DuviduSerialization {
public:
    DuviduSerialization() = delete;

    // Compact UTF-8 JSON of an array or dictionary holding only strings, numbers, booleans, nulls, arrays and
    // dictionaries. JSON has no NaN or infinity: such a number is written as null, so that one value does not lose
    // the whole object. Anything else (a date, an opaque value) refuses the whole object.
    static std::optional<DuviduData> dataWithJSONObject(const Value& object);
    // The JSON value of the bytes; the parser's message in errorText when they are not JSON.
    static std::optional<Value> JSONObjectWithData(const uint8_t* bytes, size_t size, std::string* errorText = nullptr);

    // The envelope header, then per item a newline, the item header and a newline, then the payload. The error slot
    // is never written; failure shows as nullopt and a log line.
    static std::optional<DuviduData> dataWithEnvelope(const DuviduEnvelope& envelope, NSError* error = nullptr);
    // Reads the envelope byte format. Never reads outside the input, whatever it holds. readLength receives where
    // the last item read ends (0 when nothing is read): short of the input's end, the input was cut or damaged.
    static std::shared_ptr<DuviduEnvelope> envelopeWithData(const uint8_t* bytes, size_t size,
                                                            size_t* readLength = nullptr);
    static std::shared_ptr<DuviduEnvelope> envelopeWithData(const DuviduData& data)
    {
        return envelopeWithData(data.data(), data.size());
    }

    // "key=value" entries, each side percent-encoded (all but ASCII letters, digits and "-_."), sorted, joined by
    // ",", never longer than 8192 characters: entries that do not fit are left out.
    static std::string baggageEncodedDictionary(const Value::Object& dictionary);
    static std::map<std::string, std::string> decodeBaggage(const std::optional<std::string>& baggage);

    static std::optional<DuviduData> dataWithSession(const DuviduSession& session);
    static std::shared_ptr<DuviduSession> sessionWithData(const DuviduData& data);
    static std::shared_ptr<DuviduAppState> appStateWithData(const DuviduData& data);
    // The "level" of an event item's JSON; error when there is none or the bytes are not JSON.
    static DuviduLevel levelFromData(const DuviduData& data);
};

}  // namespace duvidu
