#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// A version in the Semantic Versioning 2.0.0 form: major.minor.patch, optional prerelease and build identifiers.
// Equality and order ignore the build identifiers; strictEquals does not.
class Semver {
public:
    // Memberwise; checks nothing (see isWellFormed).
    Semver(std::int64_t major, std::int64_t minor, std::int64_t patch, std::vector<std::string> prerelease = {},
           std::vector<std::string> buildMetadata = {});
    // A version written in the source: parsed like any text; throws std::invalid_argument when it does not parse.
    explicit Semver(std::string_view text);

    // The whole text must be a version, with an optional leading "v"; numbers that do not fit 64 bits give none.
    static std::optional<Semver> parse(std::string_view text);

    // "1.2.3-beta.2+exp.sha.5114f85"
    std::string description() const;
    bool hasPrerelease() const { return !prerelease.empty(); }
    std::optional<std::string> prereleaseJoined() const;
    std::optional<std::string> buildMetadataJoined() const;
    bool isWellFormed() const;

    bool strictEquals(const Semver& other) const;
    bool strictNotEquals(const Semver& other) const { return !strictEquals(other); }

    friend bool operator==(const Semver& a, const Semver& b);
    friend bool operator<(const Semver& a, const Semver& b);
    friend bool operator>(const Semver& a, const Semver& b) { return b < a; }
    friend bool operator<=(const Semver& a, const Semver& b) { return !(b < a); }
    friend bool operator>=(const Semver& a, const Semver& b) { return !(a < b); }

    // The version in an info dictionary's "CFBundleShortVersionString"; none when the dictionary is not an object or
    // is empty, the key is missing, the value is not a string or does not parse.
    static std::optional<Semver> bundleVersion(const nlohmann::json& infoDictionary);
    // The running kernel's version (uname release, leading "X.Y.Z"; missing parts are 0).
    static Semver systemVersion();

    std::int64_t major;
    std::int64_t minor;
    std::int64_t patch;
    std::vector<std::string> prerelease;
    std::vector<std::string> buildMetadata;
};

// Decoding a text that is not a version.
class SemverDecodingError : public std::runtime_error {
public:
    SemverDecodingError() : std::runtime_error("Invalid semantic version") {}
};

// JSON coding: one string, the description.
void to_json(nlohmann::json& json, const Semver& version);
// Throws SemverDecodingError when the string does not parse.
Semver semverFromJson(const nlohmann::json& json);

template <>
struct std::hash<Semver> {
    std::size_t operator()(const Semver& version) const noexcept;
};
