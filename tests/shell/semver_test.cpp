#include "shell/Semver.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

TEST(Semver, GrammarAcceptsExactlyTheVersionForm) {
    const auto v = Semver::parse("v1.2.3");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->description(), "1.2.3");

    const auto full = Semver::parse("1.2.3-beta.2+exp.sha.5114f85");
    ASSERT_TRUE(full);
    EXPECT_EQ(full->major, 1);
    EXPECT_EQ(full->minor, 2);
    EXPECT_EQ(full->patch, 3);
    EXPECT_EQ(full->prerelease, (std::vector<std::string>{"beta", "2"}));
    EXPECT_EQ(full->buildMetadata, (std::vector<std::string>{"exp", "sha", "5114f85"}));
    EXPECT_EQ(full->description(), "1.2.3-beta.2+exp.sha.5114f85");
    EXPECT_EQ(full->prereleaseJoined(), "beta.2");
    EXPECT_EQ(full->buildMetadataJoined(), "exp.sha.5114f85");
    EXPECT_TRUE(full->hasPrerelease());

    for (const char* good : {"0.0.0", "1.0.0--", "1.0.0-0a", "1.0.0-0", "1.0.0+01", "1.0.0-x-y.1+b-c",
                             "9223372036854775807.0.0"}) {
        EXPECT_TRUE(Semver::parse(good)) << good;
    }
    EXPECT_EQ(Semver::parse("1.0.0--")->prerelease, (std::vector<std::string>{"-"}));
    for (const char* bad : {"1.2", "01.2.3", "1.02.3", "1.2.03", "1.2.3-", "1.2.3+", "1.2.3-a..b", "1.2.3-01",
                            " 1.2.3", "1.2.3 ", "1.2.3\n", "V1.2.3", "vv1.2.3", "-1.0.0", "1.2.3-a_b", "1.2.3+a+b",
                            "9223372036854775808.0.0", "", "v", "1.2.3.4", "1.2.3-é"}) {
        EXPECT_FALSE(Semver::parse(bad)) << bad;
    }
    const auto plain = Semver::parse("4.5.6");
    EXPECT_FALSE(plain->prereleaseJoined());
    EXPECT_FALSE(plain->buildMetadataJoined());
    EXPECT_FALSE(plain->hasPrerelease());
}

TEST(Semver, LongHostileTextIsRejectedQuickly) {
    const std::string hostile = "1.0.0-" + std::string(200000, '1') + "!";
    EXPECT_FALSE(Semver::parse(hostile));
    EXPECT_TRUE(Semver::parse("1.0.0-" + std::string(200000, 'a')));
}

TEST(Semver, PrecedenceChain) {
    const std::vector<std::string> chain{"1.0.0-alpha", "1.0.0-alpha.1", "1.0.0-alpha.beta", "1.0.0-beta",
                                         "1.0.0-beta.2", "1.0.0-beta.11", "1.0.0-rc.1",      "1.0.0",
                                         "1.0.1",        "1.1.0",         "2.0.0-0",         "2.0.0"};
    for (std::size_t i = 0; i < chain.size(); ++i) {
        for (std::size_t j = 0; j < chain.size(); ++j) {
            const Semver a(chain[i]);
            const Semver b(chain[j]);
            EXPECT_EQ(a < b, i < j) << chain[i] << " < " << chain[j];
            EXPECT_EQ(a > b, i > j) << chain[i] << " > " << chain[j];
            EXPECT_EQ(a <= b, i <= j) << chain[i] << " <= " << chain[j];
            EXPECT_EQ(a >= b, i >= j) << chain[i] << " >= " << chain[j];
            EXPECT_EQ(a == b, i == j) << chain[i] << " == " << chain[j];
        }
    }
}

