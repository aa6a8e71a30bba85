#include <gtest/gtest.h>

#include <QApplication>
#include <filesystem>

#include "support/TempHome.h"

// Tests of widgets and of objects that post to the GUI thread need one QApplication for the whole process.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    const auto home = vctest::isolateHomeForProcess();
    QApplication app(argc, argv);
    const int rc = RUN_ALL_TESTS();
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return rc;
}
