#pragma once

// The recognizer's C API: load a ggml model file, transcribe 16 kHz mono float samples, read the segments back.
// One context runs one whisper_full at a time; calls on the same context must not overlap.

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#define WHISPER_SAMPLE_RATE 16000
#define WHISPER_N_FFT 400
#define WHISPER_HOP_LENGTH 160
#define WHISPER_CHUNK_SIZE 30

#ifdef __cplusplus
extern "C" {
#endif

struct whisper_context;
struct whisper_state;

typedef int32_t whisper_token;

typedef struct whisper_token_data {
    whisper_token id;   // token id
    whisper_token tid;  // most probable timestamp token id

    float p;      // probability of the token
    float plog;   // log probability of the token
    float pt;     // probability of the timestamp token
    float ptsum;  // sum of the probabilities of all timestamp tokens

    int64_t t0;  // unused (token-level timestamps are not computed)
    int64_t t1;
    int64_t t_dtw;

    float vlen;
} whisper_token_data;

enum whisper_sampling_strategy {
    WHISPER_SAMPLING_GREEDY,
    WHISPER_SAMPLING_BEAM_SEARCH,  // accepted, decoded greedily
};

typedef void (*whisper_new_segment_callback)(struct whisper_context* ctx, struct whisper_state* state, int n_new,
                                             void* user_data);
typedef void (*whisper_progress_callback)(struct whisper_context* ctx, struct whisper_state* state, int progress,
                                          void* user_data);
// Returning false stops the run before the encoder starts.
typedef bool (*whisper_encoder_begin_callback)(struct whisper_context* ctx, struct whisper_state* state,
                                               void* user_data);
// Returning true stops the run.
typedef bool (*ggml_abort_callback)(void* data);
// May change the logits of the next token before the timestamp rules are applied.
typedef void (*whisper_logits_filter_callback)(struct whisper_context* ctx, struct whisper_state* state,
                                               const whisper_token_data* tokens, int n_tokens, float* logits,
                                               void* user_data);

struct whisper_grammar_element;

struct whisper_full_params {
    enum whisper_sampling_strategy strategy;

    int n_threads;
    int n_max_text_ctx;  // max tokens of earlier text used as the prompt
    int offset_ms;       // start offset in ms
    int duration_ms;     // audio duration to process in ms (0: to the end)

    bool translate;
    bool no_context;     // forget the text of earlier calls
    bool no_timestamps;  // decode without timestamp tokens
    bool single_segment;
    bool print_special;
    bool print_progress;
    bool print_realtime;  // print each segment to stdout as it is decoded
    bool print_timestamps;

    // Not implemented; kept so that callers written against the full API compile.
    bool token_timestamps;
    float thold_pt;
    float thold_ptsum;
    int max_len;
    bool split_on_word;

    int max_tokens;  // max tokens per window (0: no limit)

    bool speed_up;  // not implemented; ignored
    bool debug_mode;
    int audio_ctx;  // 0 or the model's own size; smaller values are not supported

    bool tdrz_enable;  // not implemented

    const char* suppress_regex;  // tokens whose text fully matches this are never sampled

    const char* initial_prompt;
    const whisper_token* prompt_tokens;
    int prompt_n_tokens;

    const char* language;  // code such as "en"; NULL, "" or "auto" detects it
    bool detect_language;  // detect the language, then return without transcribing

    bool suppress_blank;
    bool suppress_nst;  // suppress non-speech tokens

    float temperature;
    float max_initial_ts;
    float length_penalty;

    float temperature_inc;
    float entropy_thold;
    float logprob_thold;
    float no_speech_thold;

    struct {
        int best_of;
    } greedy;

    struct {
        int beam_size;
        float patience;
    } beam_search;

    whisper_new_segment_callback new_segment_callback;
    void* new_segment_callback_user_data;

    whisper_progress_callback progress_callback;
    void* progress_callback_user_data;

    whisper_encoder_begin_callback encoder_begin_callback;
    void* encoder_begin_callback_user_data;

    ggml_abort_callback abort_callback;
    void* abort_callback_user_data;

    whisper_logits_filter_callback logits_filter_callback;
    void* logits_filter_callback_user_data;

    // Not implemented.
    const struct whisper_grammar_element** grammar_rules;
    size_t n_grammar_rules;
    size_t i_start_rule;
    float grammar_penalty;
};

// Loads a ggml model file; NULL (with a diagnostic, see whisper_log_set) when it cannot be read or is not a valid
// model.
struct whisper_context* whisper_init_from_file(const char* path_model);
void whisper_free(struct whisper_context* ctx);

struct whisper_full_params whisper_full_default_params(enum whisper_sampling_strategy strategy);

// Runs the whole transcription over the samples; 0 on success, a negative code on failure.
int whisper_full(struct whisper_context* ctx, struct whisper_full_params params, const float* samples, int n_samples);

int whisper_full_n_segments(struct whisper_context* ctx);
// The text of segment i, owned by the context and valid until the next whisper_full or whisper_free; "" when i is out
// of range.
const char* whisper_full_get_segment_text(struct whisper_context* ctx, int i_segment);

void whisper_reset_timings(struct whisper_context* ctx);
void whisper_print_timings(struct whisper_context* ctx);

enum ggml_log_level {
    GGML_LOG_LEVEL_ERROR = 2,
    GGML_LOG_LEVEL_INFO = 4,
};
typedef void (*ggml_log_callback)(enum ggml_log_level level, const char* text, void* user_data);
// Where the recognizer's diagnostics (its errors, the timings) go: each line, without its newline, to `log_callback`
// on the thread that reports it; NULL sends them to stderr again, as before any call. Any thread.
void whisper_log_set(ggml_log_callback log_callback, void* user_data);

#ifdef __cplusplus
}
#endif
