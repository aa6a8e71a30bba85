#include "engine/WavSoundSource.h"

#include "engine/WavFile.h"

#include <utility>

namespace {

constexpr std::size_t samplesStart = 44;  // after the header

}  // namespace

WavSoundSource::WavSoundSource(std::filesystem::path file, std::string bytes, std::string description)
    : file_(std::move(file)), bytes_(std::move(bytes)), description_(std::move(description)) {}

std::unique_ptr<WavSoundSource> WavSoundSource::file(std::filesystem::path file) {
    std::string description = "the recording " + file.string();
    return std::unique_ptr<WavSoundSource>(new WavSoundSource(std::move(file), {}, std::move(description)));
}

std::unique_ptr<WavSoundSource> WavSoundSource::data(std::string bytes, std::string description) {
    return std::unique_ptr<WavSoundSource>(new WavSoundSource({}, std::move(bytes), std::move(description)));
}

int WavSoundSource::open() {
    if (file_.empty()) {
        offset_ = samplesStart;
        return int(wavHeaderSampleRate(bytes_));
    }
    stream_.emplace(file_);
    return int(stream_->sampleRate());
}

std::size_t WavSoundSource::read(std::span<float> samples) {
    if (stream_) return stream_->read(samples);
    std::size_t count = 0;
    for (; count < samples.size() && offset_ + 1 < bytes_.size(); ++count, offset_ += 2) {
        samples[count] = wavStoredSampleToFloat(bytes_.data() + offset_);
    }
    return count;
}
