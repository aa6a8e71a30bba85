#include "core/Transcriber.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <regex>

#include "core/DecoderBackend.h"
#include "core/Log.h"
#include "core/Timings.h"
#include "core/Vocabulary.h"

namespace recognizer {

namespace {

constexpr int kWindowFrames = 3000;  // 30 s of 10 ms mel frames
constexpr size_t kMaxTemperatures = 64;

// Symbols that are not speech; with suppress_nst they are never sampled, alone or after a space.
const char* const kNonSpeech[] = {
    "\"", "#", "(", ")", "*", "+", "/", ":", ";", "<", "=", ">", "@", "[", "\\", "]", "^", "_", "`", "{", "|", "}",
    "~", "「", "」", "『", "』", "<<", ">>", "<<<", ">>>", "--", "---", "-(", "-[", "('", "(\"", "((", "))", "(((",
    ")))", "[[", "]]", "{{", "}}", "♪♪", "♪♪♪", "♩", "♪", "♫", "♬", "♭", "♮", "♯",
};

std::string timestamp(int64_t t) {
    int64_t ms = t * 10;
    const int64_t hr = ms / 3600000;
    ms -= hr * 3600000;
    const int64_t min = ms / 60000;
    ms -= min * 60000;
    const int64_t sec = ms / 1000;
    ms -= sec * 1000;
    char buf[64];
    snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", static_cast<int>(hr), static_cast<int>(min),
             static_cast<int>(sec), static_cast<int>(ms));
    return buf;
}

}  // namespace

Transcriber::Transcriber(const Vocabulary& vocab, int nTextCtx, int nAudioCtx)
    : vocab_(vocab), nTextCtx_(nTextCtx), nAudioCtx_(nAudioCtx), nVocab_(vocab.size()) {
    space_ = vocab.find(" ");
    for (auto* b : {&sotLogits_, &lastLogits_, &logits_, &logprobs_, &probs_}) b->resize(nVocab_);
    stepLogits_.resize(static_cast<size_t>(kMaxDecoders) * nVocab_);
    for (auto& d : decoders_) d.tokens.reserve(nTextCtx_);
}

int Transcriber::detectLanguage(DecoderBackend& backend) {
    if (!vocab_.multilingual()) {
        logInfo("whisper_full", "the model is English-only; using language 'en'");
        return 0;
    }
    const int sot = vocab_.sot();
    if (!backend.encode(0) || !backend.prompt(&sot, 1, 0, sotLogits_.data(), lastLogits_.data())) return -1;
    int best = 0;
    float maxLogit = -INFINITY;
    for (int i = 0; i < vocab_.numLanguages(); ++i) maxLogit = std::max(maxLogit, lastLogits_[vocab_.languageToken(i)]);
    double sum = 0;
    for (int i = 0; i < vocab_.numLanguages(); ++i) {
        sum += std::exp(lastLogits_[vocab_.languageToken(i)] - maxLogit);
        if (lastLogits_[vocab_.languageToken(i)] > lastLogits_[vocab_.languageToken(best)]) best = i;
    }
    logInfo("whisper_full", "auto-detected language: %s (p = %f)", Vocabulary::languageCode(best), 1.0 / sum);
    return best;
}

void Transcriber::buildSuppression(const whisper_full_params& params) {
    suppressed_.assign(nVocab_, 0);
    if (params.suppress_regex && *params.suppress_regex) {
        try {
            const std::regex re(params.suppress_regex);
            for (int id = 0; id < vocab_.eot(); ++id) {
                const std::string_view t = vocab_.text(id);
                if (std::regex_match(t.begin(), t.end(), re)) suppressed_[id] = 1;
            }
        } catch (const std::regex_error&) {
            logError("whisper_full", "invalid suppress_regex '%s'; nothing suppressed by it", params.suppress_regex);
        }
    }
    if (params.suppress_nst) {
        for (const char* s : kNonSpeech) {
            for (const std::string& t : {std::string(s), std::string(" ").append(s)}) {
                const int id = vocab_.find(t);
                if (id >= 0 && id < vocab_.eot()) suppressed_[id] = 1;
            }
        }
        for (const char* s : {" -", " '"}) {
            const int id = vocab_.find(s);
            if (id >= 0 && id < vocab_.eot()) suppressed_[id] = 1;
        }
    }
}

