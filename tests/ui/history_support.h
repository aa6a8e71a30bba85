#pragma once

// Shared by the history window's tests: stored dictations written into the test's HOME, and fakes for the sound,
// the playback timer, the clipboard and the device list.

#include "engine/Recording.h"
#include "engine/RecordingMetadata.h"
#include "engine/WavFile.h"
#include "platform/RepeatingTimer.h"
#include "platform/SoundPlayer.h"
#include "shell/AudioDeviceSource.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>
#include "support/FakeAudioDeviceSource.h"
#include "support/WaitFor.h"

namespace historytest {

using vctest::waitFor;

inline RecordingMetadata record(const std::string& result, std::int64_t duration = 2000) {
    RecordingMetadata m = RecordingMetadata::defaultRecord();
    m.datetime = "2023-08-01T14:05:09";
    m.appVersion = "1.0.0";
    m.modelName = "Base (English)";
    m.duration = duration;
    m.processingTime = 1234;
    m.languageSelected = "en";
    m.result = result;
    return m;
}

// A dictation folder named after `unixSeconds` with meta.json and, unless `samples` is empty, output.wav.
inline std::filesystem::path writeDictation(std::int64_t unixSeconds, const RecordingMetadata& metadata,
                                            const std::vector<float>& samples = {0.1f, -0.5f, 0.25f}) {
    const std::filesystem::path folder = makeRecordingFolder(unixSeconds);
    std::ofstream(folder / "meta.json", std::ios::binary) << metadata.encode();
    if (!samples.empty()) writeWavFile(samples, folder / "output.wav", 16000);
    return folder;
}

inline Recording recordingIn(const std::filesystem::path& folder) {
    return Recording(folder / "meta.json", folder / "output.wav");
}

// What a test controls of a sound: its position, and what the code did to it.
struct SoundState {
    double time = 0.0;
    bool ended = false;
    float volume = -1.0f;
    int plays = 0;
    int pauses = 0;
    std::optional<SoundPlayer::Failure> failure;
};

class FakeSoundPlayer : public SoundPlayer {
public:
    explicit FakeSoundPlayer(std::shared_ptr<SoundState> state) : state_(std::move(state)) {}
    void setVolume(float volume) override { state_->volume = volume; }
    void play() override { ++state_->plays; }
    void pause() override { ++state_->pauses; }
    double currentTime() const override { return state_->time; }
    bool ended() const override { return state_->ended; }
    std::optional<Failure> failure() const override { return state_->failure; }

private:
    std::shared_ptr<SoundState> state_;
};

// Every sound made by the factory shares one state; `made` counts them and `lastFile` is the file of the last one.
struct FakeSounds {
    std::shared_ptr<SoundState> state = std::make_shared<SoundState>();
    int made = 0;
    std::filesystem::path lastFile;
    bool yieldsNoSound = false;

    SoundPlayer::Factory factory() {
        return [this](const std::filesystem::path& file) -> std::unique_ptr<SoundPlayer> {
            lastFile = file;
            if (yieldsNoSound) return nullptr;
            ++made;
            *state = SoundState{};
            return std::make_unique<FakeSoundPlayer>(state);
        };
    }
};

// A timer that fires only when the test says so.
struct FakeTimers {
    struct Timer : RepeatingTimer {
        explicit Timer(FakeTimers& owner) : owner(owner) {}
        void start(std::chrono::milliseconds interval, std::function<void()> tick) override {
            owner.interval = interval;
            owner.tick = std::move(tick);
            active = true;
        }
        void stop() override { active = false; }
        bool isActive() const override { return active; }
        FakeTimers& owner;
        bool active = false;
    };

    std::chrono::milliseconds interval{0};
    std::function<void()> tick;

    RepeatingTimer::Factory factory() {
        return [this] { return std::make_unique<Timer>(*this); };
    }
    void fire() const {
        if (tick) tick();
    }
};

}  // namespace historytest
