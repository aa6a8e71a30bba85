#include "engine/WavFile.h"
#include "engine/WavSoundSource.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "support/Fifo.h"
#include "support/TempHome.h"

namespace fs = std::filesystem;

namespace {

std::vector<unsigned char> readBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const fs::path& file, const std::vector<unsigned char>& bytes) {
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::uint32_t u32At(const std::vector<unsigned char>& b, std::size_t o) {
    return b[o] | (b[o + 1] << 8) | (b[o + 2] << 16) | (std::uint32_t(b[o + 3]) << 24);
}

std::int16_t s16At(const std::vector<unsigned char>& b, std::size_t o) {
    return static_cast<std::int16_t>(b[o] | (b[o + 1] << 8));
}

}  // namespace

TEST(WavFile, ZeroSamplesGiveTheBareHeader) {
    vctest::TempHome home;
    const fs::path file = home.path() / "empty.wav";
    writeWavFile({}, file, 16000);
    const auto bytes = readBytes(file);
    ASSERT_EQ(bytes.size(), 44u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
    EXPECT_EQ(u32At(bytes, 4), 36u);
    EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(u32At(bytes, 16), 16u);
    EXPECT_EQ(s16At(bytes, 20), 1);   // PCM
    EXPECT_EQ(s16At(bytes, 22), 1);   // mono
    EXPECT_EQ(s16At(bytes, 32), 2);   // block align
    EXPECT_EQ(s16At(bytes, 34), 16);  // bits
    EXPECT_EQ(std::string(bytes.begin() + 36, bytes.begin() + 40), "data");
    EXPECT_EQ(u32At(bytes, 40), 0u);
    const std::vector<unsigned char> rates(bytes.begin() + 24, bytes.begin() + 32);
    EXPECT_EQ(rates, (std::vector<unsigned char>{0x80, 0x3E, 0x00, 0x00, 0x00, 0x7D, 0x00, 0x00}));
    EXPECT_TRUE(readWavSamples(file).empty());
}

TEST(WavFile, SamplesAreClampedTruncatedAndReadBackWithinOne) {
    vctest::TempHome home;
    const fs::path file = home.path() / "out.wav";
    const float nan = std::numeric_limits<float>::quiet_NaN();
    writeWavFile(std::vector<float>{1.0f, -1.0f, 0.0f, 2.0f, -2.0f, 0.5f, -0.5f, nan}, file, 16000);
    const auto bytes = readBytes(file);
    ASSERT_EQ(bytes.size(), 44u + 2 * 8);
    EXPECT_EQ(u32At(bytes, 4), 36u + 16);
    EXPECT_EQ(u32At(bytes, 40), 16u);
    const std::vector<std::int16_t> expected{32767, -32767, 0, 32767, -32768, 16383, -16383, -32768};
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(s16At(bytes, 44 + 2 * i), expected[i]) << i;

    const auto samples = readWavSamples(file);
    ASSERT_EQ(samples.size(), 8u);
    const std::vector<float> back{1.0f, -1.0f, 0.0f, 1.0f, -1.0f, 16383.0f / 32767.0f, -16383.0f / 32767.0f, -1.0f};
    for (std::size_t i = 0; i < back.size(); ++i) EXPECT_FLOAT_EQ(samples[i], back[i]) << i;
}

TEST(WavFile, RoundTripTruncatesToTheSixteenBitGrid) {
    vctest::TempHome home;
    const fs::path file = home.path() / "ramp.wav";
    std::vector<float> ramp;
    for (int i = -1000; i <= 1000; ++i) ramp.push_back(static_cast<float>(i) / 1000.0f * 0.999f);
    writeWavFile(ramp, file, 48000);
    EXPECT_EQ(u32At(readBytes(file), 24), 48000u);
    const auto back = readWavSamples(file);
    ASSERT_EQ(back.size(), ramp.size());
    for (std::size_t i = 0; i < ramp.size(); ++i) {
        EXPECT_EQ(back[i], std::trunc(ramp[i] * 32767.0f) / 32767.0f) << i;
    }
}

TEST(WavFile, ReaderSkipsTheHeaderUnreadAndNeverReadsPastTheEnd) {
    vctest::TempHome home;
    const fs::path file = home.path() / "odd.wav";
    // The header is not examined: 44 arbitrary bytes, then samples.
    std::vector<unsigned char> bytes(44, 0xAB);
    writeBytes(file, bytes);
    EXPECT_TRUE(readWavSamples(file).empty());

    bytes.push_back(0x01);  // 45 bytes: half a sample, which is not read
    writeBytes(file, bytes);
    EXPECT_TRUE(readWavSamples(file).empty());

    bytes.push_back(0x80);  // 46 bytes: 0x8001 = -32767
    bytes.push_back(0xFF);  // 47 bytes: a trailing odd byte again
    writeBytes(file, bytes);
    const auto samples = readWavSamples(file);
    ASSERT_EQ(samples.size(), 1u);
    EXPECT_FLOAT_EQ(samples[0], -1.0f);

    writeBytes(file, std::vector<unsigned char>(10, 0));
    EXPECT_TRUE(readWavSamples(file).empty());
}

TEST(WavFile, FileSystemErrorsAndOversizedRequestsAreThrown) {
    vctest::TempHome home;
    EXPECT_THROW(readWavSamples(home.path() / "missing.wav"), fs::filesystem_error);
    EXPECT_THROW(readWavSamples(home.path()), fs::filesystem_error);  // a folder
    // Special files are refused unread: an endless device never becomes an endless list of samples.
    fs::create_symlink("/dev/zero", home.path() / "output.wav");
    EXPECT_THROW(readWavSamples(home.path() / "output.wav"), fs::filesystem_error);
    const vctest::Fifo fifo(home.path() / "fifo.wav");
    EXPECT_TRUE(fifo.returnsWithin([&] { EXPECT_THROW(readWavSamples(fifo.path()), fs::filesystem_error); }));
    EXPECT_THROW(writeWavFile(std::vector<float>{0.1f}, home.path() / "no/such/folder/out.wav", 16000),
                 fs::filesystem_error);
    EXPECT_FALSE(fs::exists(home.path() / "no"));

    const fs::path file = home.path() / "refused.wav";
    EXPECT_THROW(writeWavFile({}, file, -1), fs::filesystem_error);
    EXPECT_THROW(writeWavFile({}, file, 2'147'483'648LL), fs::filesystem_error);
    EXPECT_FALSE(fs::exists(file));
    writeWavFile({}, file, 2'147'483'647LL);
    EXPECT_EQ(u32At(readBytes(file), 28), 4'294'967'294u);
}

TEST(WavFile, AnExistingFileIsReplaced) {
    vctest::TempHome home;
    const fs::path file = home.path() / "out.wav";
    writeWavFile(std::vector<float>(100, 0.25f), file, 16000);
    writeWavFile(std::vector<float>{0.5f}, file, 16000);
    EXPECT_EQ(readBytes(file).size(), 46u);
}

TEST(WavFile, DurationIsWholeMillisecondsOfTheDataOrZero) {
    vctest::TempHome home;
    const fs::path file = home.path() / "a.wav";
    writeWavFile(std::vector<float>(16016, 0.1f), file, 16000);
    EXPECT_EQ(wavDurationMilliseconds(file), 1001);
    writeWavFile({}, file, 16000);
    EXPECT_EQ(wavDurationMilliseconds(file), 0);
    std::ofstream(file, std::ios::binary | std::ios::trunc) << "RIFF0000WAVEjunk";
    EXPECT_EQ(wavDurationMilliseconds(file), 0);
    EXPECT_EQ(wavDurationMilliseconds(home.path() / "missing.wav"), 0);
    const vctest::Fifo fifo(home.path() / "fifo.wav");
    EXPECT_TRUE(fifo.returnsWithin([&] { EXPECT_EQ(wavDurationMilliseconds(fifo.path()), 0); }));
}

// The sound player reads a stored file, and the completion sound compiled into the application, as the reader above
// does, at the rate the header gives.
TEST(WavFile, TheSoundSourceGivesTheReadersSamplesAtTheHeadersRateFromAFileOrFromMemory) {
    vctest::TempHome home;
    const std::vector<float> samples{0.5f, -0.25f, 1.0f, -1.0f, 0.0f};
    const auto file = home.path() / "sound.wav";
    writeWavFile(samples, file, 22050);
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (const auto& source : {WavSoundSource::file(file), WavSoundSource::data(bytes, "the sound")}) {
        EXPECT_EQ(source->open(), 22050);
        std::vector<float> read(8, 9.0f);
        EXPECT_EQ(source->read(read), samples.size());
        read.resize(samples.size());
        EXPECT_EQ(read, readWavSamples(file));
        EXPECT_EQ(source->read(read), 0u);
    }
}
