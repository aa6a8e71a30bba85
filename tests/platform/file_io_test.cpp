#include "platform/FileIO.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <string>
#include <vector>

#include "support/TempHome.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    return names;
}

mode_t permissions(const fs::path& file) {
    struct stat st {};
    ::stat(file.c_str(), &st);
    return st.st_mode & 0777;
}

}  // namespace

TEST(FileIO, WritesReplaceTheWholeContentsAndReadBackByteForByte) {
    vctest::TempHome home;
    const fs::path dir = home.path() / "files";
    fs::create_directories(dir);
    const fs::path file = dir / "a.bin";
    const std::string binary("\0\x01\xff text\n", 9);

    FileIO::writeInPlace(file, "a longer first version");
    FileIO::writeInPlace(file, binary);
    EXPECT_EQ(FileIO::read(file, ReadableFile::Kind::record), binary);
    EXPECT_EQ(permissions(file), 0644u);

    FileIO::writeAtomically(file, "atomic", 0600);
    EXPECT_EQ(FileIO::read(file, ReadableFile::Kind::record), "atomic");
    EXPECT_EQ(permissions(file), 0600u);
    EXPECT_EQ(namesIn(dir), std::vector<std::string>{"a.bin"});  // no temporary file stays

    FileIO::writeAtomically(file, "");
    EXPECT_EQ(FileIO::read(file, ReadableFile::Kind::record), "");
}

TEST(FileIO, FailuresCarryTheErrnoAndThePathAndLeaveNothingBehind) {
    vctest::TempHome home;
    const fs::path dir = home.path() / "files";
    fs::create_directories(dir);
    const fs::path missing = dir / "missing" / "a.txt";
    for (const auto& write : {&FileIO::writeInPlace, &FileIO::writeAtomically}) {
        try {
            write(missing, "x", 0644);
            ADD_FAILURE() << "no error";
        } catch (const fs::filesystem_error& e) {
            EXPECT_EQ(e.code().value(), ENOENT);
            EXPECT_EQ(e.path1(), missing);
        }
    }
    EXPECT_THROW(FileIO::read(missing, ReadableFile::Kind::record), fs::filesystem_error);

    // A folder in the target's place: the atomic write fails at the rename and removes its temporary file.
    const fs::path folder = dir / "taken";
    fs::create_directories(folder / "inside");
    try {
        FileIO::writeAtomically(folder, "x");
        ADD_FAILURE() << "no error";
    } catch (const fs::filesystem_error& e) {
        EXPECT_EQ(e.path1(), folder);
    }
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(namesIn(dir), std::vector<std::string>{"taken"});
    try {
        FileIO::read(folder, ReadableFile::Kind::record);
        ADD_FAILURE() << "no error";
    } catch (const fs::filesystem_error& e) {
        EXPECT_EQ(e.code().value(), EISDIR);
    }
}