TEST(Semver, OrderOfMemberwiseIdentifiers) {
    // Numbers compare as unsigned 64-bit values, an optional "+" included; a number out of range is text.
    EXPECT_LT(Semver(1, 0, 0, {"+5"}), Semver(1, 0, 0, {"10"}));
    EXPECT_LT(Semver(1, 0, 0, {"18446744073709551615"}), Semver(1, 0, 0, {"18446744073709551616"}));
    EXPECT_LT(Semver(1, 0, 0, {"99"}), Semver(1, 0, 0, {"A"}));
    EXPECT_LT(Semver(1, 0, 0, {"B"}), Semver(1, 0, 0, {"a"}));  // character codes
    // Unequal texts of the same number: neither is less.
    EXPECT_FALSE(Semver(1, 0, 0, {"01"}) < Semver(1, 0, 0, {"1"}));
    EXPECT_FALSE(Semver(1, 0, 0, {"1"}) < Semver(1, 0, 0, {"01"}));
    EXPECT_LT(Semver(-1, 0, 0), Semver(0, 0, 0));
}

TEST(Semver, BuildMetadataIsIgnoredExceptByStrictEquality) {
    const Semver a("1.0.0+a");
    const Semver b("1.0.0+b");
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a != b);
    EXPECT_FALSE(a < b);
    EXPECT_FALSE(b < a);
    EXPECT_EQ(std::hash<Semver>{}(a), std::hash<Semver>{}(b));
    EXPECT_FALSE(a.strictEquals(b));
    EXPECT_TRUE(a.strictNotEquals(b));
    EXPECT_TRUE(a.strictEquals(Semver("1.0.0+a")));
    std::unordered_set<Semver> set{a, b, Semver("1.0.0-a")};
    EXPECT_EQ(set.size(), 2u);
}

TEST(Semver, WellFormedness) {
    EXPECT_TRUE(Semver(1, 2, 3, {"alpha", "0"}, {"01", "x-y"}).isWellFormed());
    EXPECT_FALSE(Semver(1, 2, 3, {"01"}).isWellFormed());
    EXPECT_FALSE(Semver(1, 2, 3, {""}).isWellFormed());
    EXPECT_FALSE(Semver(1, 2, 3, {"a.b"}).isWellFormed());
    EXPECT_FALSE(Semver(1, 2, 3, {}, {""}).isWellFormed());
    EXPECT_FALSE(Semver(1, 2, 3, {}, {"a+b"}).isWellFormed());
    EXPECT_FALSE(Semver(-1, 2, 3).isWellFormed());
    EXPECT_FALSE(Semver(1, 2, -3).isWellFormed());
}

TEST(Semver, JsonLiteralAndBundleVersion) {
    nlohmann::json json = Semver("v1.2.3-rc.1+b5");
    EXPECT_EQ(json, "1.2.3-rc.1+b5");
    EXPECT_TRUE(semverFromJson(json).strictEquals(Semver("1.2.3-rc.1+b5")));
    try {
        semverFromJson("1.2");
        FAIL() << "decoded 1.2";
    } catch (const SemverDecodingError& e) {
        EXPECT_STREQ(e.what(), "Invalid semantic version");
    }
    EXPECT_THROW(Semver("1.2"), std::invalid_argument);

    EXPECT_EQ(Semver::bundleVersion({{"CFBundleShortVersionString", "2.0.1"}}), Semver(2, 0, 1));
    EXPECT_FALSE(Semver::bundleVersion(nullptr));
    EXPECT_FALSE(Semver::bundleVersion(nlohmann::json::object()));
    EXPECT_FALSE(Semver::bundleVersion({{"CFBundleVersion", "2.0.1"}}));
    EXPECT_FALSE(Semver::bundleVersion({{"CFBundleShortVersionString", 2}}));
    EXPECT_FALSE(Semver::bundleVersion({{"CFBundleShortVersionString", "2.0"}}));

    const Semver system = Semver::systemVersion();
    EXPECT_GT(system.major, 0);
    EXPECT_GE(system.minor, 0);
    EXPECT_FALSE(system.hasPrerelease());
}
