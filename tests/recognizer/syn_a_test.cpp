// The synthetic model SYN-A against recorded reference logits and transcripts.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>

#include "TestModels.h"
#include "core/whisper_context.h"
#include "whisper.h"

using recognizer::TensorType;
using rectest::TestModels;

namespace {

std::vector<float> tone() {
    std::vector<float> x(48000);
    for (size_t i = 0; i < x.size(); ++i)
        x[i] = static_cast<float>(0.3 * std::sin(2 * M_PI * 440 * i / 16000.0) +
                                  0.2 * std::sin(2 * M_PI * 1250 * i / 16000.0));
    return x;
}

struct Context {
    explicit Context(const std::string& path) : ctx(whisper_init_from_file(path.c_str())) {}
    ~Context() { whisper_free(ctx); }
    whisper_context* ctx;
};

// Logits after the prompt for a window encoded at offset 0 of the tone.
std::vector<float> promptLogits(whisper_context* ctx, const std::vector<int>& prompt, int threads = 1) {
    const auto x = tone();
    ctx->pool.resize(threads);
    ctx->mel.compute(x.data(), x.size(), ctx->model->filters.data(), 80, ctx->pool);
    ctx->backend.setMel(&ctx->mel);
    EXPECT_TRUE(ctx->backend.encode(0));
    std::vector<float> sot(ctx->model->hparams.n_vocab), last(sot.size());
    EXPECT_TRUE(ctx->backend.prompt(prompt.data(), static_cast<int>(prompt.size()), 0, sot.data(), last.data()));
    return last;
}

std::vector<int> topIds(const std::vector<float>& logits, int n) {
    std::vector<int> ids(logits.size());
    std::iota(ids.begin(), ids.end(), 0);
    std::partial_sort(ids.begin(), ids.begin() + n, ids.end(), [&](int a, int b) { return logits[a] > logits[b]; });
    ids.resize(n);
    return ids;
}

whisper_full_params greedyEnglish(int threads) {
    whisper_full_params p = whisper_full_default_params(WHISPER_SAMPLING_GREEDY);
    p.language = "en";
    p.temperature_inc = 0;
    p.n_threads = threads;
    p.print_progress = false;
    return p;
}

}  // namespace

TEST(SynA, LogitsMatchTheReference) {
    Context c(TestModels::synA());
    ASSERT_TRUE(c.ctx);
    const auto logits = promptLogits(c.ctx, {50258, 50259, 50359});
    const std::vector<int> expectedIds{16185, 8135, 36833, 16863, 22641};
    const float expected[] = {2.70040f, 2.34562f, 2.29260f, 2.27885f, 2.13786f};
    EXPECT_EQ(topIds(logits, 5), expectedIds);
    for (int i = 0; i < 5; ++i) EXPECT_NEAR(logits[expectedIds[i]], expected[i], 2e-3) << expectedIds[i];
    EXPECT_NEAR(logits[50257], 0.54994f, 2e-3);
    EXPECT_NEAR(logits[50364], -0.24824f, 2e-3);
    EXPECT_NEAR(logits[0], -0.15448f, 2e-3);
    EXPECT_NEAR(logits[220], 0.36051f, 2e-3);
    double sum = 0, sq = 0;
    for (float v : logits) {
        sum += v;
        sq += static_cast<double>(v) * v;
    }
    EXPECT_NEAR(sum / logits.size(), 0.00334, 2e-3);
    EXPECT_NEAR(std::sqrt(sq / logits.size()), 0.58626, 2e-3);

    // One more token through the cache.
    std::vector<float> next(logits.size());
    const int slot = 0, token = 16185;
    ASSERT_TRUE(c.ctx->backend.step(&slot, &token, 1, 3, next.data()));
    EXPECT_EQ(topIds(next, 1)[0], 16185);
    EXPECT_NEAR(next[16185], 2.92563f, 2e-3);
    EXPECT_NEAR(next[50257], 0.41234f, 2e-3);
}

TEST(SynA, GreedyTranscriptMatchesTheReference) {
    Context c(TestModels::synA());
    const auto x = tone();
    ASSERT_EQ(whisper_full(c.ctx, greedyEnglish(1), x.data(), static_cast<int>(x.size())), 0);
    ASSERT_EQ(whisper_full_n_segments(c.ctx), 1);
    EXPECT_STREQ(whisper_full_get_segment_text(c.ctx, 0), "t16185");
    const auto& seg = c.ctx->transcriber.segments()[0];
    EXPECT_EQ(seg.t0, 2);
    EXPECT_EQ(seg.t1, 299);  // the timestamp token says 18.2 s; a segment never ends after the audio (2.99 s)
    ASSERT_EQ(seg.tokens.size(), 2u);
    EXPECT_EQ(seg.tokens[0].id, 16185);
    EXPECT_EQ(seg.tokens[1].id, 51274);
}

