// The decoding rules of whisper_full, driven by scripted logits.

#include "core/Transcriber.h"

#include <gtest/gtest.h>

#include <map>

#include "ModelWriter.h"
#include "ScriptedBackend.h"
#include "core/Timings.h"
#include "core/Vocabulary.h"

using recognizer::ModelWriter;
using recognizer::Transcriber;
using recognizer::Vocabulary;
using rectest::ScriptedBackend;

namespace {

std::vector<std::string> texts(int nVocab) {
    return ModelWriter(ModelWriter::preset("syn-a", nVocab == 51864)).vocabulary();
}

struct Harness {
    explicit Harness(ScriptedBackend::Script script, int nVocab = 51865)
        : vocab(nVocab, texts(nVocab)), backend(nVocab, std::move(script)), transcriber(vocab, 448, 1500) {
        params = whisper_full_default_params(WHISPER_SAMPLING_GREEDY);
        params.print_progress = false;
    }
    int run(int64_t frames) { return transcriber.run(params, frames, backend, timings, nullptr); }
    std::vector<std::string> segmentTexts() const {
        std::vector<std::string> out;
        for (const auto& s : transcriber.segments()) out.push_back(s.text);
        return out;
    }
    std::vector<std::pair<int64_t, int64_t>> segmentTimes() const {
        std::vector<std::pair<int64_t, int64_t>> out;
        for (const auto& s : transcriber.segments()) out.emplace_back(s.t0, s.t1);
        return out;
    }

    Vocabulary vocab;
    ScriptedBackend backend;
    Transcriber transcriber;
    recognizer::Timings timings;
    whisper_full_params params{};
};

constexpr int kEot = 50257, kSot = 50258, kEn = 50259, kDe = 50261, kTranslate = 50358, kTranscribe = 50359,
              kPrev = 50361, kNosp = 50362, kNot = 50363, kBeg = 50364;

// Emits `tokens` one by one (each with a clear lead), then the end of text.
ScriptedBackend::Script sequence(std::vector<int> tokens) {
    return [tokens](const ScriptedBackend::Query& q, float* logits) {
        if (q.sotRow) return;
        const size_t k = q.generated.size();
        logits[k < tokens.size() ? tokens[k] : kEot] = 10.0f;
    };
}

// Per-window sequences, keyed by the window's first frame.
ScriptedBackend::Script windows(std::map<int64_t, std::vector<int>> bySeek) {
    return [bySeek](const ScriptedBackend::Query& q, float* logits) {
        if (q.sotRow) return;
        const auto& tokens = bySeek.at(q.seek);
        const size_t k = q.generated.size();
        logits[k < tokens.size() ? tokens[k] : kEot] = 10.0f;
    };
}

}  // namespace

TEST(Transcriber, SplitsSegmentsAtTimestampsAndSkipsTheWindowAfterASingleEnding) {
    Harness h(sequence({kBeg, 300, 301, kBeg + 100, kBeg + 100, 302, kBeg + 200}));
    ASSERT_EQ(h.run(1000), 0);
    EXPECT_EQ(h.segmentTexts(), (std::vector<std::string>{"t300t301", "t302"}));
    EXPECT_EQ(h.segmentTimes(), (std::vector<std::pair<int64_t, int64_t>>{{0, 200}, {200, 400}}));
    EXPECT_EQ(h.transcriber.segments()[1].tokens.size(), 2u);  // t302 and its closing timestamp
    // Text then one timestamp ends the window: the rest of the audio is consumed, one window only.
    EXPECT_EQ(h.backend.encodes, (std::vector<int64_t>{0}));
    EXPECT_EQ(h.backend.prompts[0], (std::vector<int>{kSot, kEn, kTranscribe}));
    EXPECT_EQ(h.timings.nFailP, 0);
}

