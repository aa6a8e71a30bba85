#include "engine/VoiceActivityRule.h"

#include <algorithm>
#include <cmath>

VoiceActivityRule::LevelStats VoiceActivityRule::levelStats(std::span<const float> samples) {
    float sum = 0.0f;
    for (const float sample : samples) sum += std::fabs(sample);
    return {sum, sum / float(samples.size())};
}

bool VoiceActivityRule::fires(std::span<const float> longWindow) {
    const std::size_t shortCount = std::min(heartbeatLastWindowSampleCount, longWindow.size());
    const LevelStats all = levelStats(longWindow);
    const LevelStats last = levelStats(longWindow.last(shortCount));
    return all.mean * VADThreshold > last.mean && all.sum > minimumLevelSum;
}
