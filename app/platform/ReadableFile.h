#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

// A file opened for reading after checking that it is a regular file (links followed) no larger than the cap of its
// kind. FIFOs, devices, sockets and folders are refused without being read, and opening never blocks, so a file that
// someone replaced by a FIFO or a link to /dev/zero cannot hang or exhaust the reader. Every file the application
// reads from the recordings store, the models folder or its configuration goes through here (or FileIO::read).
//
// Failures are thrown as std::filesystem::filesystem_error with the file's path and: the errno of the failing step,
// ReadableFile::notRegularFile(), or std::errc::file_too_large.
class ReadableFile {
public:
    enum class Kind {
        record,    // a dictation's meta.json or result.txt: 1 MiB
        audio,     // a dictation's output.wav: 2 GiB
        model,     // a model file: 4 GiB
        settings,  // the settings file: 1 MiB
    };
    static std::uint64_t sizeCap(Kind kind);

    ReadableFile(const std::filesystem::path& file, Kind kind);
    ~ReadableFile();
    ReadableFile(ReadableFile&& other) noexcept;
    ReadableFile& operator=(ReadableFile&& other) noexcept;
    ReadableFile(const ReadableFile&) = delete;
    ReadableFile& operator=(const ReadableFile&) = delete;

    // The same checks without opening the file, for a file that another component (a media player) opens itself.
    static void check(const std::filesystem::path& file, Kind kind);

    // The error code of a file that is not a regular file ("Not a regular file").
    static std::error_code notRegularFile();

    const std::filesystem::path& path() const { return path_; }
    int descriptor() const { return fd_; }
    // The size when the file was opened.
    std::uint64_t size() const { return size_; }

    // Reads up to `capacity` bytes at the current position, retrying interrupted reads; 0 at the end. A file that
    // has grown past its cap since it was opened is refused once the cap is crossed.
    std::size_t read(char* buffer, std::size_t capacity);
    // Everything from the current position to the end.
    std::string readAll();

private:
    std::filesystem::path path_;
    int fd_ = -1;
    std::uint64_t size_ = 0;
    std::uint64_t cap_ = 0;
    std::uint64_t consumed_ = 0;
};