TEST(Transcriber, TimestampsComeInPairsAndNeverGoBack) {
    // The script prefers the timestamp 60 (1.2 s), then fresh text, then the earlier timestamp 20.
    Harness h([](const ScriptedBackend::Query& q, float* logits) {
        if (q.sotRow) return;
        const auto& g = q.generated;
        if (g.size() >= 12) {
            logits[kEot] = 12.0f;
            return;
        }
        logits[kBeg + 60] = 10.0f;
        logits[500 + static_cast<int>(g.size())] = 9.0f;
        logits[kBeg + 20] = 8.0f;
    });
    ASSERT_EQ(h.run(3000), 0);
    const auto& segs = h.transcriber.segments();
    ASSERT_FALSE(segs.empty());
    // Every kept token of the first window, as the second window's prompt carries them after [prev].
    ASSERT_GE(h.backend.prompts.size(), 2u);
    const std::vector<int> all(h.backend.prompts[1].begin() + 1, h.backend.prompts[1].end() - 3);
    int lastTs = 0, pairs = 0;
    for (size_t i = 0; i < all.size(); ++i) {
        if (all[i] < kBeg) continue;
        EXPECT_GE(all[i], lastTs) << "timestamp went back at " << i;
        lastTs = all[i];
        // After a lone timestamp that follows text, the next token is a timestamp or the end.
        if (i >= 1 && all[i - 1] < kBeg && i + 1 < all.size()) {
            EXPECT_GE(all[i + 1], kBeg) << i;
        }
        // After a pair, text.
        if (i >= 1 && all[i - 1] >= kBeg) {
            ++pairs;
            if (i + 1 < all.size()) {
                EXPECT_LT(all[i + 1], kBeg) << i;
            }
        }
    }
    EXPECT_GE(pairs, 2) << testing::PrintToString(all);
    // First token: the initial-timestamp limit removes beg+60, text beats beg+20, whose time starts the segment.
    EXPECT_EQ(all[0], 500);
    EXPECT_EQ(segs[0].t0, 40);
    EXPECT_EQ(segs[0].t1, 120);
}

TEST(Transcriber, FirstTimestampIsLimitedByMaxInitialTs) {
    Harness h([](const ScriptedBackend::Query& q, float* logits) {
        if (q.sotRow) return;
        if (q.generated.empty()) {
            logits[kBeg + 100] = 15.0f;  // 2.00 s: above the 1 s limit
            logits[kBeg + 50] = 12.0f;   // exactly 1.00 s
            return;
        }
        logits[q.generated.size() == 1 ? 400 : q.generated.size() == 2 ? kBeg + 150 : kEot] = 10.0f;
    });
    ASSERT_EQ(h.run(3000), 0);
    ASSERT_EQ(h.transcriber.segments().size(), 1u);
    EXPECT_EQ(h.transcriber.segments()[0].t0, 100);

    Harness off([](const ScriptedBackend::Query& q, float* logits) {
        if (q.sotRow) return;
        if (q.generated.empty()) logits[kBeg + 100] = 15.0f;
        logits[q.generated.size() == 1 ? 400 : q.generated.size() == 2 ? kBeg + 150 : kEot] = 10.0f;
    });
    off.params.max_initial_ts = 0;
    ASSERT_EQ(off.run(3000), 0);
    EXPECT_EQ(off.transcriber.segments()[0].t0, 200);
}

