#pragma once

#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// A compiled regular expression with ICU's syntax and semantics: case-sensitive unless flags say otherwise, and "."
// stops at every Unicode line terminator. Compiled once, then usable from any number of threads at the same time.
class IcuRegex {
public:
    // Throws std::invalid_argument when the pattern does not compile.
    explicit IcuRegex(std::string_view pattern, std::uint32_t flags = 0);
    ~IcuRegex();
    IcuRegex(const IcuRegex&) = delete;
    IcuRegex& operator=(const IcuRegex&) = delete;

    // Replaces every non-overlapping match, scanning from the start, with `replacement` taken literally ("$" and "\"
    // carry no meaning in it).
    icu::UnicodeString replaceAll(const icu::UnicodeString& text, const icu::UnicodeString& replacement) const;

    // UTF-8 to UTF-16 and back; invalid UTF-8 becomes U+FFFD.
    static icu::UnicodeString fromUtf8(std::string_view utf8);
    static std::string toUtf8(const icu::UnicodeString& text);

private:
    std::unique_ptr<icu::RegexPattern> pattern_;
};
