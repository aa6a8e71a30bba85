// recognizer-bench: loads a model, transcribes a 16 kHz mono 16-bit WAV and prints one JSON line with the kernel level,
// the load, mel, encoder and decoder times, the peak resident memory and the text.
//   recognizer-bench MODEL WAV [--threads N] [--language CODE] [--no-fallback] [--tokens N]
//                    [--level portable|avx2|avxvnni|avx512|avx512vnni]
// --tokens N also times N single-token decoder steps after the run (default 200), independent of what the model says.
// --level runs on that kernel level (or the one it builds on, where the CPU lacks it) instead of the best one.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "compute/Kernels.h"
#include "core/whisper_context.h"
#include "whisper.h"

namespace {

bool readWav(const std::string& path, std::vector<float>& out, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    std::vector<char> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto u32 = [&](size_t at) {
        uint32_t v;
        memcpy(&v, data.data() + at, 4);
        return v;
    };
    auto u16 = [&](size_t at) {
        uint16_t v;
        memcpy(&v, data.data() + at, 2);
        return v;
    };
    if (data.size() < 12 || memcmp(data.data(), "RIFF", 4) != 0 || memcmp(data.data() + 8, "WAVE", 4) != 0) {
        error = "not a RIFF/WAVE file";
        return false;
    }
    bool fmtOk = false;
    for (size_t at = 12; at + 8 <= data.size();) {
        const uint32_t size = u32(at + 4);
        const size_t body = at + 8;
        if (body + size > data.size()) break;
        if (memcmp(data.data() + at, "fmt ", 4) == 0 && size >= 16) {
            fmtOk = u16(body) == 1 && u16(body + 2) == 1 && u32(body + 4) == 16000 && u16(body + 14) == 16;
            if (!fmtOk) {
                error = "the WAV must be 16-bit PCM, mono, 16 kHz";
                return false;
            }
        } else if (memcmp(data.data() + at, "data", 4) == 0 && fmtOk) {
            out.resize(size / 2);
            for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<int16_t>(u16(body + 2 * i)) / 32768.0f;
            return true;
        }
        at = body + size + (size & 1);
    }
    error = "no PCM data chunk";
    return false;
}

long peakKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return atol(line.c_str() + 6);
    }
    return -1;
}

std::string jsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: recognizer-bench MODEL WAV [--threads N] [--language CODE] [--no-fallback] "
                        "[--tokens N] [--level portable|avx2|avxvnni|avx512|avx512vnni]\n");
        return 2;
    }
    int threads = 4, benchTokens = 200;
    const char* language = "en";
    bool fallback = true;
    for (int i = 3; i < argc; ++i) {
        if (!strcmp(argv[i], "--threads") && i + 1 < argc) {
            threads = atoi(argv[++i]);
        } else if (!strcmp(argv[i], "--language") && i + 1 < argc) {
            language = argv[++i];
        } else if (!strcmp(argv[i], "--tokens") && i + 1 < argc) {
            benchTokens = atoi(argv[++i]);
        } else if (!strcmp(argv[i], "--no-fallback")) {
            fallback = false;
        } else if (!strcmp(argv[i], "--level") && i + 1 < argc) {
            const char* name = argv[++i];
            for (int l = 0; l <= int(recognizer::KernelLevel::Avx512Vnni); ++l) {
                if (!strcmp(name, recognizer::kernelLevelName(recognizer::KernelLevel(l))))
                    recognizer::selectKernelLevel(recognizer::KernelLevel(l));
            }
        }
    }
    std::vector<float> samples;
    std::string error;
    if (!readWav(argv[2], samples, error)) {
        fprintf(stderr, "recognizer-bench: %s\n", error.c_str());
        return 1;
    }
    whisper_context* ctx = whisper_init_from_file(argv[1]);
    if (!ctx) return 1;
    whisper_full_params params = whisper_full_default_params(WHISPER_SAMPLING_GREEDY);
    params.n_threads = threads;
    params.language = language;
    params.print_progress = false;
    if (!fallback) params.temperature_inc = 0;
    whisper_reset_timings(ctx);
    const auto start = std::chrono::steady_clock::now();
    const int rc = whisper_full(ctx, params, samples.data(), static_cast<int>(samples.size()));
    const double totalMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::string text;
    for (int i = 0; i < whisper_full_n_segments(ctx); ++i) text += whisper_full_get_segment_text(ctx, i);
    const recognizer::Timings t = ctx->timings;

    // Fixed-length decoding over the last encoded window: the per-token cost whatever the model emits.
    double stepMs = 0;
    const int n = std::min(benchTokens, ctx->model->hparams.n_text_ctx - 4);
    if (rc == 0 && n > 0) {
        const recognizer::Vocabulary& v = ctx->model->vocab;
        const int prompt[3] = {v.sot(), v.multilingual() ? v.languageToken(0) : v.sot(), v.transcribe()};
        std::vector<float> a(v.size()), b(v.size()), logits(static_cast<size_t>(v.size()));
        ctx->backend.prompt(prompt, 3, 0, a.data(), b.data());
        const int slot = 0, token = 220;
        const auto s = std::chrono::steady_clock::now();
        for (int i = 0; i < n; ++i) ctx->backend.step(&slot, &token, 1, 3 + i, logits.data());
        stepMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - s).count() / n;
    }
    const double encodeMs = t.nEncode ? t.encodeMs / t.nEncode : 0;
    const int decodeTokens = t.nDecode + t.nBatchd;
    printf("{\"model\":%s,\"kernel_level\":\"%s\",\"threads\":%d,\"result\":%d,\"audio_s\":%.2f,\"load_ms\":%.1f,"
           "\"mel_ms\":%.1f,\"encode_ms\":%.1f,\"encode_runs\":%d,\"prompt_ms\":%.1f,\"decode_ms\":%.1f,"
           "\"decode_tokens\":%d,\"decode_ms_per_token\":%.3f,\"step_ms_per_token\":%.3f,\"fallbacks\":%d,"
           "\"total_ms\":%.1f,\"peak_mb\":%.1f,\"text\":%s}\n",
           jsonString(argv[1]).c_str(), recognizer::kernelLevelName(recognizer::kernels().level), threads, rc,
           samples.size() / 16000.0, t.loadMs, t.melMs, encodeMs, t.nEncode, t.promptMs, t.decodeMs + t.batchdMs,
           decodeTokens, decodeTokens ? (t.decodeMs + t.batchdMs) / decodeTokens : 0.0, stepMs, t.nFailP + t.nFailH,
           totalMs, peakKb() / 1024.0, jsonString(text).c_str());
    whisper_free(ctx);
    return rc == 0 ? 0 : 1;
}
