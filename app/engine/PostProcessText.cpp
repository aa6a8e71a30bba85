#include "engine/PostProcessText.h"

#include "platform/IcuRegex.h"

#include <array>
#include <utility>

namespace {

struct Rule {
    IcuRegex pattern;
    icu::UnicodeString replacement;
};

// The word patterns are not bound to word edges on purpose: users rely on "comma" and "period" being picked up even
// when the recognizer glues them to a neighbouring word.
const std::array<Rule, 3>& annotationRules() {
    static const std::array<Rule, 3> rules{{
        {IcuRegex(R"(\[.*?\])"), u""},
        {IcuRegex(R"(\(.*?\))"), u""},
        {IcuRegex(R"(\*.*?\*)"), u""},
    }};
    return rules;
}

const std::array<Rule, 9>& punctuationRules() {
    static const std::array<Rule, 9> rules{{
        {IcuRegex(R"([,.;/.?!])"), u""},
        {IcuRegex(R"([ ]?[pP]eriod[.,]?)"), u"."},
        {IcuRegex(R"([ ]?[sS]emi[- ]?colon[.,]?)"), u";"},
        {IcuRegex(R"([ ]?[sS]lash[.,]?)"), u"/"},
        {IcuRegex(R"([, ]?[cC]omma[.,]?)"), u","},
        {IcuRegex(R"([ ]?[nN]ew[- ]?line[., ]?)"), u"\n"},
        {IcuRegex(R"([ ]?[qQ]uestion[- ]?[mM]ark[.,?]?)"), u"?"},
        {IcuRegex(R"([ ]?[eE]xclamation[- ]?[mM]ark[.,!]?)"), u"!"},
        {IcuRegex(R"([ ]?[dD]ash[-.,!]?)"), u"-"},
    }};
    return rules;
}

icu::UnicodeString trimSpaces(const icu::UnicodeString& text) {
    int32_t start = 0;
    int32_t end = text.length();
    while (start < end && text.charAt(start) == u' ') ++start;
    while (end > start && text.charAt(end - 1) == u' ') --end;
    return icu::UnicodeString(text, start, end - start);
}

}  // namespace

std::string postProcessText(const std::string& text, bool literalPunctuation) {
    icu::UnicodeString current = IcuRegex::fromUtf8(text);
    for (const Rule& rule : annotationRules()) current = rule.pattern.replaceAll(current, rule.replacement);
    current = trimSpaces(current);
    if (literalPunctuation) {
        for (const Rule& rule : punctuationRules()) current = rule.pattern.replaceAll(current, rule.replacement);
    }
    return IcuRegex::toUtf8(current);
}
