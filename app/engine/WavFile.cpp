#include "engine/WavFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <utility>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t headerSize = 44;
// The RIFF chunk size 36 + 2n must fit 32 bits.
constexpr std::uint64_t maxSampleCount = 2'147'483'629;
constexpr std::int64_t maxSampleRate = 2'147'483'647;

[[noreturn]] void throwErrno(const char* what, const fs::path& file) {
    throw fs::filesystem_error(what, file, std::error_code(errno, std::generic_category()));
}

void putU32(std::vector<unsigned char>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

void putU16(std::vector<unsigned char>& out, std::uint16_t v) {
    out.push_back(static_cast<unsigned char>(v));
    out.push_back(static_cast<unsigned char>(v >> 8));
}

void putTag(std::vector<unsigned char>& out, const char* tag) {
    for (const char* p = tag; *p; ++p) out.push_back(static_cast<unsigned char>(*p));
}

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

}  // namespace

std::int16_t wavSampleFromFloat(float x) {
    float v = x * 32767.0f;
    if (v > 32767.0f) v = 32767.0f;
    if (!(v >= -32768.0f)) v = -32768.0f;  // also catches NaN
    return static_cast<std::int16_t>(v);  // truncates toward zero
}

float wavSampleToFloat(std::int16_t s) {
    const float v = static_cast<float>(s) / 32767.0f;
    return std::max(std::min(1.0f, v), -1.0f);
}

void writeWavFile(std::span<const float> samples, const fs::path& file, std::int64_t sampleRate) {
    if (samples.size() > maxSampleCount || sampleRate < 0 || sampleRate > maxSampleRate) {
        throw fs::filesystem_error("WAV sizes do not fit the header", file,
                                   std::make_error_code(std::errc::value_too_large));
    }
    const auto n = static_cast<std::uint32_t>(samples.size());
    const auto rate = static_cast<std::uint32_t>(sampleRate);

    std::vector<unsigned char> bytes;
    bytes.reserve(headerSize + 2 * std::size_t(n));
    putTag(bytes, "RIFF");
    putU32(bytes, 36 + 2 * n);
    putTag(bytes, "WAVEfmt ");
    putU32(bytes, 16);
    putU16(bytes, 1);
    putU16(bytes, 1);
    putU32(bytes, rate);
    putU32(bytes, rate * 2);
    putU16(bytes, 2);
    putU16(bytes, 16);
    putTag(bytes, "data");
    putU32(bytes, 2 * n);
    for (float x : samples) putU16(bytes, static_cast<std::uint16_t>(wavSampleFromFloat(x)));

    Fd fd(::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (fd.get() < 0) throwErrno("Cannot write WAV file", file);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t w = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
        if (w < 0) {
            if (errno == EINTR) continue;
            throwErrno("Cannot write WAV file", file);
        }
        done += static_cast<std::size_t>(w);
    }
    if (::close(fd.release()) != 0) throwErrno("Cannot write WAV file", file);
}

std::vector<float> readWavSamples(const fs::path& file) {
    Fd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) throwErrno("Cannot read WAV file", file);
    std::vector<unsigned char> bytes;
    struct stat st {};
    if (::fstat(fd.get(), &st) == 0 && st.st_size > 0) bytes.reserve(static_cast<std::size_t>(st.st_size));
    unsigned char chunk[65536];
    for (;;) {
        const ssize_t r = ::read(fd.get(), chunk, sizeof chunk);
        if (r < 0) {
            if (errno == EINTR) continue;
            throwErrno("Cannot read WAV file", file);
        }
        if (r == 0) break;
        bytes.insert(bytes.end(), chunk, chunk + r);
    }

    std::vector<float> samples;
    if (bytes.size() <= headerSize) return samples;
    // Whole samples only: a trailing odd byte would make the last read run past the end of the file.
    const std::size_t count = (bytes.size() - headerSize) / 2;
    samples.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t o = headerSize + 2 * i;
        const auto raw = static_cast<std::uint16_t>(bytes[o] | (bytes[o + 1] << 8));
        samples.push_back(wavSampleToFloat(static_cast<std::int16_t>(raw)));
    }
    return samples;
}
