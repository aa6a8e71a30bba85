#include "platform/AppLog.h"
#include "shell/LaunchOnLogin.h"
#include "support/TempHome.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using testing::ElementsAre;
using testing::HasSubstr;

namespace {

class LaunchOnLoginTest : public testing::Test {
protected:
    LaunchOnLoginTest() {
        AppLog::setSink([this](const std::string& category, const std::string& message) {
            logs.push_back(category + ": " + message);
        });
    }
    ~LaunchOnLoginTest() override { AppLog::setSink({}); }

    static std::string read(const fs::path& file) {
        std::ifstream in(file);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    vctest::TempHome home;
    std::vector<std::string> logs;
};

TEST_F(LaunchOnLoginTest, EnableWritesAnAutostartEntryForThisProgram) {
    EXPECT_FALSE(LaunchOnLogin::isEnabled());
    LaunchOnLogin::setEnabled(true);
    const fs::path file = home.config() / "autostart" / "vellumcaster.desktop";
    ASSERT_EQ(LaunchOnLogin::autostartFile(), file);
    const std::string entry = read(file);
    EXPECT_THAT(entry, HasSubstr("[Desktop Entry]\nType=Application\n"));
    EXPECT_THAT(entry, HasSubstr("Exec=" + LaunchOnLogin::execValue(fs::read_symlink("/proc/self/exe")) + "\n"));
    EXPECT_TRUE(LaunchOnLogin::isEnabled());
    EXPECT_TRUE(logs.empty());

    // Enabling again replaces the entry; no temporary file is left behind.
    LaunchOnLogin::setEnabled(true);
    EXPECT_TRUE(LaunchOnLogin::isEnabled());
    EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), fs::directory_iterator()), 1);

    LaunchOnLogin::setEnabled(false);
    EXPECT_FALSE(fs::exists(file));
    EXPECT_FALSE(LaunchOnLogin::isEnabled());
    EXPECT_TRUE(logs.empty());
}

TEST_F(LaunchOnLoginTest, HiddenEntryCountsAsDisabledAndIsReplacedByEnabling) {
    fs::create_directories(LaunchOnLogin::autostartFile().parent_path());
    std::ofstream(LaunchOnLogin::autostartFile()) << "[Desktop Entry]\nType=Application\nHidden=true\n";
    EXPECT_FALSE(LaunchOnLogin::isEnabled());
    LaunchOnLogin::setEnabled(true);
    EXPECT_TRUE(LaunchOnLogin::isEnabled());
}

TEST_F(LaunchOnLoginTest, DisablingWhenNotRegisteredLogsTheDisableForm) {
    LaunchOnLogin::setEnabled(false);
    EXPECT_THAT(logs, ElementsAre("errors: Failed to disable launch at login: No such file or directory"));
}

TEST_F(LaunchOnLoginTest, UnwritableFolderLogsTheEnableForm) {
    if (geteuid() == 0) {
        // Permissions do not stop root; a file where the folder belongs does.
        fs::create_directories(home.config());
        std::ofstream(home.config() / "autostart") << "not a folder";
    } else {
        fs::create_directories(home.config() / "autostart");
        chmod((home.config() / "autostart").c_str(), 0500);
    }
    LaunchOnLogin::setEnabled(true);
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_THAT(logs[0], HasSubstr("errors: Failed to enable launch at login: "));
    EXPECT_FALSE(LaunchOnLogin::isEnabled());
    chmod((home.config() / "autostart").c_str(), 0700);
}

TEST_F(LaunchOnLoginTest, ExecValueQuotesReservedCharacters) {
    EXPECT_EQ(LaunchOnLogin::execValue("/usr/bin/vellumcaster"), "\"/usr/bin/vellumcaster\"");
    EXPECT_EQ(LaunchOnLogin::execValue("/opt/my apps/100%/v"), "\"/opt/my apps/100%%/v\"");
    // Inside the quotes: \" \` \$ \\ ; then every backslash of the value is escaped once more.
    EXPECT_EQ(LaunchOnLogin::execValue("/a\"b$c`d\\e"), "\"/a\\\\\"b\\\\$c\\\\`d\\\\\\\\e\"");
}

}  // namespace
