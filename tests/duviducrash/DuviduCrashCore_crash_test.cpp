// The crash core on its own: a helper process installs it, faults, and the test reads what it left on disk.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "support/ChildProcess.h"
#include "support/TempHome.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

class DuviduCrashCore : public testing::Test {
protected:
    fs::path installPath() const { return home.cache() / "duviducrash-core"; }

    vctest::ChildResult runHelper(const std::string& fault)
    {
        return vctest::runChild(VC_CRASH_HELPER, {"core", fault});
    }

    std::vector<fs::path> files(const fs::path& folder) const
    {
        std::vector<fs::path> found;
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(folder, error)) found.push_back(entry.path());
        return found;
    }

    json readJSON(const fs::path& path) const
    {
        std::ifstream file(path);
        std::stringstream text;
        text << file.rdbuf();
        return json::parse(text.str());
    }

    // The one report the helper left; fails the test when there is not exactly one.
    json onlyReport() const
    {
        auto reports = files(installPath() / "Reports");
        EXPECT_EQ(reports.size(), 1u);
        return reports.empty() ? json() : readJSON(reports.front());
    }

    vctest::TempHome home;
};

TEST_F(DuviduCrashCore, SegvLeavesOneReportWithTheCrashedThreadInTheHelper)
{
    auto result = runHelper("segv");
    ASSERT_TRUE(WIFSIGNALED(result.status));
    EXPECT_EQ(WTERMSIG(result.status), SIGSEGV);

    json report = onlyReport();
    std::cout << report.dump(1) << "\n";
}

}  // namespace
