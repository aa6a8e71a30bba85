// A limit that the tests shorten through the environment: only a positive whole number of milliseconds counts, so that
// a stray value never turns a limit into none (a zero interval would make a timer spin).

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/LimitSetting.h"

namespace {

TEST(LimitSettingTest, OnlyAPositiveWholeNumberReplacesTheStandardLimit) {
    using std::chrono::milliseconds;
    const char* variable = "VELLUMCASTER_TEST_LIMIT_MS";
    ::unsetenv(variable);
    EXPECT_EQ(limitSetting(variable, milliseconds(5000)), milliseconds(5000));
    for (const char* ignored : {"", "0", "-250", "250ms", " 250", "2.5", "99999999999", "abc"}) {
        ::setenv(variable, ignored, 1);
        EXPECT_EQ(limitSetting(variable, milliseconds(5000)), milliseconds(5000)) << '"' << ignored << '"';
    }
    ::setenv(variable, "250", 1);
    EXPECT_EQ(limitSetting(variable, milliseconds(5000)), milliseconds(250));
    ::unsetenv(variable);
}

}  // namespace
