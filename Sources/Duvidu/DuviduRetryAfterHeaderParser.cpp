#include "Duvidu/DuviduRetryAfterHeaderParser.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <charconv>

namespace duvidu {

std::optional<DuviduDate> DuviduRetryAfterHeaderParser::parse(const std::optional<std::string>& header, DuviduDate now)
{
    if (!header) return std::nullopt;
    const auto begin = header->find_first_not_of(" \t");
    if (begin == std::string::npos) return std::nullopt;
    const std::string text = header->substr(begin, header->find_last_not_of(" \t") - begin + 1);

    if (std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); })) {
        // A year is plenty; anything longer is as good as forever and must not overflow the clock.
        constexpr uint64_t kLongest = 365ull * 24 * 3600;
        uint64_t seconds = kLongest;
        auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seconds);
        if (ec != std::errc() || seconds > kLongest) seconds = kLongest;
        return now + std::chrono::seconds(seconds);
    }
    // The three date forms HTTP allows (IMF-fixdate, RFC 850, asctime), parsed by curl without the locale.
    const time_t parsed = curl_getdate(text.c_str(), nullptr);
    if (parsed == -1) return std::nullopt;
    return std::chrono::system_clock::from_time_t(parsed);
}

}  // namespace duvidu
