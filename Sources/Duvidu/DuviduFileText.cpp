#include "Duvidu/DuviduFileText.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <system_error>

namespace duvidu {

std::optional<std::string> duvidu_readTextFile(const char* path)
{
    std::ifstream file(path);
    if (!file) return std::nullopt;
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
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
    if (!error && !duvidu_writeAll(fd, data.data(), data.size())) error = errno;
    if (fd >= 0 && ::close(fd) != 0 && !error) error = errno;
    if (!error && std::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
    if (!error) return true;
    if (fd >= 0) ::unlink(temporary.c_str());
    if (errorText) *errorText = std::error_code(error, std::generic_category()).message();
    return false;
}

}  // namespace duvidu