void Transcriber::filterLogits(const whisper_full_params& params, const DecoderState& dec, const float* raw,
                               float temperature, whisper_context* ctx) {
    float* logits = logits_.data();
    const int beg = vocab_.beg(), eot = vocab_.eot();
    if (temperature > 0) {
        for (int i = 0; i < nVocab_; ++i) logits[i] = raw[i] / temperature;
    } else {
        memcpy(logits, raw, sizeof(float) * nVocab_);
    }
    const bool initial = dec.tokens.empty();
    if (params.suppress_blank && initial) {
        logits[eot] = -INFINITY;
        if (space_ >= 0) logits[space_] = -INFINITY;
    }
    logits[vocab_.notimestamps()] = -INFINITY;
    if (params.no_timestamps) std::fill(logits + beg, logits + nVocab_, -INFINITY);
    for (int id : {vocab_.sot(), vocab_.nosp(), vocab_.prev(), vocab_.translate(), vocab_.transcribe()})
        logits[id] = -INFINITY;
    if (!params.tdrz_enable) logits[vocab_.solm()] = -INFINITY;
    for (int id = vocab_.sot() + 1; id <= vocab_.sot() + 100 && id < beg; ++id) logits[id] = -INFINITY;
    if (params.logits_filter_callback) {
        params.logits_filter_callback(ctx, nullptr, dec.tokens.data(), static_cast<int>(dec.tokens.size()), logits,
                                      params.logits_filter_callback_user_data);
    }
    for (int id = 0; id < nVocab_; ++id) {
        if (suppressed_[id]) logits[id] = -INFINITY;
    }
    // Timestamps come in pairs: after one that closes a segment, text or the end must follow; after a pair, text.
    const size_t n = dec.tokens.size();
    const bool last = n >= 1 && dec.tokens[n - 1].id >= beg;
    const bool penult = n < 2 || dec.tokens[n - 2].id >= beg;
    if (last) {
        if (penult) {
            std::fill(logits + beg, logits + nVocab_, -INFINITY);
        } else {
            std::fill(logits, logits + eot, -INFINITY);
        }
    }
    if (initial && params.max_initial_ts > 0) {
        const float precision = 30.0f / nAudioCtx_;
        const int tid0 = static_cast<int>(std::min(std::round(params.max_initial_ts / precision), 1500.0f));
        for (int id = beg + tid0 + 1; id < nVocab_; ++id) logits[id] = -INFINITY;
    }
    // Timestamps never go back; repeating the last one is allowed.
    if (dec.hasTs) {
        for (int id = beg; id < beg + dec.seekDelta / 2 && id < nVocab_; ++id) logits[id] = -INFINITY;
    }
    float maxLogit = -INFINITY;
    for (int i = 0; i < nVocab_; ++i) maxLogit = std::max(maxLogit, logits[i]);
    double sum = 0;
    if (maxLogit > -INFINITY) {
        for (int i = 0; i < nVocab_; ++i) sum += std::exp(static_cast<double>(logits[i] - maxLogit));
    }
    const float logSum = static_cast<float>(std::log(sum)) + maxLogit;
    for (int i = 0; i < nVocab_; ++i) logprobs_[i] = logits[i] == -INFINITY ? -INFINITY : logits[i] - logSum;
    // When the timestamps together are more likely than any single text token, sample a timestamp.
    {
        float maxTs = -INFINITY;
        for (int i = beg; i < nVocab_; ++i) maxTs = std::max(maxTs, logprobs_[i]);
        double tsSum = 0;
        if (maxTs > -INFINITY) {
            for (int i = beg; i < nVocab_; ++i) tsSum += std::exp(static_cast<double>(logprobs_[i] - maxTs));
        }
        const float tsLogSum = maxTs > -INFINITY ? static_cast<float>(std::log(tsSum)) + maxTs : -INFINITY;
        float maxText = -INFINITY;
        for (int i = 0; i < beg; ++i) maxText = std::max(maxText, logprobs_[i]);
        if (tsLogSum > maxText) {
            std::fill(logits, logits + beg, -INFINITY);
            std::fill(logprobs_.begin(), logprobs_.begin() + beg, -INFINITY);
        }
    }
    for (int i = 0; i < nVocab_; ++i) probs_[i] = logits[i] == -INFINITY ? 0.0f : std::exp(logprobs_[i]);
}

