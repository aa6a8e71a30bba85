#include "platform/IcuRegex.h"

#include <gtest/gtest.h>

#include <stdexcept>

TEST(IcuRegex, ReplacementsAreLiteralAndBadPatternsAreRefused) {
    const IcuRegex digits("[0-9]+");
    EXPECT_EQ(IcuRegex::toUtf8(digits.replaceAll(IcuRegex::fromUtf8("a1b22c"), u"$0\\")), "a$0\\b$0\\c");
    EXPECT_THROW(IcuRegex("(unclosed"), std::invalid_argument);
    EXPECT_EQ(IcuRegex::toUtf8(IcuRegex::fromUtf8("ok \xc3")), "ok \uFFFD");
}
