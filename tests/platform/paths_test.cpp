#include "platform/Paths.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/TempHome.h"

namespace fs = std::filesystem;

TEST(Paths, FoldersFollowTheXdgVariables) {
    vctest::TempHome home;
    EXPECT_EQ(Paths::home(), home.path());
    EXPECT_EQ(Paths::documentsDirectory(), home.documents());
    EXPECT_EQ(Paths::applicationSupportDirectory(), home.data());
    EXPECT_EQ(Paths::cachesDirectory(), home.cache());
    EXPECT_EQ(Paths::configDirectory(), home.config());
}

TEST(Paths, UnsetOrRelativeVariablesFallBackToHome) {
    vctest::TempHome home;
    unsetenv("XDG_DATA_HOME");
    setenv("XDG_CACHE_HOME", "relative/cache", 1);
    setenv("XDG_CONFIG_HOME", "", 1);
    unsetenv("XDG_DOCUMENTS_DIR");
    EXPECT_EQ(Paths::applicationSupportDirectory(), home.path() / ".local" / "share");
    EXPECT_EQ(Paths::cachesDirectory(), home.path() / ".cache");
    EXPECT_EQ(Paths::configDirectory(), home.path() / ".config");
    EXPECT_EQ(Paths::documentsDirectory(), home.path() / "Documents");
}

TEST(Paths, DocumentsComeFromUserDirsWhenTheVariableIsUnset) {
    vctest::TempHome home;
    unsetenv("XDG_DOCUMENTS_DIR");
    std::ofstream(home.config() / "user-dirs.dirs") << "# written by the desktop\n"
                                                    << "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                                                    << "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n";
    EXPECT_EQ(Paths::documentsDirectory(), home.path() / "Dokumente");
    std::ofstream(home.config() / "user-dirs.dirs") << "XDG_DOCUMENTS_DIR=\"/srv/docs\"\n";
    EXPECT_EQ(Paths::documentsDirectory(), fs::path("/srv/docs"));
}