whisper_token_data Transcriber::sample(bool greedy, int decoderIndex) {
    const int beg = vocab_.beg();
    int id = 0;
    if (greedy) {
        float best = -1.0f;
        for (int i = 0; i < nVocab_; ++i) {
            if (probs_[i] > best) {
                best = probs_[i];
                id = i;
            }
        }
    } else {
        double total = 0;
        for (int i = 0; i < nVocab_; ++i) total += probs_[i];
        std::uniform_real_distribution<double> uniform(0.0, total);
        double r = uniform(rng_[decoderIndex]);
        id = -1;
        for (int i = 0; i < nVocab_; ++i) {
            if (probs_[i] <= 0) continue;
            id = i;
            r -= probs_[i];
            if (r < 0) break;
        }
        if (id < 0) id = 0;
    }
    whisper_token_data td{};
    td.id = id;
    td.p = probs_[id];
    td.plog = logprobs_[id];
    double sumTs = 0, maxTs = 0;
    for (int i = beg; i < nVocab_; ++i) {
        sumTs += probs_[i];
        if (probs_[i] > maxTs) {
            maxTs = probs_[i];
            td.tid = i;
        }
    }
    td.pt = static_cast<float>(maxTs / (sumTs + 1e-10));
    td.ptsum = static_cast<float>(sumTs);
    if (id >= beg) {
        td.tid = id;
        td.pt = td.p;
    }
    return td;
}

void Transcriber::emitSegments(const whisper_full_params& params, const std::vector<whisper_token_data>& tokens,
                               int64_t seek, int64_t seekDelta, int64_t seekEnd, whisper_context* ctx) {
    if (tokens.empty()) return;
    const int beg = vocab_.beg(), eot = vocab_.eot();
    const size_t before = segments_.size();
    // A token without a timestamp estimate starts the segment at the window start.
    auto timeOf = [&](const whisper_token_data& t) {
        return std::min(t.tid >= beg ? seek + 2 * (t.tid - beg) : seek, seekEnd);
    };
    auto push = [&](int64_t t0, int64_t t1, std::string text, size_t i0, size_t i1) {
        Segment s{t0, std::min(t1, seekEnd), std::move(text), {}};
        s.tokens.assign(tokens.begin() + i0, tokens.begin() + i1);
        if (params.print_realtime) {
            if (params.print_timestamps) {
                printf("[%s --> %s]  %s\n", timestamp(s.t0).c_str(), timestamp(s.t1).c_str(), s.text.c_str());
            } else {
                printf("%s", s.text.c_str());
            }
            fflush(stdout);
        }
        segments_.push_back(std::move(s));
    };
    int64_t t0 = timeOf(tokens[0]);
    std::string text;
    size_t i0 = 0;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const int id = tokens[i].id;
        if (params.print_special) {
            text += vocab_.displayText(id);
        } else if (id < eot) {
            text += vocab_.text(id);
        }
        if (id > beg && !params.single_segment) {
            const int64_t t1 = timeOf(tokens[i]);
            if (!text.empty()) push(t0, t1, std::move(text), i0, i + 1);
            text.clear();
            while (i + 1 < tokens.size() && tokens[i + 1].id > beg) ++i;
            t0 = t1;
            i0 = i + 1;
        }
    }
    if (!text.empty()) push(t0, seek + seekDelta, std::move(text), i0, tokens.size());
    const int added = static_cast<int>(segments_.size() - before);
    if (added > 0 && params.new_segment_callback)
        params.new_segment_callback(ctx, nullptr, added, params.new_segment_callback_user_data);
}

