#include "shell/Semver.h"

#include <sys/utsname.h>

#include <charconv>
#include <functional>
#include <algorithm>

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isIdentifierChar(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-';
}
bool allDigits(std::string_view s) {
    for (char c : s) {
        if (!isDigit(c)) return false;
    }
    return true;
}

// A plain scanner rather than a regular expression: backtracking engines can take quadratic time or deep recursion on
// long hostile identifiers, and this grammar needs no backtracking at all.
class Scanner {
public:
    explicit Scanner(std::string_view text) : text_(text) {}

    bool atEnd() const { return pos_ == text_.size(); }
    bool take(char c) {
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    // "0" or a digit run without a leading zero, fitting int64.
    std::optional<std::int64_t> number() {
        const std::size_t start = pos_;
        while (pos_ < text_.size() && isDigit(text_[pos_])) ++pos_;
        const std::string_view digits = text_.substr(start, pos_ - start);
        if (digits.empty() || (digits.size() > 1 && digits[0] == '0')) return std::nullopt;
        std::int64_t value = 0;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
        return value;
    }
    std::string_view identifier() {
        const std::size_t start = pos_;
        while (pos_ < text_.size() && isIdentifierChar(text_[pos_])) ++pos_;
        return text_.substr(start, pos_ - start);
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

bool validPrerelease(std::string_view id) {
    if (id.empty()) return false;
    for (char c : id) {
        if (!isIdentifierChar(c)) return false;
    }
    return !allDigits(id) || id == "0" || id[0] != '0';
}

bool validBuild(std::string_view id) {
    if (id.empty()) return false;
    for (char c : id) {
        if (!isIdentifierChar(c)) return false;
    }
    return true;
}

std::string joined(const std::vector<std::string>& parts) {
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i) out += '.';
        out += parts[i];
    }
    return out;
}

// Reads a prerelease identifier as a number the way the order needs it: decimal digits with an optional leading
// "+", within the unsigned 64-bit range.
std::optional<std::uint64_t> asUnsigned(std::string_view s) {
    if (!s.empty() && s[0] == '+') s.remove_prefix(1);
    if (s.empty() || !allDigits(s)) return std::nullopt;
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return value;
}

}  // namespace

Semver::Semver(std::int64_t major_, std::int64_t minor_, std::int64_t patch_, std::vector<std::string> prerelease_,
               std::vector<std::string> buildMetadata_)
    : major(major_),
      minor(minor_),
      patch(patch_),
      prerelease(std::move(prerelease_)),
      buildMetadata(std::move(buildMetadata_)) {}

Semver::Semver(std::string_view text) : Semver(0, 0, 0) {
    auto parsed = parse(text);
    if (!parsed) throw std::invalid_argument("Invalid semantic version: " + std::string(text));
    *this = std::move(*parsed);
}

std::optional<Semver> Semver::parse(std::string_view text) {
    Scanner s(text);
    s.take('v');
    const auto major = s.number();
    if (!major || !s.take('.')) return std::nullopt;
    const auto minor = s.number();
    if (!minor || !s.take('.')) return std::nullopt;
    const auto patch = s.number();
    if (!patch) return std::nullopt;

    std::vector<std::string> prerelease;
    if (s.take('-')) {
        do {
            const std::string_view id = s.identifier();
            if (!validPrerelease(id)) return std::nullopt;
            prerelease.emplace_back(id);
        } while (s.take('.'));
    }
    std::vector<std::string> build;
    if (s.take('+')) {
        do {
            const std::string_view id = s.identifier();
            if (!validBuild(id)) return std::nullopt;
            build.emplace_back(id);
        } while (s.take('.'));
    }
    if (!s.atEnd()) return std::nullopt;
    return Semver(*major, *minor, *patch, std::move(prerelease), std::move(build));
}

