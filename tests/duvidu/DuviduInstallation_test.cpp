#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/TempHome.h"

namespace {

namespace fs = std::filesystem;

// Each run is a new process, so that nothing the SDK keeps in memory carries over.
std::vector<std::string> runInstallationId(const std::string& arguments = "1")
{
    std::string command = std::string(DUVIDU_INSTALLATION_ID_TOOL) + " " + arguments;
    FILE* pipe = popen(command.c_str(), "r");
    EXPECT_NE(pipe, nullptr);
    std::vector<std::string> lines;
    char line[256];
    while (pipe && std::fgets(line, sizeof line, pipe)) {
        std::string text = line;
        if (!text.empty() && text.back() == '\n') text.pop_back();
        lines.push_back(text);
    }
    if (pipe) {
        EXPECT_EQ(pclose(pipe), 0);
    }
    return lines;
}

std::string fileText(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

void writeFile(const fs::path& path, const std::string& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

class DuviduInstallationTest : public testing::Test {
protected:
    vctest::TempHome home;
    fs::path file() const { return home.cache() / "duvidu" / "INSTALLATION"; }
};

TEST_F(DuviduInstallationTest, MadeOnceWithItsFolderAndKeptAcrossProcesses)
{
    ASSERT_FALSE(fs::exists(file().parent_path()));
    // Eight threads racing the first call of a fresh process get one id, which is what the file holds.
    auto answers = runInstallationId("8");
    ASSERT_EQ(answers.size(), 8u);
    EXPECT_EQ(std::set<std::string>(answers.begin(), answers.end()).size(), 1u);
    const std::string id = answers[0];
    EXPECT_EQ(id.size(), 36u);
    EXPECT_EQ(id.find_first_not_of("0123456789ABCDEF-"), std::string::npos) << id;
    EXPECT_EQ(id[8], '-');
    EXPECT_EQ(id[23], '-');
    EXPECT_EQ(fileText(file()), id);  // no line end

    EXPECT_EQ(runInstallationId(), std::vector<std::string>{id});
    // Nothing is left behind from writing it.
    EXPECT_EQ(std::distance(fs::directory_iterator(file().parent_path()), fs::directory_iterator()), 1);
}

TEST_F(DuviduInstallationTest, TheFileIsTakenAsItIs)
{
    writeFile(file(), "");
    EXPECT_EQ(runInstallationId(), std::vector<std::string>{""});
    writeFile(file(), "  custom id ");  // not trimmed
    EXPECT_EQ(runInstallationId(), std::vector<std::string>{"  custom id "});
    EXPECT_EQ(fileText(file()), "  custom id ");
}

TEST_F(DuviduInstallationTest, BytesThatAreNotUTF8GiveNoIdAndNothingIsKept)
{
    writeFile(file(), "\xff\xfe\x01");
    EXPECT_EQ(runInstallationId("2"), (std::vector<std::string>{"<none>", "<none>"}));
    EXPECT_EQ(fileText(file()), "\xff\xfe\x01");
    // The same process reads the file again once it holds text.
    EXPECT_EQ(runInstallationId("rewrite 4F1C"), (std::vector<std::string>{"<none>", "4F1C"}));
}

}  // namespace