int Transcriber::run(const whisper_full_params& params, int64_t audioFrames, DecoderBackend& backend,
                     Timings& timings, whisper_context* ctx) {
    segments_.clear();
    // Same input, same result: the sampling decoders restart their random sequences on every run.
    for (int i = 0; i < kMaxDecoders; ++i) rng_[i].seed(i);
    const int beg = vocab_.beg(), eot = vocab_.eot();
    const char* language = params.language;
    const bool autoLanguage = !language || !*language || strcmp(language, "auto") == 0;
    if (autoLanguage || params.detect_language) {
        langId_ = detectLanguage(backend);
        if (langId_ < 0) {
            logError("whisper_full", "failed to detect the language");
            return -3;
        }
        if (params.detect_language) return 0;
    } else {
        langId_ = vocab_.languageId(language);
        if (langId_ < 0) {
            logError("whisper_full", "unknown language '%s'", language);
            return -3;
        }
    }

    const int64_t seekStart = std::max(params.offset_ms, 0) / 10;
    int64_t seekEnd = params.duration_ms > 0 ? seekStart + params.duration_ms / 10 : audioFrames;
    seekEnd = std::min(seekEnd, audioFrames);
    if (seekEnd < seekStart + 10) {
        logInfo("whisper_full", "input is too short - %d ms < 100 ms", static_cast<int>((seekEnd - seekStart) * 10));
        return 0;
    }

    std::vector<float> temperatures;
    if (params.temperature_inc > 0) {
        // A tiny increment would otherwise mean millions of attempts per window.
        for (float t = params.temperature; t < 1.0f + 1e-6f && temperatures.size() < kMaxTemperatures;
             t += params.temperature_inc)
            temperatures.push_back(t);
    }
    if (temperatures.empty()) temperatures.push_back(params.temperature);
    const int bestOf = std::max(1, params.greedy.best_of);
    if (bestOf > kMaxDecoders) {
        logError("whisper_full", "too many decoders requested (%d, max %d)", bestOf, kMaxDecoders);
        return -4;
    }

    if (params.no_context) promptPast_.clear();
    std::vector<int> initial;
    if (params.prompt_tokens && params.prompt_n_tokens > 0) {
        for (int i = 0; i < params.prompt_n_tokens; ++i) {
            if (params.prompt_tokens[i] < 0 || params.prompt_tokens[i] >= nVocab_) {
                logError("whisper_full", "prompt token %d is out of range", params.prompt_tokens[i]);
                return -1;
            }
        }
        initial.assign(params.prompt_tokens, params.prompt_tokens + params.prompt_n_tokens);
    } else if (params.initial_prompt && *params.initial_prompt) {
        initial = vocab_.tokenize(params.initial_prompt);
    }
    promptPast_.insert(promptPast_.begin(), initial.begin(), initial.end());

    std::vector<int> promptInit{vocab_.sot()};
    if (vocab_.multilingual()) {
        promptInit.push_back(vocab_.languageToken(langId_));
        promptInit.push_back(params.translate ? vocab_.translate() : vocab_.transcribe());
    }
    if (params.no_timestamps) promptInit.push_back(vocab_.notimestamps());

    buildSuppression(params);
    const int nMax = nTextCtx_ / 2 - 4;
    std::vector<int> prompt, lastPrompt;
    prompt.reserve(nTextCtx_);
    int active[kMaxDecoders], activeTokens[kMaxDecoders];
    int64_t seek = seekStart;

    while (seek + 10 < seekEnd) {
        if (params.progress_callback) {
            const int progress = static_cast<int>(100 * (seek - seekStart) / (seekEnd - seekStart));
            params.progress_callback(ctx, nullptr, progress, params.progress_callback_user_data);
        }
        if (params.encoder_begin_callback &&
            !params.encoder_begin_callback(ctx, nullptr, params.encoder_begin_callback_user_data)) {
            logError("whisper_full", "encoder_begin_callback returned false - aborting");
            return -6;
        }
        if ((params.abort_callback && params.abort_callback(params.abort_callback_user_data)) ||
            !backend.encode(seek)) {
            logError("whisper_full", "failed to encode the window at %lld ms", static_cast<long long>(seek * 10));
            return -6;
        }
        // Close to the end, earlier text no longer helps.
        if (seek > seekStart && seek + 500 >= seekEnd) promptPast_.clear();
        lastPrompt.clear();

        int best = 0;
        float noSpeechProb = 0;
        for (size_t it = 0; it < temperatures.size(); ++it) {
            const float t = temperatures[it];
            const int nDecoders = t > 0 ? bestOf : 1;
            prompt.clear();
            const int nTake = std::min({params.n_max_text_ctx, nTextCtx_ / 2, static_cast<int>(promptPast_.size())});
            if (!promptPast_.empty() && t < 0.5f && nTake > 0) {
                prompt.push_back(vocab_.prev());
                prompt.insert(prompt.end(), promptPast_.end() - nTake, promptPast_.end());
            }
            const int sotIndex = static_cast<int>(prompt.size());
            prompt.insert(prompt.end(), promptInit.begin(), promptInit.end());
            // The cache still holds the same prompt from the previous temperature: reuse it.
            if (prompt != lastPrompt) {
                if (!backend.prompt(prompt.data(), static_cast<int>(prompt.size()), sotIndex, sotLogits_.data(),
                                    lastLogits_.data())) {
                    logError("whisper_full", "failed to decode the prompt");
                    return -8;
                }
                lastPrompt = prompt;
            }
            {
                const int nosp = vocab_.nosp();
                const float m = *std::max_element(sotLogits_.begin(), sotLogits_.end());
                double sum = 0;
                for (float v : sotLogits_) sum += std::exp(static_cast<double>(v - m));
                noSpeechProb = static_cast<float>(std::exp(static_cast<double>(sotLogits_[nosp] - m)) / sum);
            }
            if (nDecoders > 1) backend.fork(nDecoders, static_cast<int>(prompt.size()));
            for (int j = 0; j < nDecoders; ++j) {
                DecoderState& d = decoders_[j];
                d.tokens.clear();
                d.seekDelta = kWindowFrames;
                d.resultLen = 0;
                d.hasTs = false;
                d.failed = false;
                d.completed = false;
                d.sumLogprobs = d.avgLogprobs = d.score = d.entropy = 0;
                d.logits = lastLogits_.data();
            }
            for (int i = 0; i < nMax; ++i) {
                if (params.abort_callback && params.abort_callback(params.abort_callback_user_data)) {
                    logError("whisper_full", "aborted");
                    return -8;
                }
                int nActive = 0;
                for (int j = 0; j < nDecoders; ++j) {
                    DecoderState& d = decoders_[j];
                    if (d.failed || d.completed) continue;
                    filterLogits(params, d, d.logits, t, ctx);
                    const whisper_token_data td = sample(t <= 0, j);
                    d.tokens.push_back(td);
                    if (td.id > beg) {
                        const int at = 2 * (td.id - beg);
                        if (d.hasTs && d.seekDelta > at && d.resultLen < i) {
                            d.failed = true;  // going back in time
                            continue;
                        }
                        d.seekDelta = at;
                        d.resultLen = i + 1;
                        d.hasTs = true;
                    }
                    const bool atEnd = seek + d.seekDelta + 10 >= seekEnd;
                    if (td.id == eot || (params.max_tokens > 0 && i >= params.max_tokens) || (d.hasTs && atEnd)) {
                        if (d.resultLen == 0 && !params.no_timestamps) {
                            if (atEnd) {
                                d.resultLen = i + 1;
                            } else {
                                d.failed = true;
                                continue;
                            }
                        }
                        if (params.single_segment || params.no_timestamps) {
                            d.resultLen = i + 1;
                            d.seekDelta = kWindowFrames;
                        }
                        d.completed = true;
                        continue;
                    }
                    // The window is full: it must have moved at least half-way, or it is repeating itself.
                    if (i == nMax - 1 && (d.resultLen == 0 || d.seekDelta < kWindowFrames / 2)) {
                        d.failed = true;
                        continue;
                    }
                    active[nActive] = j;
                    activeTokens[nActive] = td.id;
                    ++nActive;
                }
                if (nActive == 0 || i == nMax - 1) break;
                if (!backend.step(active, activeTokens, nActive, static_cast<int>(prompt.size()) + i,
                                  stepLogits_.data())) {
                    logError("whisper_full", "failed to decode token %d", i);
                    return -9;
                }
                for (int k = 0; k < nActive; ++k) decoders_[active[k]].logits = stepLogits_.data() + k * nVocab_;
            }

            best = 0;
            double bestScore = -INFINITY;
            for (int j = 0; j < nDecoders; ++j) {
                DecoderState& d = decoders_[j];
                if (d.failed) continue;
                d.tokens.resize(d.resultLen);
                const int len = d.resultLen;
                for (const auto& td : d.tokens) d.sumLogprobs += td.plog;
                d.avgLogprobs = len > 0 ? d.sumLogprobs / len : -INFINITY;
                d.score = params.length_penalty <= 0 || len == 0
                              ? d.avgLogprobs
                              : d.sumLogprobs / std::pow((5.0 + len) / 6.0, params.length_penalty);
                // Entropy of the last 32 tokens: a low value means the decoder loops over a few tokens.
                const int window = std::min(len, 32);
                int ids[32];
                for (int k = 0; k < window; ++k) ids[k] = d.tokens[len - window + k].id;
                std::sort(ids, ids + window);
                double entropy = 0;
                for (int k = 0; k < window;) {
                    int e = k;
                    while (e < window && ids[e] == ids[k]) ++e;
                    const double p = static_cast<double>(e - k) / window;
                    entropy -= p * std::log(p);
                    k = e;
                }
                d.entropy = entropy;
                if (len > 32 && entropy < params.entropy_thold) {
                    d.failed = true;
                    ++timings.nFailH;
                    continue;
                }
                if (d.score > bestScore) {
                    bestScore = d.score;
                    best = j;
                }
            }
            if (it + 1 == temperatures.size()) break;
            const DecoderState& b = decoders_[best];
            if (b.failed || (b.avgLogprobs < params.logprob_thold && noSpeechProb < params.no_speech_thold)) {
                ++timings.nFailP;
                continue;
            }
            break;
        }

        const DecoderState& chosen = decoders_[best];
        const bool noSpeech = noSpeechProb > params.no_speech_thold && chosen.avgLogprobs < params.logprob_thold;
        const auto& tokens = chosen.tokens;
        if (!noSpeech) emitSegments(params, tokens, seek, chosen.seekDelta, seekEnd, ctx);
        int64_t seekDelta = chosen.seekDelta;
        const size_t n = tokens.size();
        if (n >= 2 && tokens[n - 2].id < beg && tokens[n - 1].id > beg)
            seekDelta = std::min<int64_t>(seekEnd - seek, kWindowFrames);  // a segment ends here: skip the window
        seek += seekDelta;

        std::vector<int> past;
        if (!prompt.empty() && prompt[0] == vocab_.prev())
            past.assign(prompt.begin() + 1, prompt.end() - static_cast<std::ptrdiff_t>(promptInit.size()));
        if (!noSpeech) {
            for (const auto& td : tokens) {
                if (td.id != eot) past.push_back(td.id);
            }
        }
        promptPast_ = std::move(past);
    }
    return 0;
}

}  // namespace recognizer
