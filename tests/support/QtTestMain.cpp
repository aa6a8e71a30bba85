#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>

#include "support/SanitizerDefaults.h"
#include "support/TempHome.h"

// Tests of widgets and of objects that post to the GUI thread need one QApplication for the whole process.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    const auto home = vctest::isolateHomeForProcess();
    // Listing the tests (ctest's discovery) and headless runs need no display.
    if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const int rc = RUN_ALL_TESTS();
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return rc;
}