TEST(Transcriber, SuppressesBlankAtTheStartSpecialsAndRequestedTokens) {
    // Preferences in order: eot, " ", "(", the special tokens, then 700.
    auto script = [](const ScriptedBackend::Query& q, float* logits) {
        if (q.sotRow) return;
        if (!q.generated.empty()) {
            logits[kEot] = 10.0f;
            return;
        }
        logits[kEot] = 20.0f;
        logits[int(' ')] = 19.0f;
        logits[int('(')] = 18.0f;
        for (int id : {kSot, kNosp, kPrev, kTranslate, kTranscribe, kNot, kDe}) logits[id] = 17.0f;
        logits[int('!')] = 16.0f;
        logits[700] = 15.0f;
    };
    Harness h(script);
    h.params.no_timestamps = true;
    ASSERT_EQ(h.run(3000), 0);
    EXPECT_EQ(h.segmentTexts(), (std::vector<std::string>{"("}));

    Harness nst(script);
    nst.params.no_timestamps = true;
    nst.params.suppress_nst = true;
    nst.params.suppress_regex = "!";
    ASSERT_EQ(nst.run(3000), 0);
    EXPECT_EQ(nst.segmentTexts(), (std::vector<std::string>{"t700"}));
    // Without timestamps the whole window is one segment from the window start, and the prompt says so.
    EXPECT_EQ(nst.segmentTimes(), (std::vector<std::pair<int64_t, int64_t>>{{0, 3000}}));
    EXPECT_EQ(nst.backend.prompts[0].back(), kNot);
}

TEST(Transcriber, FallsBackToSampledDecodersWhenUnsure) {
    // Flat logits over many text tokens: the greedy result has a low average log probability.
    Harness h([](const ScriptedBackend::Query& q, float* logits) {
        if (q.sotRow) return;
        if (q.generated.size() >= 3) {
            logits[kEot] = 30.0f;
            return;
        }
        for (int id = 1000; id < 1100; ++id) logits[id] = 10.0f;
    });
    h.params.no_timestamps = true;
    ASSERT_EQ(h.run(3000), 0);
    // Every temperature fails the log-probability test; the last result is used anyway.
    EXPECT_EQ(h.timings.nFailP, 5);
    EXPECT_EQ(h.backend.forks, (std::vector<int>{5, 5, 5, 5, 5}));
    EXPECT_EQ(h.backend.prompts.size(), 1u);  // the prompt is decoded once and reused
    ASSERT_EQ(h.transcriber.segments().size(), 1u);

    // A vanishing increment does not mean endless attempts.
    Harness tiny([](const ScriptedBackend::Query& q, float* logits) {
        if (!q.sotRow) logits[q.generated.size() < 3 ? 1000 + static_cast<int>(q.generated.size()) : kEot] = -5.0f;
    });
    tiny.params.no_timestamps = true;
    tiny.params.temperature = 0.5f;
    tiny.params.temperature_inc = 1e-9f;  // lost in rounding: 0.5 + 1e-9 == 0.5
    tiny.params.greedy.best_of = 1;
    ASSERT_EQ(tiny.run(3000), 0);
    EXPECT_EQ(tiny.timings.nFailP, 63);

    Harness once([](const ScriptedBackend::Query& q, float* logits) {
        if (q.sotRow) return;
        for (int id = 1000; id < 1100; ++id) logits[id] = 10.0f;
        if (q.generated.size() >= 3) logits[kEot] = 30.0f;
    });
    once.params.no_timestamps = true;
    once.params.temperature_inc = 0;
    ASSERT_EQ(once.run(3000), 0);
    EXPECT_EQ(once.timings.nFailP, 0);
    EXPECT_TRUE(once.backend.forks.empty());
}

TEST(Transcriber, RepetitionFailsOnEntropyAndNoSpeechSkipsTheWindow) {
    // 40 tokens alternating between two ids: low entropy.
    Harness loop([](const ScriptedBackend::Query& q, float* logits) {
        if (q.sotRow) return;
        logits[q.generated.size() < 40 ? 600 + static_cast<int>(q.generated.size() % 2) : kEot] = 20.0f;
    });
    loop.params.no_timestamps = true;
    loop.params.temperature_inc = 0.6f;  // temperatures 0 and 0.6
    loop.params.greedy.best_of = 2;
    ASSERT_EQ(loop.run(3000), 0);
    EXPECT_EQ(loop.timings.nFailH, 3);  // the greedy decoder, then both sampled ones
    EXPECT_EQ(loop.timings.nFailP, 1);

    // The sot row says "no speech" and the text is unsure: nothing is emitted, no fallback is tried.
    Harness silent([](const ScriptedBackend::Query& q, float* logits) {
        if (q.sotRow) {
            logits[kNosp] = 20.0f;
            return;
        }
        for (int id = 1000; id < 1100; ++id) logits[id] = 10.0f;
        if (q.generated.size() >= 2) logits[kEot] = 30.0f;
    });
    silent.params.no_timestamps = true;
    ASSERT_EQ(silent.run(3000), 0);
    EXPECT_TRUE(silent.transcriber.segments().empty());
    EXPECT_EQ(silent.timings.nFailP, 0);
    EXPECT_TRUE(silent.transcriber.promptPast().empty());
}

