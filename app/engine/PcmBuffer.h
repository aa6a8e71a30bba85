#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// A block of PCM audio in memory: its format, a capacity in frames and the frames in use. Interleaved data holds
// frame i of channel c at element i * channelCount + c; non-interleaved data holds channel c as its own run of
// frameCapacity elements.
class PcmBuffer {
public:
    enum class SampleFormat { float32, float64, int16, int32 };

    PcmBuffer(SampleFormat format, double sampleRate, std::uint32_t channelCount, bool interleaved,
              std::uint32_t frameCapacity);

    SampleFormat format() const { return format_; }
    double sampleRate() const { return sampleRate_; }
    std::uint32_t channelCount() const { return channelCount_; }
    bool isInterleaved() const { return interleaved_; }
    std::uint32_t frameCapacity() const { return frameCapacity_; }
    std::uint32_t frameLength() const { return frameLength_; }
    // Clamped to the capacity.
    void setFrameLength(std::uint32_t frames);

    static std::size_t bytesPerSample(SampleFormat format);
    // Elements between two frames of one channel: the channel count when interleaved (and for one channel), else 1.
    std::uint32_t stride() const { return interleaved_ ? channelCount_ : 1; }

    // The raw sample storage, sized for the whole capacity and zeroed on creation.
    unsigned char* data() { return bytes_.data(); }
    const unsigned char* data() const { return bytes_.data(); }
    std::size_t byteCapacity() const { return bytes_.size(); }

    // Where channel c starts, for 32-bit float buffers; nullptr for any other format or channel.
    float* floatChannelData(std::uint32_t channel);
    const float* floatChannelData(std::uint32_t channel) const;

private:
    SampleFormat format_;
    double sampleRate_;
    std::uint32_t channelCount_;
    bool interleaved_;
    std::uint32_t frameCapacity_;
    std::uint32_t frameLength_ = 0;
    std::vector<unsigned char> bytes_;
};

// One array per channel of the frames in use; none when the buffer holds no 32-bit float data.
std::optional<std::vector<std::vector<float>>> floatChannels(const PcmBuffer& buffer);
