#include "engine/WavFile.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <system_error>

#include "engine/WavSampleStream.h"
#include "platform/FileIO.h"
#include "platform/ReadableFile.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t headerSize = 44;
// The RIFF chunk size 36 + 2n must fit 32 bits.
constexpr std::uint64_t maxSampleCount = 2'147'483'629;
constexpr std::int64_t maxSampleRate = 2'147'483'647;

void putU32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
}

void putU16(std::string& out, std::uint16_t v) {
    out.push_back(static_cast<char>(v));
    out.push_back(static_cast<char>(v >> 8));
}

std::uint32_t littleEndian32(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

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

float wavStoredSampleToFloat(const char* bytes) {
    const auto raw =
        static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes[0]) | static_cast<std::uint8_t>(bytes[1]) << 8);
    return wavSampleToFloat(static_cast<std::int16_t>(raw));
}

void writeWavFile(std::span<const float> samples, const fs::path& file, std::int64_t sampleRate) {
    if (samples.size() > maxSampleCount || sampleRate < 0 || sampleRate > maxSampleRate) {
        throw fs::filesystem_error("WAV sizes do not fit the header", file,
                                   std::make_error_code(std::errc::value_too_large));
    }
    const auto n = static_cast<std::uint32_t>(samples.size());
    const auto rate = static_cast<std::uint32_t>(sampleRate);

    std::string bytes;
    bytes.reserve(headerSize + 2 * std::size_t(n));
    bytes += "RIFF";
    putU32(bytes, 36 + 2 * n);
    bytes += "WAVEfmt ";
    putU32(bytes, 16);
    putU16(bytes, 1);
    putU16(bytes, 1);
    putU32(bytes, rate);
    putU32(bytes, rate * 2);
    putU16(bytes, 2);
    putU16(bytes, 16);
    bytes += "data";
    putU32(bytes, 2 * n);
    for (float x : samples) putU16(bytes, static_cast<std::uint16_t>(wavSampleFromFloat(x)));

    FileIO::writeInPlace(file, bytes);
}

std::uint32_t wavHeaderSampleRate(std::string_view header) {
    if (header.size() < headerSize) return 0;
    return littleEndian32(reinterpret_cast<const unsigned char*>(header.data()) + 24);
}

std::vector<float> readWavSamples(const fs::path& file) {
    WavSampleStream stream(file);
    std::vector<float> samples(static_cast<std::size_t>(stream.sampleCount()));
    std::size_t filled = 0;
    while (const std::size_t n = stream.read(std::span(samples).subspan(filled))) filled += n;
    samples.resize(filled);
    return samples;
}

std::int64_t wavDurationMilliseconds(const fs::path& file) {
    std::optional<ReadableFile> reader;
    try {
        reader.emplace(file, ReadableFile::Kind::audio);
    } catch (const fs::filesystem_error&) {
        return 0;
    }
    const std::uint64_t fileSize = reader->size();
    const auto readAt = [&](std::uint64_t offset, unsigned char* bytes, std::size_t count) {
        return ::pread(reader->descriptor(), bytes, count, off_t(offset)) == ssize_t(count);
    };
    unsigned char riff[12];
    if (!readAt(0, riff, sizeof riff) || std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0) {
        return 0;
    }
    std::uint32_t rate = 0;
    std::uint32_t blockAlign = 0;
    // Walk the chunks up to "data"; a chunk size that overruns the file counts only what is there.
    std::uint64_t at = sizeof riff;
    for (int chunks = 0; chunks < 64; ++chunks) {
        unsigned char header[8];
        if (!readAt(at, header, sizeof header)) return 0;
        const std::uint32_t size = littleEndian32(header + 4);
        const std::uint64_t start = at + sizeof header;
        if (std::memcmp(header, "fmt ", 4) == 0) {
            unsigned char format[16];
            if (size < sizeof format || !readAt(start, format, sizeof format)) return 0;
            rate = littleEndian32(format + 4);
            blockAlign = std::uint32_t(format[12]) | std::uint32_t(format[13]) << 8;
        } else if (std::memcmp(header, "data", 4) == 0) {
            if (rate == 0 || blockAlign == 0) return 0;
            const std::uint64_t bytes = std::min<std::uint64_t>(size, fileSize - std::min(start, fileSize));
            return std::int64_t(bytes / blockAlign * 1000 / rate);
        }
        at = start + size + (size & 1);
    }
    return 0;
}
