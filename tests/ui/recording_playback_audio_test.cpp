// History's Play on a real sound server: a take ends its playback (the button is back to play) once the sound has
// been played to its end, however short it is, an empty one included.

#include "ui/RecordingPlayback.h"

#include "engine/WavFile.h"
#include "engine/WavSoundSource.h"
#include "platform/PulseSoundPlayer.h"
#include "platform/QtRepeatingTimer.h"
#include "support/TempHome.h"
#include "support/WaitFor.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

TEST(RecordingPlaybackSound, ATakeOfAnyLengthEndsItsPlaybackOnceItHasBeenPlayed) {
    ASSERT_NE(std::getenv("PULSE_SERVER"), nullptr) << "the audio layer needs the PulseAudio host of scripts/test";
    vctest::TempHome home;
    RecordingPlayback playback(
        [](const std::filesystem::path& file) { return std::make_unique<PulseSoundPlayer>(WavSoundSource::file(file)); },
        &QtRepeatingTimer::make);
    for (const int milliseconds : {0, 20, 50, 500}) {
        const auto file = home.path() / (std::to_string(milliseconds) + ".wav");
        writeWavFile(std::vector<float>(std::size_t(milliseconds) * 16, 0.1f), file, 16000);
        int ended = 0;
        for (int attempt = 0; attempt < 5; ++attempt) {
            playback.togglePlayback(file);
            ASSERT_TRUE(playback.playbackActive());
            if (vctest::waitFor([&] { return !playback.playbackActive(); }, 5000)) ++ended;
            EXPECT_TRUE(playback.playbackProblem().isEmpty()) << playback.playbackProblem().toStdString();
            if (playback.playbackActive()) playback.togglePlayback(file);
        }
        EXPECT_EQ(ended, 5) << "a take of " << milliseconds << " ms ended " << ended << " of 5 times";
    }
}

}  // namespace
