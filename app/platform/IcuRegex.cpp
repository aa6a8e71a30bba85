#include "platform/IcuRegex.h"

#include <stdexcept>

IcuRegex::IcuRegex(std::string_view pattern, std::uint32_t flags) {
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError{};
    pattern_.reset(icu::RegexPattern::compile(fromUtf8(pattern), flags, parseError, status));
    if (U_FAILURE(status) || !pattern_) {
        throw std::invalid_argument("Invalid regular expression " + std::string(pattern) + ": " + u_errorName(status));
    }
}

IcuRegex::~IcuRegex() = default;

icu::UnicodeString IcuRegex::replaceAll(const icu::UnicodeString& text, const icu::UnicodeString& replacement) const {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(pattern_->matcher(text, status));
    if (U_FAILURE(status)) return text;
    // ICU reads "$n" and "\" in a replacement; quote them so the replacement is plain text.
    icu::UnicodeString literal;
    for (int32_t i = 0; i < replacement.length(); ++i) {
        const char16_t c = replacement.charAt(i);
        if (c == u'$' || c == u'\\') literal.append(u'\\');
        literal.append(c);
    }
    icu::UnicodeString result = matcher->replaceAll(literal, status);
    return U_FAILURE(status) ? text : result;
}

icu::UnicodeString IcuRegex::fromUtf8(std::string_view utf8) {
    return icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
}

std::string IcuRegex::toUtf8(const icu::UnicodeString& text) {
    std::string out;
    text.toUTF8String(out);
    return out;
}
