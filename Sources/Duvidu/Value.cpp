#include "Duvidu/Value.h"

#include <charconv>
#include <cmath>
#include <ctime>
#include <limits>

namespace duvidu {

namespace {

std::string doubleText(double d)
{
    if (std::isnan(d)) return "nan";
    if (std::isinf(d)) return d < 0 ? "-inf" : "inf";
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, d);
    return std::string(buffer, result.ptr);
}

// The platform's text of a date: "2024-01-31 12:00:00 +0000".
std::string dateText(DuviduDate date)
{
    std::time_t seconds = std::chrono::system_clock::to_time_t(
        std::chrono::floor<std::chrono::seconds>(date));
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char buffer[64];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S +0000", &parts);
    return buffer;
}

}  // namespace

bool Value::isNumber() const
{
    return std::holds_alternative<int64_t>(storage_) || std::holds_alternative<uint64_t>(storage_) ||
           std::holds_alternative<double>(storage_);
}

bool Value::numberAsDouble(double& out) const
{
    if (auto b = std::get_if<bool>(&storage_)) out = *b ? 1.0 : 0.0;
    else if (auto i = std::get_if<int64_t>(&storage_)) out = static_cast<double>(*i);
    else if (auto u = std::get_if<uint64_t>(&storage_)) out = static_cast<double>(*u);
    else if (auto d = std::get_if<double>(&storage_)) out = *d;
    else return false;
    return true;
}

bool Value::numberAsInt64(int64_t& out) const
{
    if (auto b = std::get_if<bool>(&storage_)) out = *b ? 1 : 0;
    else if (auto i = std::get_if<int64_t>(&storage_)) out = *i;
    else if (auto u = std::get_if<uint64_t>(&storage_)) out = static_cast<int64_t>(*u);
    else if (auto d = std::get_if<double>(&storage_)) {
        // Out-of-range doubles saturate instead of being undefined behaviour.
        if (std::isnan(*d)) out = 0;
        else if (*d >= 9.2233720368547758e18) out = std::numeric_limits<int64_t>::max();
        else if (*d <= -9.2233720368547758e18) out = std::numeric_limits<int64_t>::min();
        else out = static_cast<int64_t>(*d);
    } else return false;
    return true;
}

bool Value::numberAsUInt64(uint64_t& out) const
{
    if (auto b = std::get_if<bool>(&storage_)) out = *b ? 1 : 0;
    else if (auto i = std::get_if<int64_t>(&storage_)) out = static_cast<uint64_t>(*i);
    else if (auto u = std::get_if<uint64_t>(&storage_)) out = *u;
    else if (auto d = std::get_if<double>(&storage_)) {
        if (std::isnan(*d) || *d <= 0) out = 0;
        else if (*d >= 1.8446744073709552e19) out = std::numeric_limits<uint64_t>::max();
        else out = static_cast<uint64_t>(*d);
    } else return false;
    return true;
}

std::string Value::description() const
{
    struct Describe {
        std::string operator()(std::nullptr_t) const { return "<null>"; }
        std::string operator()(bool b) const { return b ? "1" : "0"; }
        std::string operator()(int64_t i) const { return std::to_string(i); }
        std::string operator()(uint64_t u) const { return std::to_string(u); }
        std::string operator()(double d) const { return doubleText(d); }
        std::string operator()(const std::string& s) const { return s; }
        std::string operator()(DuviduDate d) const { return dateText(d); }
        std::string operator()(const Array& a) const
        {
            std::string text = "(";
            for (size_t i = 0; i < a.size(); ++i) text += (i ? ", " : "") + a[i].description();
            return text + ")";
        }
        std::string operator()(const Object& o) const
        {
            std::string text = "{";
            bool first = true;
            for (const auto& [key, value] : o) {
                text += (first ? "" : ", ") + key + " = " + value.description();
                first = false;
            }
            return text + "}";
        }
        std::string operator()(const Opaque& o) const { return o.description; }
    };
    return std::visit(Describe{}, storage_);
}

}  // namespace duvidu
