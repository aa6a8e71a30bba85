// The C API: argument checks, defaults, results lifetime and the timings report.

#include "whisper.h"

#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <thread>

#include "TestModels.h"
#include "core/whisper_context.h"

using rectest::TestModels;

namespace {

std::vector<float> beep(int n) {
    std::vector<float> x(n);
    for (int i = 0; i < n; ++i) x[i] = static_cast<float>(0.3 * std::sin(2 * M_PI * 440 * i / 16000.0));
    return x;
}

whisper_full_params quiet() {
    whisper_full_params p = whisper_full_default_params(WHISPER_SAMPLING_GREEDY);
    p.print_progress = false;
    p.temperature_inc = 0;
    return p;
}

}  // namespace

TEST(WhisperApi, DefaultParamsAreTheGreedyDefaults) {
    const whisper_full_params p = whisper_full_default_params(WHISPER_SAMPLING_GREEDY);
    EXPECT_EQ(p.strategy, WHISPER_SAMPLING_GREEDY);
    EXPECT_EQ(p.n_threads, static_cast<int>(std::min(4u, std::thread::hardware_concurrency())));
    EXPECT_EQ(p.n_max_text_ctx, 16384);
    EXPECT_EQ(p.offset_ms, 0);
    EXPECT_EQ(p.duration_ms, 0);
    EXPECT_FALSE(p.translate);
    EXPECT_TRUE(p.no_context);
    EXPECT_FALSE(p.no_timestamps);
    EXPECT_FALSE(p.single_segment);
    EXPECT_FALSE(p.print_special);
    EXPECT_TRUE(p.print_progress);
    EXPECT_FALSE(p.print_realtime);
    EXPECT_TRUE(p.print_timestamps);
    EXPECT_FALSE(p.speed_up);
    EXPECT_EQ(p.audio_ctx, 0);
    EXPECT_EQ(p.initial_prompt, nullptr);
    EXPECT_STREQ(p.language, "en");
    EXPECT_FALSE(p.detect_language);
    EXPECT_TRUE(p.suppress_blank);
    EXPECT_FALSE(p.suppress_nst);
    EXPECT_EQ(p.temperature, 0.0f);
    EXPECT_EQ(p.max_initial_ts, 1.0f);
    EXPECT_EQ(p.length_penalty, -1.0f);
    EXPECT_EQ(p.temperature_inc, 0.2f);
    EXPECT_EQ(p.entropy_thold, 2.4f);
    EXPECT_EQ(p.logprob_thold, -1.0f);
    EXPECT_EQ(p.no_speech_thold, 0.6f);
    EXPECT_EQ(p.greedy.best_of, 5);
    EXPECT_EQ(p.beam_search.beam_size, -1);
    EXPECT_EQ(p.new_segment_callback, nullptr);
}

TEST(WhisperApi, BadArgumentsFailCleanly) {
    EXPECT_EQ(whisper_init_from_file(nullptr), nullptr);
    EXPECT_EQ(whisper_init_from_file("/nonexistent/model.bin"), nullptr);
    whisper_free(nullptr);
    EXPECT_NE(whisper_full(nullptr, quiet(), nullptr, 0), 0);
    EXPECT_EQ(whisper_full_n_segments(nullptr), 0);
    EXPECT_STREQ(whisper_full_get_segment_text(nullptr, 0), "");
    whisper_reset_timings(nullptr);
    whisper_print_timings(nullptr);

    whisper_context* ctx = whisper_init_from_file(TestModels::synA().c_str());
    ASSERT_TRUE(ctx);
    const auto x = beep(32000);
    ASSERT_EQ(whisper_full(ctx, quiet(), x.data(), static_cast<int>(x.size())), 0);
    ASSERT_EQ(whisper_full_n_segments(ctx), 1);
    EXPECT_STREQ(whisper_full_get_segment_text(ctx, 1), "");
    EXPECT_STREQ(whisper_full_get_segment_text(ctx, -1), "");

    // Every failure leaves no segments behind, so a caller never reads the previous run's text.
    EXPECT_NE(whisper_full(ctx, quiet(), x.data(), -5), 0);
    EXPECT_EQ(whisper_full_n_segments(ctx), 0);
    EXPECT_NE(whisper_full(ctx, quiet(), x.data(), 0), 0);
    EXPECT_NE(whisper_full(ctx, quiet(), nullptr, 100), 0);
    std::vector<float> nan = x;
    nan[7] = NAN;
    EXPECT_NE(whisper_full(ctx, quiet(), nan.data(), static_cast<int>(nan.size())), 0);
    whisper_full_params p = quiet();
    p.language = "klingon";
    EXPECT_EQ(whisper_full(ctx, p, x.data(), static_cast<int>(x.size())), -3);
    p = quiet();
    p.audio_ctx = 3000;
    EXPECT_EQ(whisper_full(ctx, p, x.data(), static_cast<int>(x.size())), -5);
    p = quiet();
    p.greedy.best_of = 9;
    EXPECT_EQ(whisper_full(ctx, p, x.data(), static_cast<int>(x.size())), -4);
    p = quiet();
    p.n_threads = -3;  // treated as one thread
    EXPECT_EQ(whisper_full(ctx, p, x.data(), static_cast<int>(x.size())), 0);
    // Under 100 ms: success, nothing to say.
    EXPECT_EQ(whisper_full(ctx, quiet(), x.data(), 1000), 0);
    EXPECT_EQ(whisper_full_n_segments(ctx), 0);
    whisper_free(ctx);
}

TEST(WhisperApi, PrintsTimingsAndRealtimeText) {
    whisper_context* ctx = whisper_init_from_file(TestModels::synA().c_str());
    ASSERT_TRUE(ctx);
    const auto x = beep(32000);
    whisper_full_params p = quiet();
    p.print_realtime = true;
    testing::internal::CaptureStdout();
    ASSERT_EQ(whisper_full(ctx, p, x.data(), static_cast<int>(x.size())), 0);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(std::regex_match(out, std::regex(R"(\[00:00:\d\d\.\d\d0 --> 00:00:01\.990\]  .+\n)"))) << out;

    ctx->timings.nFailP = 3;
    whisper_reset_timings(ctx);
    EXPECT_EQ(ctx->timings.nEncode, 0);
    testing::internal::CaptureStderr();
    whisper_print_timings(ctx);
    const std::string err = testing::internal::GetCapturedStderr();
    const std::regex expected(
        "\nwhisper_print_timings:     load time = +\\d+\\.\\d\\d ms\n"
        "whisper_print_timings:     fallbacks =   3 p /   0 h\n"
        "whisper_print_timings:      mel time =     0\\.00 ms\n"
        "whisper_print_timings:   sample time =     0\\.00 ms /     1 runs \\(    0\\.00 ms per run\\)\n"
        "whisper_print_timings:   encode time =     0\\.00 ms /     1 runs \\(    0\\.00 ms per run\\)\n"
        "whisper_print_timings:   decode time =     0\\.00 ms /     1 runs \\(    0\\.00 ms per run\\)\n"
        "whisper_print_timings:   batchd time =     0\\.00 ms /     1 runs \\(    0\\.00 ms per run\\)\n"
        "whisper_print_timings:   prompt time =     0\\.00 ms /     1 runs \\(    0\\.00 ms per run\\)\n"
        "whisper_print_timings:    total time = +\\d+\\.\\d\\d ms\n");
    EXPECT_TRUE(std::regex_match(err, expected)) << err;
    whisper_free(ctx);
}
