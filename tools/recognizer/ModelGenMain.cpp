// recognizer-modelgen: writes a ggml model file with generated weights, for tests and benchmarks.
//   recognizer-modelgen OUT [--preset tiny|base|small|medium|large|syn-a] [--type f32|f16|q4_0|q4_1|q5_0|q5_1|q8_0]
//                       [--en] [--seed N] [--d N --heads N --enc-layers N --dec-layers N --mels N --vocab N]

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ModelWriter.h"

using recognizer::ModelWriter;
using recognizer::TensorType;

namespace {

bool parseType(const std::string& s, TensorType& t) {
    static const std::pair<const char*, TensorType> types[] = {
        {"f32", TensorType::F32},   {"f16", TensorType::F16},   {"q4_0", TensorType::Q4_0}, {"q4_1", TensorType::Q4_1},
        {"q5_0", TensorType::Q5_0}, {"q5_1", TensorType::Q5_1}, {"q8_0", TensorType::Q8_0}};
    for (const auto& [name, type] : types) {
        if (s == name) {
            t = type;
            return true;
        }
    }
    return false;
}

int usage() {
    fprintf(stderr,
            "usage: recognizer-modelgen OUT [--preset tiny|base|small|medium|large|syn-a] [--type f16|q5_0|...] "
            "[--en] [--seed N] [--d N] [--heads N] [--enc-layers N] [--dec-layers N] [--mels N] [--vocab N]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argv[1][0] == '-') return usage();
    const std::string out = argv[1];
    std::string preset = "tiny";
    TensorType type = TensorType::F16;
    bool english = false;
    uint64_t seed = 1;
    int d = 0, heads = 0, enc = 0, dec = 0, mels = 0, vocab = 0;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        auto number = [&](int& v) {
            if (!next) return false;
            v = atoi(next);
            ++i;
            return true;
        };
        if (a == "--en") {
            english = true;
        } else if (a == "--preset" && next) {
            preset = next;
            ++i;
        } else if (a == "--type" && next) {
            if (!parseType(next, type)) return usage();
            ++i;
        } else if (a == "--seed" && next) {
            seed = strtoull(next, nullptr, 10);
            ++i;
        } else if (!((a == "--d" && number(d)) || (a == "--heads" && number(heads)) ||
                     (a == "--enc-layers" && number(enc)) || (a == "--dec-layers" && number(dec)) ||
                     (a == "--mels" && number(mels)) || (a == "--vocab" && number(vocab)))) {
            return usage();
        }
    }
    recognizer::Hparams hp = ModelWriter::preset(preset, english);
    if (hp.n_audio_state == 0) return usage();
    if (d) hp.n_audio_state = hp.n_text_state = d;
    if (heads) hp.n_audio_head = hp.n_text_head = heads;
    if (enc) hp.n_audio_layer = enc;
    if (dec) hp.n_text_layer = dec;
    if (mels) hp.n_mels = mels;
    if (vocab) hp.n_vocab = vocab;
    ModelWriter writer(hp, type, seed);
    if (!writer.write(out)) {
        fprintf(stderr, "recognizer-modelgen: cannot write '%s'\n", out.c_str());
        return 1;
    }
    return 0;
}
