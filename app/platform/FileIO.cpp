#include "platform/FileIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const char* what, const fs::path& file, int error) {
    throw fs::filesystem_error(what, file, std::error_code(error, std::generic_category()));
}

// Writes every byte, retrying interrupted and short writes; 0 or the errno of the failure.
int writeAll(int fd, std::string_view bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return EIO;
        done += std::size_t(n);
    }
    return 0;
}

}  // namespace

std::string FileIO::read(const fs::path& file, ReadableFile::Kind kind) { return ReadableFile(file, kind).readAll(); }

void FileIO::writeInPlace(const fs::path& file, std::string_view bytes, mode_t mode) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0) fail("Cannot write file", file, errno);
    if (const int error = writeAll(fd, bytes)) {
        ::close(fd);
        fail("Cannot write file", file, error);
    }
    if (::close(fd) != 0) fail("Cannot write file", file, errno);
}

int FileIO::createTempBeside(const fs::path& file, mode_t mode, fs::path& path) {
    // Built step by step: GCC 12 warns (-Wrestrict) about the inlined "." + std::string.
    std::string name = ".";
    name += file.filename().string();
    name += ".XXXXXX";
    std::string temp = (file.parent_path() / name).string();
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return -1;
    if (::fchmod(fd, mode) != 0) {
        const int error = errno;
        ::close(fd);
        ::unlink(temp.c_str());
        errno = error;
        return -1;
    }
    path = temp;
    return fd;
}

void FileIO::writeAtomically(const fs::path& file, std::string_view bytes, mode_t mode) {
    fs::path temp;
    const int fd = createTempBeside(file, mode, temp);
    if (fd < 0) fail("Cannot write file", file, errno);
    int error = writeAll(fd, bytes);
    if (!error && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && !error) error = errno;
    if (!error && std::rename(temp.c_str(), file.c_str()) != 0) error = errno;
    if (error) {
        ::unlink(temp.c_str());
        fail("Cannot write file", file, error);
    }
}
