#include "engine/WavSampleStream.h"

#include <algorithm>
#include <array>

#include "engine/WavFile.h"

namespace {

constexpr std::uint64_t headerSize = 44;

}  // namespace

WavSampleStream::WavSampleStream(const std::filesystem::path& file) : file_(file, ReadableFile::Kind::audio) {
    sampleCount_ = file_.size() > headerSize ? (file_.size() - headerSize) / 2 : 0;
    // Every stored file has the same header: only its rate is read.
    std::array<char, headerSize> header{};
    std::size_t skipped = 0;
    while (skipped < headerSize) {
        const std::size_t n = file_.read(header.data() + skipped, headerSize - skipped);
        if (n == 0) {
            sampleCount_ = 0;  // the file ended within the header
            return;
        }
        skipped += n;
    }
    sampleRate_ = wavHeaderSampleRate(std::string_view(header.data(), header.size()));
}

std::size_t WavSampleStream::read(std::span<float> samples) {
    std::array<char, 65536> bytes{};
    const std::uint64_t left = sampleCount_ - delivered_;
    const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>({left, samples.size(), bytes.size() / 2}));
    std::size_t filled = 0;  // bytes read so far; a sample split across two reads is completed by the next one
    while (filled < 2 * wanted) {
        const std::size_t n = file_.read(bytes.data() + filled, 2 * wanted - filled);
        if (n == 0) break;
        filled += n;
    }
    const std::size_t count = filled / 2;
    for (std::size_t i = 0; i < count; ++i) samples[i] = wavStoredSampleToFloat(bytes.data() + 2 * i);
    delivered_ += count;
    return count;
}
