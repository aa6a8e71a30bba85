#include "Duvidu/DuviduFileText.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <system_error>

#include "Duvidu/DuviduLog.h"

namespace duvidu {

DuviduFileReadOutcome duvidu_readOpenFileChecked(int file, size_t limit, DuviduData& bytes, std::string* problem)
{
    bytes.clear();
    limit = std::min(limit, std::numeric_limits<size_t>::max() - 1);  // room for the byte past it
    auto refuse = [&](const std::string& why) {
        if (problem) *problem = why;
        bytes.clear();
        return DuviduFileReadOutcome::Refused;
    };
    struct stat status {};
    if (::fstat(file, &status) != 0) return refuse(std::strerror(errno));
    if (!S_ISREG(status.st_mode)) return refuse("it is not a regular file");
    const std::string tooLarge = "it is larger than " + std::to_string(limit) + " bytes";
    if (static_cast<uint64_t>(status.st_size) > limit) return refuse(tooLarge);
    // Files of the kernel (/proc) tell no size; every file may grow meanwhile: one byte past the limit tells.
    constexpr size_t kFirstRead = 4096;
    bytes.resize(std::min<size_t>(limit, std::max<size_t>(static_cast<size_t>(status.st_size), kFirstRead)) + 1);
    size_t filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (filled > limit) return refuse(tooLarge);
            bytes.resize(std::min(limit + 1, bytes.size() * 2));
        }
        const ssize_t n = ::read(file, bytes.data() + filled, bytes.size() - filled);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return refuse(std::strerror(errno));
        if (n == 0) break;
        filled += static_cast<size_t>(n);
    }
    bytes.resize(filled);
    return DuviduFileReadOutcome::Read;
}

DuviduFileReadOutcome duvidu_readFileChecked(const std::string& path, size_t limit, DuviduData& bytes,
                                             std::string* problem)
{
    bytes.clear();
    const int file = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (file < 0) {
        if (problem) *problem = std::strerror(errno);
        return DuviduFileReadOutcome::CannotOpen;
    }
    const auto outcome = duvidu_readOpenFileChecked(file, limit, bytes, problem);
    ::close(file);
    return outcome;
}

std::optional<DuviduData> duvidu_readOwnFile(const std::string& path, size_t limit)
{
    DuviduData bytes;
    std::string problem;
    switch (duvidu_readFileChecked(path, limit, bytes, &problem)) {
    case DuviduFileReadOutcome::Read: return bytes;
    case DuviduFileReadOutcome::CannotOpen: return std::nullopt;
    case DuviduFileReadOutcome::Refused: break;
    }
    std::error_code error;
    std::filesystem::remove(path, error);
    if (error) DUVIDU_LOG_ERROR("Could not read " + path + " (" + problem + ") nor delete it: " + error.message());
    else DUVIDU_LOG_ERROR("Deleted " + path + ": " + problem + ".");
    return std::nullopt;
}

std::optional<std::string> duvidu_readTextFile(const char* path)
{
    DuviduData bytes;
    if (duvidu_readFileChecked(path, kDuviduSystemFileLimit, bytes) != DuviduFileReadOutcome::Read) return std::nullopt;
    return std::string(bytes.begin(), bytes.end());
}

bool duvidu_writeAll(int file, const void* bytes, size_t size)
{
    const auto* next = static_cast<const char*>(bytes);
    for (size_t written = 0; written < size;) {
        const ssize_t n = ::write(file, next + written, size - written);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) {
            errno = EIO;
            return false;
        }
        written += static_cast<size_t>(n);
    }
    return true;
}

bool duvidu_writeFileAtomically(const std::string& path, const DuviduData& data, std::string* errorText)
{
    auto slash = path.rfind('/');
    std::string temporary = path.substr(0, slash + 1) + "." + path.substr(slash + 1) + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    int error = fd < 0 ? errno : 0;
    // Held until the file is closed, and by nobody once its writer is gone: a cleaner then knows it is abandoned.
    if (fd >= 0) ::flock(fd, LOCK_EX | LOCK_NB);
    if (!error && !duvidu_writeAll(fd, data.data(), data.size())) error = errno;
    if (fd >= 0 && ::close(fd) != 0 && !error) error = errno;
    if (!error && std::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
    if (!error) return true;
    if (fd >= 0) ::unlink(temporary.c_str());
    if (errorText) *errorText = std::error_code(error, std::generic_category()).message();
    return false;
}

}  // namespace duvidu
