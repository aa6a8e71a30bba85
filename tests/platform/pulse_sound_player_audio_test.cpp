// Sounds played on a real sound server: the position moves and is back at 0 at the end, a pause ends the stream, a
// server that hangs (SIGSTOP) before or while a sound plays fails the sound within seconds while no call waits, and a
// sound it did not take leaves no stream on it once it answers again.

#include "platform/PulseSoundPlayer.h"

#include "PrivateServerConnection.h"
#include "support/HostProgram.h"
#include "support/WaitFor.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

using vctest::waitFor;

// A tone of this many seconds at 16 kHz.
class Tone : public SoundSource {
public:
    explicit Tone(double seconds) : left_(std::size_t(seconds * 16000)) {}
    int open() override { return 16000; }
    std::size_t read(std::span<float> samples) override {
        const std::size_t count = std::min(samples.size(), left_);
        for (std::size_t i = 0; i < count; ++i) samples[i] = 0.2f * std::sin(float(at_++) * 0.1f);
        left_ -= count;
        return count;
    }
    std::string description() const override { return "a tone"; }

private:
    std::size_t left_;
    std::size_t at_ = 0;
};

// The streams the server plays, as its command line tool lists them.
int playingStreams() {
    QProcess pactl;
    pactl.start(QString::fromStdString(vctest::hostProgram("pactl")), {"list", "short", "sink-inputs"});
    pactl.waitForFinished(10000);
    return int(QString::fromUtf8(pactl.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts).size());
}

// The player's callers never wait: the slowest of its calls, in milliseconds.
struct CallClock {
    template <typename Call>
    auto operator()(Call call) {
        QElapsedTimer timer;
        timer.start();
        auto result = call();
        slowest = std::max(slowest, timer.elapsed());
        return result;
    }
    qint64 slowest = 0;
};

TEST(PulseSoundPlayer, PlaysToTheEndWithThePositionMovingAndAPauseEndsTheStream) {
    ASSERT_NE(std::getenv("PULSE_SERVER"), nullptr) << "the audio layer needs the PulseAudio host of scripts/test";
    {
        PulseSoundPlayer player(std::make_unique<Tone>(0.5));
        player.setVolume(1.0f);
        player.play();
        double furthest = 0.0;
        const bool backToZero = waitFor(
            [&] {
                const double t = player.currentTime();
                furthest = std::max(furthest, t);
                return furthest > 0.0 && t == 0.0;
            },
            10000);
        EXPECT_GT(furthest, 0.2);
        EXPECT_LE(furthest, 0.6);
        EXPECT_TRUE(backToZero);
        EXPECT_FALSE(player.failure());
    }
    PulseSoundPlayer player(std::make_unique<Tone>(30.0));
    player.play();
    ASSERT_TRUE(waitFor([&] { return player.currentTime() > 0.2; }, 10000));
    ASSERT_EQ(playingStreams(), 1);
    player.pause();
    const double pausedAt = player.currentTime();
    EXPECT_TRUE(waitFor([] { return playingStreams() == 0; }, 5000)) << "the paused sound goes on playing";
    EXPECT_NEAR(player.currentTime(), pausedAt, 0.15);
    EXPECT_FALSE(player.failure());
}

TEST(PulseSoundPlayer, AServerThatHangsFailsTheSoundBeforeOrWhileItPlaysAndNoCallWaits) {
    PrivateServerConnection own;
    ASSERT_TRUE(own.answers()) << "the server did not start";
    vctest::PrivateSoundServer& server = own.server;
    const std::shared_ptr<SharedPulseConnection>& connection = own.connection;
    CallClock calls;
    const auto playUntil = [&](PulseSoundPlayer& player, const std::function<bool()>& condition) {
        calls([&] { return (player.play(), 0); });
        return waitFor([&] { return calls([&] { return (player.currentTime(), condition()); }); }, 10000);
    };

    // Started while the server hangs, on the connection that an earlier sound opened: the stream is not taken within a
    // second.
    PulseSoundPlayer first(std::make_unique<Tone>(1.0), connection);
    ASSERT_TRUE(playUntil(first, [&] { return first.currentTime() > 0.0; }));
    server.suspend();
    PulseSoundPlayer second(std::make_unique<Tone>(1.0), connection);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(playUntil(second, [&] { return calls([&] { return second.failure().has_value(); }); }));
    EXPECT_LT(clock.elapsed(), 4000);
    EXPECT_EQ(second.failure()->cause, SoundPlayer::Failure::Cause::soundServerUnreachable);
    server.resume();

    // Hanging while it plays: no answer about the position for 2 s.
    PulseSoundPlayer third(std::make_unique<Tone>(30.0), connection);
    ASSERT_TRUE(playUntil(third, [&] { return third.currentTime() > 0.2; }));
    server.suspend();
    clock.restart();
    ASSERT_TRUE(waitFor([&] { return calls([&] { return third.failure().has_value(); }); }, 10000));
    EXPECT_LT(clock.elapsed(), 4000);
    EXPECT_EQ(third.failure()->cause, SoundPlayer::Failure::Cause::soundServerUnreachable);
    EXPECT_LT(calls.slowest, 100) << "a call on the player waited";
    server.resume();
}

TEST(PulseSoundPlayer, SoundsAHangingServerDidNotTakeLeaveNoStreamOnItOnceItAnswers) {
    PrivateServerConnection own;
    ASSERT_TRUE(own.answers()) << "the server did not start";
    vctest::PrivateSoundServer& server = own.server;
    const std::shared_ptr<SharedPulseConnection>& connection = own.connection;

    // One after the other while the server hangs: it has the requests for their streams, and answers them only later.
    server.suspend();
    std::vector<std::unique_ptr<PulseSoundPlayer>> sounds;
    for (int i = 0; i < 3; ++i) {
        sounds.push_back(std::make_unique<PulseSoundPlayer>(std::make_unique<Tone>(30.0), connection));
        PulseSoundPlayer& sound = *sounds.back();
        sound.play();
        ASSERT_TRUE(waitFor([&] { return sound.failure().has_value(); }, 10000));
        EXPECT_EQ(sound.failure()->cause, SoundPlayer::Failure::Cause::soundServerUnreachable);
    }
    server.resume();
    // Once it has answered a later request on the same connection, it has made the streams asked for before.
    ASSERT_TRUE(waitFor(
        [&] {
            bool answered = false;
            connection->use([&](PulseConnection& asked) { answered = asked.defaultSourceName().has_value(); });
            return answered;
        },
        10000));
    EXPECT_TRUE(waitFor([] { return playingStreams() == 0; }, 5000))
        << playingStreams() << " streams of failed sounds are left on the server";
}

}  // namespace
