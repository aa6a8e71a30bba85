#include "platform/QtSoundPlayer.h"

#include "engine/WavFile.h"
#include "support/TempHome.h"
#include "support/WaitFor.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <cmath>

// The playback controller ends a playback only when the position goes back; the player must therefore move forward
// while playing and report 0 once the sound has ended.
TEST(WaveformPlayer, PositionAdvancesAndReturnsToZeroAtTheEnd) {
    vctest::TempHome home;
    std::vector<float> samples(8000);
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = 0.2f * std::sin(static_cast<float>(i) * 0.1f);
    const auto file = home.path() / "half-second.wav";
    writeWavFile(samples, file, 16000);

    std::unique_ptr<SoundPlayer> player = QtSoundPlayer::open(file);
    ASSERT_NE(player, nullptr);
    player->setVolume(1.0f);
    player->play();

    double furthest = 0.0;
    const bool backToZero = vctest::waitFor(
        [&] {
            const double t = player->currentTime();
            if (t > furthest) furthest = t;
            return furthest > 0.0 && t == 0.0;
        },
        10000);
    EXPECT_GT(furthest, 0.2);
    EXPECT_LE(furthest, 0.6);
    EXPECT_TRUE(backToZero);
}
