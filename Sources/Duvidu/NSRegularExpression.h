#pragma once

#include <regex>
#include <string>

namespace duvidu {

// A regular expression that keeps its pattern text (for descriptions and comparisons).
class NSRegularExpression {
public:
    NSRegularExpression(std::string pattern, bool caseInsensitive);

    const std::string& pattern() const { return pattern_; }
    bool caseInsensitive() const { return caseInsensitive_; }
    // Whether the expression matches somewhere in the text.
    bool firstMatch(const std::string& text) const { return std::regex_search(text, regex_); }

private:
    std::string pattern_;
    bool caseInsensitive_;
    std::regex regex_;
};

}  // namespace duvidu
