#pragma once

#include <any>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

namespace duvidu {

// Points in time as the SDK passes them around: wall-clock time, converted to text only when written.
using DuviduDate = std::chrono::system_clock::time_point;

// A free-form value as the SDK's dictionaries hold it (user info, extras, contexts). It keeps dates and values of
// other kinds until the JSON utilities turn them into JSON-ready values.
class Value {
public:
    using Array = std::vector<Value>;
    using Object = std::map<std::string, Value>;
    // A value of a kind JSON has no place for (a callback, an expression, an error); only its description survives
    // sanitizing. The object itself rides along for readers that know its type.
    struct Opaque {
        std::string description;
        std::any object;
        bool operator==(const Opaque& other) const { return description == other.description; }
    };
    using Storage =
        std::variant<std::nullptr_t, bool, int64_t, uint64_t, double, std::string, DuviduDate, Array, Object, Opaque>;

    Value() : storage_(nullptr) {}
    Value(std::nullptr_t) : storage_(nullptr) {}
    Value(bool b) : storage_(b) {}
    Value(int i) : storage_(static_cast<int64_t>(i)) {}
    Value(long i) : storage_(static_cast<int64_t>(i)) {}
    Value(long long i) : storage_(static_cast<int64_t>(i)) {}
    Value(unsigned u) : storage_(static_cast<uint64_t>(u)) {}
    Value(unsigned long u) : storage_(static_cast<uint64_t>(u)) {}
    Value(unsigned long long u) : storage_(static_cast<uint64_t>(u)) {}
    Value(double d) : storage_(d) {}
    Value(const char* s) : storage_(std::string(s)) {}
    Value(std::string s) : storage_(std::move(s)) {}
    Value(DuviduDate d) : storage_(d) {}
    Value(Array a) : storage_(std::move(a)) {}
    Value(Object o) : storage_(std::move(o)) {}
    Value(Opaque o) : storage_(std::move(o)) {}

    bool isNull() const { return std::holds_alternative<std::nullptr_t>(storage_); }
    bool isBool() const { return std::holds_alternative<bool>(storage_); }
    // Integers, unsigned integers and doubles; booleans are not numbers here.
    bool isNumber() const;
    bool isString() const { return std::holds_alternative<std::string>(storage_); }
    bool isDate() const { return std::holds_alternative<DuviduDate>(storage_); }
    bool isArray() const { return std::holds_alternative<Array>(storage_); }
    bool isObject() const { return std::holds_alternative<Object>(storage_); }
    bool isOpaque() const { return std::holds_alternative<Opaque>(storage_); }

    // Typed access; each returns nullptr when the value is of another kind.
    const bool* asBool() const { return std::get_if<bool>(&storage_); }
    const std::string* asString() const { return std::get_if<std::string>(&storage_); }
    const DuviduDate* asDate() const { return std::get_if<DuviduDate>(&storage_); }
    const Opaque* asOpaque() const { return std::get_if<Opaque>(&storage_); }
    const Array* asArray() const { return std::get_if<Array>(&storage_); }
    const Object* asObject() const { return std::get_if<Object>(&storage_); }
    Array* asArray() { return std::get_if<Array>(&storage_); }
    Object* asObject() { return std::get_if<Object>(&storage_); }

    // The number as a double, a signed or an unsigned integer (booleans count as 0 and 1);
    // false for every other kind.
    bool numberAsDouble(double& out) const;
    bool numberAsInt64(int64_t& out) const;
    bool numberAsUInt64(uint64_t& out) const;

    // The value's text form, as the platform describes a value of its kind in a log line.
    std::string description() const;

    const Storage& storage() const { return storage_; }
    bool operator==(const Value& other) const { return storage_ == other.storage_; }

private:
    Storage storage_;
};

}  // namespace duvidu
