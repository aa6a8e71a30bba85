#pragma once

#include <cstdint>

namespace recognizer {

// The eleven header fields of a model file, in file order.
struct Hparams {
    int32_t n_vocab = 0;
    int32_t n_audio_ctx = 0;
    int32_t n_audio_state = 0;
    int32_t n_audio_head = 0;
    int32_t n_audio_layer = 0;
    int32_t n_text_ctx = 0;
    int32_t n_text_state = 0;
    int32_t n_text_head = 0;
    int32_t n_text_layer = 0;
    int32_t n_mels = 0;
    int32_t ftype = 0;  // quantization version * 1000 + file type
};

}  // namespace recognizer
