#include "engine/Recording.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/AppLog.h"
#include "support/Fifo.h"
#include "support/TempHome.h"
#include "support/ReadFile.h"

namespace fs = std::filesystem;

namespace {

class LogCapture {
public:
    LogCapture() {
        AppLog::setSink([this](const std::string& category, const std::string& message) {
            lines.push_back(category + ": " + message);
        });
    }
    ~LogCapture() { AppLog::setSink({}); }
    std::vector<std::string> lines;
};

RecordingMetadata recordWithResult(const std::string& result) {
    RecordingMetadata r = RecordingMetadata::defaultRecord();
    r.modelKey = "small";
    r.result = result;
    r.duration = 42;
    return r;
}

void writeText(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

}  // namespace

TEST(Recording, RootIsUnderDocumentsAndOnlyDocumentsIsCreated) {
    vctest::TempHome home;
    fs::remove_all(home.documents());
    EXPECT_EQ(recordingsDirectory(), home.documents() / "vellumcaster" / "recordings");
    EXPECT_TRUE(fs::is_directory(home.documents()));
    EXPECT_FALSE(fs::exists(home.documents() / "vellumcaster"));
}

TEST(Recording, AMissingRootIsLoggedAndGivesNothing) {
    vctest::TempHome home;
    LogCapture log;
    EXPECT_TRUE(fetchRecordings().empty());
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0].rfind("errors: Error fetching recordings: ", 0), 0u) << log.lines[0];

    fs::create_directories(recordingsDirectory());
    log.lines.clear();
    EXPECT_TRUE(fetchRecordings().empty());
    EXPECT_TRUE(log.lines.empty());
}

TEST(Recording, ListsNewestFirstByNameAndSkipsEntriesWithoutRecordOrAudio) {
    vctest::TempHome home;
    const fs::path root = recordingsDirectory();
    writeText(root / "1712345678" / "meta.json", recordWithResult("older").encode());
    writeText(root / "1712345690" / "meta.json", recordWithResult("newer").encode());
    writeText(root / "999" / "meta.json", recordWithResult("short name").encode());
    writeText(root / "1712345680" / "result.txt", "neither record nor audio");  // not listed
    writeText(root / ".DS_Store", "stray");
    writeText(root / "1712345700" / "meta.json", recordWithResult("converted").encode());
    writeText(root / "1712345700" / "output-converted.wav", "");

    LogCapture log;
    const auto first = fetchRecordings();
    ASSERT_EQ(first.size(), 4u);
    EXPECT_EQ(first[0].metadata.result, "short name");  // "999" > "17..." as text
    EXPECT_EQ(first[1].metadata.result, "converted");
    EXPECT_EQ(first[1].audioURL, root / "1712345700" / "output-converted.wav");
    EXPECT_EQ(first[2].metadata.result, "newer");
    EXPECT_EQ(first[2].audioURL, root / "1712345690" / "output.wav");  // not checked for existence
    EXPECT_EQ(first[2].metaURL, root / "1712345690" / "meta.json");
    EXPECT_EQ(first[3].metadata.result, "older");
    EXPECT_TRUE(log.lines.empty());

    const auto second = fetchRecordings();
    ASSERT_EQ(second.size(), first.size());
    for (std::size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(second[i].metaURL, first[i].metaURL);
        EXPECT_EQ(second[i].metadata, first[i].metadata);
        EXPECT_NE(second[i].id, first[i].id);
        EXPECT_FALSE(second[i].id.isNull());
    }
}

TEST(Recording, AnUndecodableRecordIsListedWithTheDefaultAndKeptOnDisk) {
    vctest::TempHome home;
    const fs::path root = recordingsDirectory();
    const std::string broken = "{\"datetime\" : \"2024-03-05T14:07:09\", \"result\" : \"precious\"";
    writeText(root / "1712345678" / "meta.json", broken);
    fs::create_directories(root / "1712345679" / "meta.json");  // a folder where the file belongs
    writeText(root / "1712345680" / "meta.json", "{\"result\" : \"no other keys\"}");

    LogCapture log;
    const auto recordings = fetchRecordings();
    ASSERT_EQ(recordings.size(), 3u);
    for (const Recording& r : recordings) EXPECT_EQ(r.metadata, RecordingMetadata::defaultRecord());
    EXPECT_EQ(recordings[0].metadata.modelKey, std::optional<std::string>(""));
    ASSERT_EQ(log.lines.size(), 3u);
    for (const std::string& line : log.lines) EXPECT_EQ(line.rfind("errors: Error parsing metadata: ", 0), 0u) << line;
    EXPECT_EQ(vctest::readFile(root / "1712345678" / "meta.json"), broken);
}

TEST(Recording, SpecialAndOversizedRecordsAreSkippedWithALogLine) {
    vctest::TempHome home;
    const fs::path root = recordingsDirectory();
    fs::create_directories(root / "1712345678");
    fs::create_symlink("/dev/zero", root / "1712345678" / "meta.json");
    fs::create_directories(root / "1712345679");
    const vctest::Fifo fifo(root / "1712345679" / "meta.json");
    writeText(root / "1712345680" / "meta.json", "{");
    fs::resize_file(root / "1712345680" / "meta.json", (1u << 20) + 1);
    writeText(root / "1712345681" / "meta.json", recordWithResult("fine").encode());

    LogCapture log;
    std::vector<Recording> recordings;
    ASSERT_TRUE(fifo.returnsWithin([&] { recordings = fetchRecordings(); }));
    ASSERT_EQ(recordings.size(), 4u);
    EXPECT_EQ(recordings[0].metadata.result, "fine");
    for (std::size_t i = 1; i < 4; ++i) EXPECT_EQ(recordings[i].metadata, RecordingMetadata::defaultRecord());
    ASSERT_EQ(log.lines.size(), 3u);
    EXPECT_EQ(log.lines[0], "errors: Error parsing metadata: File too large (" +
                                (root / "1712345680" / "meta.json").string() + ")");
    EXPECT_EQ(log.lines[1], "errors: Error parsing metadata: Not a regular file (" + fifo.path().string() + ")");
    EXPECT_EQ(log.lines[2].rfind("errors: Error parsing metadata: Not a regular file", 0), 0u) << log.lines[2];
}

TEST(Recording, ANewFolderNeverReplacesAnEarlierDictation) {
    vctest::TempHome home;
    const fs::path first = makeRecordingFolder(1712345678);
    EXPECT_EQ(first, recordingsDirectory() / "1712345678");
    EXPECT_TRUE(fs::is_directory(first));
    writeText(first / "meta.json", "{}");

    EXPECT_EQ(makeRecordingFolder(1712345678), recordingsDirectory() / "1712345679");
    EXPECT_EQ(makeRecordingFolder(1712345678), recordingsDirectory() / "1712345680");
    EXPECT_EQ(vctest::readFile(first / "meta.json"), "{}");
}
