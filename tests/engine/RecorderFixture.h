#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <memory>

#include "engine/Recorder.h"
#include "platform/SettingsStore.h"
#include "support/TempHome.h"
#include "FakeCaptureBackend.h"

namespace capturetest {

// A recorder over a fake microphone, with the settings of a temporary home and a clock that the test moves.
class RecorderFixture : public testing::Test {
protected:
    explicit RecorderFixture(std::uint64_t startTime = 1000) : clock(startTime) {}

    vctest::TempHome home;
    SettingsStore settings{home.config() / "vellumcaster" / "settings.json"};
    std::shared_ptr<FakeCaptureBackend> backend = std::make_shared<FakeCaptureBackend>();
    std::atomic<std::uint64_t> clock;
    std::unique_ptr<Recorder> ownedRecorder =
        std::make_unique<Recorder>(backend, settings, [this] { return clock.load(); });
    // A test that must destroy the recorder early (to wait for its tasks) resets `ownedRecorder`, then leaves this be.
    Recorder& recorder = *ownedRecorder;
};

}  // namespace capturetest
