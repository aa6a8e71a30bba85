#pragma once

#include <cstddef>
#include <span>

// The pause detector of the realtime mode: after at least two seconds of new audio, a chunk is cut when the last
// second is clearly quieter than the last two seconds and those two seconds held speech. All at 16 kHz.
struct VoiceActivityRule {
    static constexpr int heartbeatWindow = 2000;                // ms, the long window
    static constexpr int heartbeatLastWindow = 1000;            // ms, the short window
    static constexpr std::size_t heartbeatWindowSampleCount = 32000;
    static constexpr std::size_t heartbeatLastWindowSampleCount = 16000;
    static constexpr float VADThreshold = 0.7f;
    static constexpr float minimumLevelSum = 500.0f;
    static constexpr int heartbeatIntervalMilliseconds = 100;  // heartbeats start more than this apart

    struct LevelStats {
        float sum;   // of the absolute values, added in index order in single precision
        float mean;  // sum divided by the count
    };
    static LevelStats levelStats(std::span<const float> samples);

    // Whether the rule fires on the long window (its last heartbeatLastWindowSampleCount samples form the short
    // one). Comparisons are strict and in single precision, so NaN never fires.
    static bool fires(std::span<const float> longWindow);
};
