#include "ui/WaveformFold.h"

#include <algorithm>

WaveformFold::WaveformFold(std::uint64_t sampleCount, std::int64_t segments) : sampleCount_(sampleCount) {
    if (segments > 0 && static_cast<std::uint64_t>(segments) < sampleCount) {
        chunk_ = sampleCount / static_cast<std::uint64_t>(segments);
        const std::uint64_t bars = (sampleCount + chunk_ - 1) / chunk_;
        maxima_.assign(static_cast<std::size_t>(bars), 0.0f);
        started_.assign(static_cast<std::size_t>(bars), false);
    } else {
        maxima_.reserve(static_cast<std::size_t>(sampleCount));
    }
}

void WaveformFold::add(std::span<const float> samples) {
    for (const float v : samples) {
        if (seen_ >= sampleCount_) return;
        const std::uint64_t i = seen_++;
        if (chunk_ == 0) {
            maxima_.push_back(v);
            continue;
        }
        const auto take = [&](std::uint64_t bar) {
            const auto b = static_cast<std::size_t>(bar);
            maxima_[b] = started_[b] ? std::max(maxima_[b], v) : v;
            started_[b] = true;
        };
        take(i / chunk_);
        // A chunk's range ends with the first sample of the next one.
        if (i % chunk_ == 0 && i > 0) take(i / chunk_ - 1);
    }
}

std::vector<float> WaveformFold::values() const {
    if (chunk_ == 0) return maxima_;
    std::vector<float> values(maxima_.size(), 0.0f);
    for (std::size_t bar = 0; bar < values.size(); ++bar) {
        const std::uint64_t end = static_cast<std::uint64_t>(bar) * chunk_ + chunk_;
        if (end < seen_) values[bar] = maxima_[bar];
    }
    return values;
}
