#include "platform/ReadableFile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>

#include "platform/FileIO.h"
#include "support/Fifo.h"
#include "support/TempHome.h"

namespace fs = std::filesystem;
using Kind = ReadableFile::Kind;

namespace {

// The code a read of `file` fails with, or no code when it succeeds.
std::error_code readFailure(const fs::path& file, Kind kind) {
    try {
        FileIO::read(file, kind);
    } catch (const fs::filesystem_error& e) {
        EXPECT_EQ(e.path1(), file);
        return e.code();
    }
    return {};
}

std::error_code checkFailure(const fs::path& file, Kind kind) {
    try {
        ReadableFile::check(file, kind);
    } catch (const fs::filesystem_error& e) {
        return e.code();
    }
    return {};
}

}  // namespace

TEST(ReadableFile, SpecialFilesAreRefusedWithoutBlockingOrReadingThem) {
    vctest::TempHome home;
    const fs::path dir = home.path();
    const vctest::Fifo fifo(dir / "meta.json");
    std::error_code fifoFailure;
    EXPECT_TRUE(fifo.returnsWithin([&] { fifoFailure = readFailure(fifo.path(), Kind::record); }));
    EXPECT_EQ(fifoFailure, ReadableFile::notRegularFile());
    EXPECT_EQ(fifoFailure.message(), "Not a regular file");

    // Links are followed: an endless device behind a link is refused before a single byte is read.
    fs::create_symlink("/dev/zero", dir / "zero.json");
    EXPECT_EQ(readFailure(dir / "zero.json", Kind::record), ReadableFile::notRegularFile());
    EXPECT_EQ(checkFailure(dir / "zero.json", Kind::audio), ReadableFile::notRegularFile());
    EXPECT_EQ(readFailure("/dev/null", Kind::settings), ReadableFile::notRegularFile());

    fs::create_directories(dir / "folder");
    EXPECT_EQ(readFailure(dir / "folder", Kind::record).value(), EISDIR);
    EXPECT_EQ(readFailure(dir / "missing", Kind::record).value(), ENOENT);
    EXPECT_EQ(checkFailure(dir / "missing", Kind::model).value(), ENOENT);
}

TEST(ReadableFile, EachKindHasItsCapAndAFileAtTheCapIsRead) {
    EXPECT_EQ(ReadableFile::sizeCap(Kind::record), 1u << 20);
    EXPECT_EQ(ReadableFile::sizeCap(Kind::settings), 1u << 20);
    EXPECT_EQ(ReadableFile::sizeCap(Kind::audio), std::uint64_t(2) << 30);
    EXPECT_EQ(ReadableFile::sizeCap(Kind::model), std::uint64_t(4) << 30);

    vctest::TempHome home;
    const fs::path file = home.path() / "meta.json";
    std::ofstream(file).close();
    fs::resize_file(file, 1u << 20);
    EXPECT_EQ(FileIO::read(file, Kind::record).size(), 1u << 20);

    fs::resize_file(file, (1u << 20) + 1);
    EXPECT_EQ(readFailure(file, Kind::record), std::errc::file_too_large);
    EXPECT_EQ(checkFailure(file, Kind::record), std::errc::file_too_large);
    EXPECT_EQ(checkFailure(file, Kind::audio), std::error_code());

    // Sparse files cost nothing on disk: the caps of the big kinds are tested at their real sizes.
    const fs::path model = home.path() / "ggml-tiny.bin";
    std::ofstream(model).close();
    fs::resize_file(model, (std::uint64_t(4) << 30) + 1);
    EXPECT_EQ(checkFailure(model, Kind::model), std::errc::file_too_large);
    EXPECT_EQ(checkFailure(model, Kind::audio), std::errc::file_too_large);
    fs::resize_file(model, std::uint64_t(4) << 30);
    EXPECT_EQ(checkFailure(model, Kind::model), std::error_code());
}

TEST(ReadableFile, StreamsTheFileInPiecesThroughItsDescriptor) {
    vctest::TempHome home;
    const fs::path file = home.path() / "output.wav";
    std::string bytes(200000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = char(i * 7);
    FileIO::writeInPlace(file, bytes);

    ReadableFile reader(file, Kind::audio);
    EXPECT_EQ(reader.size(), bytes.size());
    EXPECT_GE(reader.descriptor(), 0);
    char head[44];
    ASSERT_EQ(reader.read(head, sizeof head), sizeof head);
    EXPECT_EQ(std::string(head, sizeof head), bytes.substr(0, 44));
    ReadableFile moved = std::move(reader);
    EXPECT_EQ(reader.descriptor(), -1);
    EXPECT_EQ(moved.readAll(), bytes.substr(44));
    EXPECT_EQ(moved.read(head, sizeof head), 0u);
}
