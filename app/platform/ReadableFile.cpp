#include "platform/ReadableFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t MiB = std::uint64_t(1) << 20;
constexpr std::uint64_t GiB = std::uint64_t(1) << 30;

class FileKindCategory : public std::error_category {
public:
    const char* name() const noexcept override { return "file kind"; }
    std::string message(int) const override { return "Not a regular file"; }
};

[[noreturn]] void fail(const fs::path& file, std::error_code code) {
    throw fs::filesystem_error("Cannot read file", file, code);
}

[[noreturn]] void failErrno(const fs::path& file, int error) {
    fail(file, std::error_code(error, std::generic_category()));
}

// Refuses anything but a regular file within the cap; `st` is the file's status with links followed.
void checkStatus(const fs::path& file, const struct stat& st, std::uint64_t cap) {
    if (S_ISDIR(st.st_mode)) failErrno(file, EISDIR);
    if (!S_ISREG(st.st_mode)) fail(file, ReadableFile::notRegularFile());
    if (std::uint64_t(st.st_size) > cap) fail(file, std::make_error_code(std::errc::file_too_large));
}

}  // namespace

std::uint64_t ReadableFile::sizeCap(Kind kind) {
    switch (kind) {
    case Kind::record: return 1 * MiB;
    case Kind::audio: return 2 * GiB;
    case Kind::model: return 4 * GiB;
    case Kind::settings: return 1 * MiB;
    }
    return 0;
}

std::error_code ReadableFile::notRegularFile() {
    static const FileKindCategory category;
    return std::error_code(1, category);
}

void ReadableFile::check(const fs::path& file, Kind kind) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) failErrno(file, errno);
    checkStatus(file, st, sizeCap(kind));
}

ReadableFile::ReadableFile(const fs::path& file, Kind kind) : path_(file), cap_(sizeCap(kind)) {
    // Checked before opening, so that no device is ever opened, and again on the open descriptor, in case the name
    // was pointed elsewhere in between. O_NONBLOCK keeps even that open from waiting for a FIFO's writer.
    check(file, kind);
    fd_ = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) failErrno(file, errno);
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        const int error = errno;
        ::close(std::exchange(fd_, -1));
        failErrno(file, error);
    }
    try {
        checkStatus(file, st, cap_);
    } catch (...) {
        ::close(std::exchange(fd_, -1));
        throw;
    }
    // Plain blocking reads from here on (they never wait on a regular file).
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    size_ = std::uint64_t(st.st_size);
}

ReadableFile::~ReadableFile() {
    if (fd_ >= 0) ::close(fd_);
}

ReadableFile::ReadableFile(ReadableFile&& other) noexcept
    : path_(std::move(other.path_)),
      fd_(std::exchange(other.fd_, -1)),
      size_(other.size_),
      cap_(other.cap_),
      consumed_(other.consumed_) {}

ReadableFile& ReadableFile::operator=(ReadableFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        path_ = std::move(other.path_);
        fd_ = std::exchange(other.fd_, -1);
        size_ = other.size_;
        cap_ = other.cap_;
        consumed_ = other.consumed_;
    }
    return *this;
}

std::size_t ReadableFile::read(char* buffer, std::size_t capacity) {
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, capacity);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) failErrno(path_, errno);
        consumed_ += std::uint64_t(n);
        if (consumed_ > cap_) fail(path_, std::make_error_code(std::errc::file_too_large));
        return std::size_t(n);
    }
}

std::string ReadableFile::readAll() {
    std::string bytes;
    if (size_ > consumed_) bytes.reserve(std::size_t(size_ - consumed_));
    char chunk[65536];
    while (const std::size_t n = read(chunk, sizeof chunk)) bytes.append(chunk, n);
    return bytes;
}
