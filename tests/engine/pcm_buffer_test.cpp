#include "engine/PcmBuffer.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(PcmBuffer, FloatChannelsOfEmptyMonoAndNonFloatBuffers) {
    PcmBuffer mono(PcmBuffer::SampleFormat::float32, 16000, 1, true, 16);
    auto channels = floatChannels(mono);
    ASSERT_TRUE(channels);
    ASSERT_EQ(channels->size(), 1u);
    EXPECT_TRUE((*channels)[0].empty());

    PcmBuffer ints(PcmBuffer::SampleFormat::int16, 16000, 1, true, 16);
    ints.setFrameLength(4);
    EXPECT_FALSE(floatChannels(ints));
    EXPECT_EQ(ints.floatChannelData(0), nullptr);
}

TEST(PcmBuffer, InterleavedAndPlanarChannelsAreSeparated) {
    PcmBuffer interleaved(PcmBuffer::SampleFormat::float32, 48000, 2, true, 4);
    const float frames[] = {1, -1, 2, -2, 3, -3};
    std::memcpy(interleaved.data(), frames, sizeof frames);
    interleaved.setFrameLength(3);
    EXPECT_EQ(interleaved.stride(), 2u);
    EXPECT_EQ(floatChannels(interleaved), (std::vector<std::vector<float>>{{1, 2, 3}, {-1, -2, -3}}));

    PcmBuffer planar(PcmBuffer::SampleFormat::float32, 48000, 2, false, 4);
    planar.floatChannelData(0)[0] = 5;
    planar.floatChannelData(0)[1] = 6;
    planar.floatChannelData(1)[0] = 7;
    planar.floatChannelData(1)[1] = 8;
    planar.setFrameLength(2);
    EXPECT_EQ(planar.stride(), 1u);
    EXPECT_EQ(floatChannels(planar), (std::vector<std::vector<float>>{{5, 6}, {7, 8}}));

    planar.setFrameLength(99);  // never beyond the capacity
    EXPECT_EQ(planar.frameLength(), 4u);
}