std::string Semver::description() const {
    std::string text = std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch);
    // Appended piece by piece: a temporary built as "-" + joined(...) would only be copied in again.
    if (!prerelease.empty()) text.append(1, '-').append(joined(prerelease));
    if (!buildMetadata.empty()) text.append(1, '+').append(joined(buildMetadata));
    return text;
}

std::optional<std::string> Semver::prereleaseJoined() const {
    if (prerelease.empty()) return std::nullopt;
    return joined(prerelease);
}

std::optional<std::string> Semver::buildMetadataJoined() const {
    if (buildMetadata.empty()) return std::nullopt;
    return joined(buildMetadata);
}

bool Semver::isWellFormed() const {
    if (major < 0 || minor < 0 || patch < 0) return false;
    for (const std::string& id : prerelease) {
        if (!validPrerelease(id)) return false;
    }
    for (const std::string& id : buildMetadata) {
        if (!validBuild(id)) return false;
    }
    return true;
}

bool Semver::strictEquals(const Semver& other) const { return *this == other && buildMetadata == other.buildMetadata; }

bool operator==(const Semver& a, const Semver& b) {
    return a.major == b.major && a.minor == b.minor && a.patch == b.patch && a.prerelease == b.prerelease;
}

bool operator<(const Semver& a, const Semver& b) {
    if (a.major != b.major) return a.major < b.major;
    if (a.minor != b.minor) return a.minor < b.minor;
    if (a.patch != b.patch) return a.patch < b.patch;
    // A release ranks above its prereleases.
    if (a.prerelease.empty()) return false;
    if (b.prerelease.empty()) return true;
    const std::size_t common = std::min(a.prerelease.size(), b.prerelease.size());
    for (std::size_t i = 0; i < common; ++i) {
        const std::string& x = a.prerelease[i];
        const std::string& y = b.prerelease[i];
        if (x == y) continue;
        const auto nx = asUnsigned(x);
        const auto ny = asUnsigned(y);
        if (nx && ny) return *nx < *ny;
        if (nx) return true;
        if (ny) return false;
        return x < y;
    }
    return a.prerelease.size() < b.prerelease.size();
}

std::optional<Semver> Semver::bundleVersion(const nlohmann::json& infoDictionary) {
    if (!infoDictionary.is_object() || infoDictionary.empty()) return std::nullopt;
    const auto it = infoDictionary.find("CFBundleShortVersionString");
    if (it == infoDictionary.end() || !it->is_string()) return std::nullopt;
    return parse(it->get_ref<const std::string&>());
}

Semver Semver::systemVersion() {
    std::int64_t parts[3] = {0, 0, 0};
    utsname name{};
    if (uname(&name) == 0) {
        const std::string_view release(name.release);
        std::size_t pos = 0;
        for (int i = 0; i < 3 && pos < release.size(); ++i) {
            std::int64_t value = 0;
            const auto [end, ec] = std::from_chars(release.data() + pos, release.data() + release.size(), value);
            if (ec != std::errc()) break;
            parts[i] = value;
            pos = static_cast<std::size_t>(end - release.data());
            if (pos >= release.size() || release[pos] != '.') break;
            ++pos;
        }
    }
    return Semver(parts[0], parts[1], parts[2]);
}

void to_json(nlohmann::json& json, const Semver& version) { json = version.description(); }

Semver semverFromJson(const nlohmann::json& json) {
    const auto parsed = Semver::parse(json.get<std::string>());
    if (!parsed) throw SemverDecodingError();
    return *parsed;
}

std::size_t std::hash<Semver>::operator()(const Semver& version) const noexcept {
    std::size_t seed = 0;
    const auto mix = [&seed](std::size_t h) { seed ^= h + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2); };
    mix(std::hash<std::int64_t>{}(version.major));
    mix(std::hash<std::int64_t>{}(version.minor));
    mix(std::hash<std::int64_t>{}(version.patch));
    mix(version.prerelease.size());
    for (const std::string& id : version.prerelease) mix(std::hash<std::string>{}(id));
    return seed;
}