TEST(Transcriber, SeeksThroughLongAudioCarryingTheText) {
    Harness h(windows({
        {0, {kBeg, 300, kBeg + 500, kBeg + 500, 301}},  // cut off: resume at the last timestamp (10 s)
        {1000, {kBeg, 302, kBeg + 100}},                 // text then one timestamp: skip the window
        {4000, {kBeg, 303, kBeg + 50}},
    }));
    ASSERT_EQ(h.run(4500), 0);
    EXPECT_EQ(h.backend.encodes, (std::vector<int64_t>{0, 1000, 4000}));
    EXPECT_EQ(h.segmentTexts(), (std::vector<std::string>{"t300", "t302", "t303"}));
    EXPECT_EQ(h.segmentTimes(), (std::vector<std::pair<int64_t, int64_t>>{{0, 1000}, {1000, 1200}, {4000, 4100}}));
    // The second window is conditioned on the first one's kept tokens; the last one (under 5 s left) is not.
    EXPECT_EQ(h.backend.prompts[1],
              (std::vector<int>{kPrev, kBeg, 300, kBeg + 500, kBeg + 500, kSot, kEn, kTranscribe}));
    EXPECT_EQ(h.backend.prompts[2], (std::vector<int>{kSot, kEn, kTranscribe}));
}

TEST(Transcriber, EndsAtTheAudioEndAndClampsTimes) {
    // A timestamp beyond the audio end completes the window; times stop at the end of the audio.
    Harness h(sequence({kBeg, 300, kBeg + 900}));
    ASSERT_EQ(h.run(299), 0);
    EXPECT_EQ(h.segmentTimes(), (std::vector<std::pair<int64_t, int64_t>>{{0, 299}}));
    EXPECT_EQ(h.backend.steps, 2);  // the last timestamp is not fed back

    Harness shortAudio(sequence({300}));
    EXPECT_EQ(shortAudio.run(9), 0);  // under 100 ms: success without segments or work
    EXPECT_TRUE(shortAudio.backend.encodes.empty());

    Harness offset(sequence({kBeg, 300, kBeg + 100}));
    offset.params.offset_ms = 2000;
    offset.params.duration_ms = 1500;
    ASSERT_EQ(offset.run(3000), 0);
    EXPECT_EQ(offset.backend.encodes, (std::vector<int64_t>{200}));
    EXPECT_EQ(offset.segmentTimes(), (std::vector<std::pair<int64_t, int64_t>>{{200, 350}}));
}

TEST(Transcriber, MonotonicRuleSuppressesEarlierTimestamps) {
    Harness h(sequence({kBeg + 10, 300, kBeg + 40, 301, 302, kBeg + 30, 303}));
    h.params.temperature_inc = 0;
    h.params.max_initial_ts = 0;
    // beg+30 is suppressed by the monotonic rule, so the script's choice cannot appear.
    ASSERT_EQ(h.run(3000), 0);
    for (const auto& s : h.transcriber.segments())
        for (const auto& t : s.tokens) EXPECT_NE(t.id, kBeg + 30);
}