TEST(SynA, EnglishOnlyVariantMatchesTheReference) {
    Context c(TestModels::synA(TensorType::F16, true));
    ASSERT_TRUE(c.ctx);
    const auto logits = promptLogits(c.ctx, {50257});
    const std::vector<int> expectedIds{4471, 31872, 5082, 22641, 34048};
    const float expected[] = {2.35074f, 2.26361f, 2.25569f, 2.22358f, 2.12980f};
    EXPECT_EQ(topIds(logits, 5), expectedIds);
    for (int i = 0; i < 5; ++i) EXPECT_NEAR(logits[expectedIds[i]], expected[i], 2e-3);
    EXPECT_NEAR(logits[50256], -0.03145f, 2e-3);
    EXPECT_NEAR(logits[50363], 0.82536f, 2e-3);

    const auto x = tone();
    ASSERT_EQ(whisper_full(c.ctx, greedyEnglish(2), x.data(), static_cast<int>(x.size())), 0);
    ASSERT_EQ(whisper_full_n_segments(c.ctx), 1);
    EXPECT_STREQ(whisper_full_get_segment_text(c.ctx, 0), "t34048");
    const auto& seg = c.ctx->transcriber.segments()[0];
    EXPECT_EQ(seg.t0, 22);  // the timestamp-preference rule forced beg + 11 first
    ASSERT_EQ(seg.tokens.size(), 2u);
    EXPECT_EQ(seg.tokens[0].id, 34048);
    EXPECT_EQ(seg.tokens[1].id, 51274);
}

TEST(SynA, QuantizedVariantsStayCloseToTheReference) {
    struct Case {
        TensorType type;
        float top;
    };
    for (const Case& q : {Case{TensorType::Q8_0, 2.70939f}, Case{TensorType::Q5_0, 2.64908f},
                          Case{TensorType::Q5_1, 2.71095f}, Case{TensorType::Q4_0, 2.61985f},
                          Case{TensorType::Q4_1, 2.72156f}}) {
        SCOPED_TRACE(recognizer::tensorTypeName(q.type));
        Context c(TestModels::synA(q.type));
        ASSERT_TRUE(c.ctx);
        const auto logits = promptLogits(c.ctx, {50258, 50259, 50359}, 3);
        EXPECT_NEAR(logits[16185], q.top, 2e-2);
        const auto top = topIds(logits, 2);
        if (logits[top[0]] - logits[top[1]] > 0.05f) {
            EXPECT_EQ(top[0], 16185);
        }
    }
}

TEST(SynA, TranscriptIsTheSameAtOneAndFourThreads) {
    Context c(TestModels::synA(TensorType::Q5_1));
    // Five seconds of a chirp with noise: a different signal from the reference tone.
    std::vector<float> x(80000);
    uint32_t state = 12345;
    for (size_t i = 0; i < x.size(); ++i) {
        state = state * 1664525u + 1013904223u;
        const double t = i / 16000.0;
        x[i] = static_cast<float>(0.4 * std::sin(2 * M_PI * (200 + 300 * t) * t) + 0.05 * ((state >> 9) / 8388608.0 - 1));
    }
    std::string texts[2];
    std::vector<std::vector<float>> logits;
    for (int run = 0; run < 2; ++run) {
        whisper_full_params p = whisper_full_default_params(WHISPER_SAMPLING_GREEDY);
        p.n_threads = run == 0 ? 1 : 4;
        p.language = "auto";
        p.print_progress = false;
        ASSERT_EQ(whisper_full(c.ctx, p, x.data(), static_cast<int>(x.size())), 0);
        for (int i = 0; i < whisper_full_n_segments(c.ctx); ++i) texts[run] += whisper_full_get_segment_text(c.ctx, i);
    }
    EXPECT_FALSE(texts[0].empty());
    EXPECT_EQ(texts[0], texts[1]);
}

TEST(SynA, BatchedPromptEqualsTokenByTokenDecoding) {
    Context c(TestModels::synA());
    // 20 tokens: long enough for the batched attention path.
    std::vector<int> prompt{50361};
    for (int i = 0; i < 16; ++i) prompt.push_back(300 + 37 * i);
    for (int t : {50258, 50259, 50359}) prompt.push_back(t);
    const auto batched = promptLogits(c.ctx, prompt, 4);
    std::vector<float> sot(batched.size()), stepped(batched.size());
    ASSERT_TRUE(c.ctx->backend.prompt(prompt.data(), 1, 0, sot.data(), stepped.data()));
    const int slot = 0;
    for (size_t i = 1; i < prompt.size(); ++i)
        ASSERT_TRUE(c.ctx->backend.step(&slot, &prompt[i], 1, static_cast<int>(i), stepped.data()));
    float worst = 0;
    for (size_t v = 0; v < batched.size(); ++v) worst = std::max(worst, std::abs(batched[v] - stepped[v]));
    EXPECT_LT(worst, 1e-4f);
}
