#include <gtest/gtest.h>

#include <filesystem>

#include "support/SanitizerDefaults.h"
#include "support/TempHome.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    const auto home = vctest::isolateHomeForProcess();
    const int rc = RUN_ALL_TESTS();
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return rc;
}