TEST(Transcriber, PromptCarriesInitialPromptAndCapsPastTokens) {
    Harness h(sequence({kBeg, 300, kBeg + 100}));
    h.params.initial_prompt = " hello";
    ASSERT_EQ(h.run(3000), 0);
    EXPECT_EQ(h.backend.prompts[0], (std::vector<int>{kPrev, ' ', 'h', 'e', 'l', 'l', 'o', kSot, kEn, kTranscribe}));

    std::vector<int> many(300);
    for (int i = 0; i < 300; ++i) many[i] = 1000 + i;
    Harness capped(sequence({kBeg, 300, kBeg + 100}));
    capped.params.prompt_tokens = many.data();
    capped.params.prompt_n_tokens = 300;
    ASSERT_EQ(capped.run(3000), 0);
    const auto& p = capped.backend.prompts[0];
    ASSERT_EQ(p.size(), 1u + 224u + 3u);
    EXPECT_EQ(p[1], 1000 + 300 - 224);  // the most recent tokens are kept
    capped.params.n_max_text_ctx = 10;
    ASSERT_EQ(capped.run(3000), 0);
    EXPECT_EQ(capped.backend.prompts.back().size(), 1u + 10u + 3u);

    // An empty prompt adds nothing; no_context = false keeps the previous call's text.
    Harness carry(sequence({kBeg, 300, kBeg + 100}));
    carry.params.initial_prompt = "";
    carry.params.no_context = false;
    ASSERT_EQ(carry.run(3000), 0);
    EXPECT_EQ(carry.backend.prompts[0], (std::vector<int>{kSot, kEn, kTranscribe}));
    ASSERT_EQ(carry.run(3000), 0);
    EXPECT_EQ(carry.backend.prompts[1], (std::vector<int>{kPrev, kBeg, 300, kBeg + 100, kSot, kEn, kTranscribe}));
}

TEST(Transcriber, DetectsOrChecksTheLanguageAndTranslates) {
    auto german = [](const ScriptedBackend::Query& q, float* logits) {
        if (q.sotRow) return;
        if (q.prompt == std::vector<int>{kSot}) {
            logits[kDe] = 5.0f;
            logits[kEn] = 4.0f;
            logits[kTranslate] = 9.0f;  // not a language: must not be picked
            return;
        }
        logits[q.generated.empty() ? 300 : kEot] = 10.0f;
    };
    Harness h(german);
    h.params.language = "auto";
    h.params.translate = true;
    h.params.no_timestamps = true;
    ASSERT_EQ(h.run(3000), 0);
    EXPECT_EQ(h.transcriber.languageId(), 2);
    EXPECT_EQ(h.backend.prompts[1], (std::vector<int>{kSot, kDe, kTranslate, kNot}));

    Harness detectOnly(german);
    detectOnly.params.language = nullptr;
    detectOnly.params.detect_language = true;
    ASSERT_EQ(detectOnly.run(3000), 0);
    EXPECT_EQ(detectOnly.transcriber.languageId(), 2);
    EXPECT_TRUE(detectOnly.transcriber.segments().empty());

    Harness unknown(german);
    unknown.params.language = "xx";
    EXPECT_EQ(unknown.run(3000), -3);
    unknown.params.language = "yue";  // only models with 100 languages know it
    EXPECT_EQ(unknown.run(3000), -3);
    EXPECT_TRUE(unknown.backend.encodes.empty());

    // An English-only model never runs detection and has no language or task token.
    Harness english(
        [](const ScriptedBackend::Query& q, float* logits) {
            const int tokens[] = {kBeg - 1, 300, kBeg - 1 + 100, kEot - 1};
            if (!q.sotRow) logits[tokens[std::min<size_t>(q.generated.size(), 3)]] = 10.0f;
        },
        51864);
    english.params.language = "auto";
    ASSERT_EQ(english.run(3000), 0);
    ASSERT_EQ(english.backend.prompts.size(), 1u);
    EXPECT_EQ(english.backend.prompts[0], (std::vector<int>{50257}));
    EXPECT_EQ(english.segmentTexts(), (std::vector<std::string>{"t300"}));
}
