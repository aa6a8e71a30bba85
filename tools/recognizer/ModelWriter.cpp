#include "ModelWriter.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "compute/Quantization.h"

namespace recognizer {

namespace {

uint64_t fnv1a(const std::string& s) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : s) {
        h ^= c;
        h *= 0x100000001b3ull;
    }
    return h;
}

uint64_t splitmix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

bool endsWith(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

double hzToMel(double f) {
    const double logstep = std::log(6.4) / 27.0;
    return f < 1000.0 ? f / (200.0 / 3.0) : 15.0 + std::log(f / 1000.0) / logstep;
}

double melToHz(double m) {
    const double logstep = std::log(6.4) / 27.0;
    return m < 15.0 ? m * (200.0 / 3.0) : 1000.0 * std::exp(logstep * (m - 15.0));
}

}  // namespace

Hparams ModelWriter::preset(const std::string& name, bool englishOnly) {
    struct Dims {
        const char* name;
        int d, heads, layers;
    };
    static const Dims dims[] = {{"tiny", 384, 6, 4},     {"base", 512, 8, 6},       {"small", 768, 12, 12},
                                {"medium", 1024, 16, 24}, {"large", 1280, 20, 32}, {"syn-a", 64, 4, 3}};
    Hparams hp;
    hp.n_vocab = englishOnly ? 51864 : 51865;
    hp.n_audio_ctx = 1500;
    hp.n_text_ctx = 448;
    hp.n_mels = 80;
    hp.ftype = 1;
    for (const Dims& d : dims) {
        if (name == d.name) {
            hp.n_audio_state = hp.n_text_state = d.d;
            hp.n_audio_head = hp.n_text_head = d.heads;
            hp.n_audio_layer = hp.n_text_layer = d.layers;
        }
    }
    return hp;
}

ModelWriter::ModelWriter(const Hparams& hp, TensorType type, uint64_t seedValue)
    : hparams(hp), matrixType(type), seed(seedValue) {
    static const int ftypeOf[] = {0, 1, 2, 3, -1, -1, 8, 9, 7};  // by tensor type id
    hparams.ftype = (isQuantized(type) ? 2000 : 0) + ftypeOf[static_cast<int>(type)];
}

std::vector<ModelWriter::Tensor> ModelWriter::tensors() const {
    const Hparams& hp = hparams;
    const int64_t d = hp.n_audio_state;
    const TensorType conv = matrixType == TensorType::F32 ? TensorType::F32 : TensorType::F16;
    std::vector<Tensor> list;
    auto add = [&](const std::string& name, std::vector<int64_t> ne, TensorType type) {
        list.push_back({name, std::move(ne), type});
    };
    auto attention = [&](const std::string& p) {
        add(p + ".query.weight", {d, d}, matrixType);
        add(p + ".query.bias", {d}, TensorType::F32);
        add(p + ".key.weight", {d, d}, matrixType);
        add(p + ".value.weight", {d, d}, matrixType);
        add(p + ".value.bias", {d}, TensorType::F32);
        add(p + ".out.weight", {d, d}, matrixType);
        add(p + ".out.bias", {d}, TensorType::F32);
    };
    auto norm = [&](const std::string& p) {
        add(p + ".weight", {d}, TensorType::F32);
        add(p + ".bias", {d}, TensorType::F32);
    };
    auto mlp = [&](const std::string& p) {
        add(p + ".0.weight", {d, 4 * d}, matrixType);
        add(p + ".0.bias", {4 * d}, TensorType::F32);
        add(p + ".2.weight", {4 * d, d}, matrixType);
        add(p + ".2.bias", {d}, TensorType::F32);
    };
    add("encoder.positional_embedding", {d, hp.n_audio_ctx}, TensorType::F32);
    add("encoder.conv1.weight", {3, hp.n_mels, d}, conv);
    add("encoder.conv1.bias", {1, d}, TensorType::F32);
    add("encoder.conv2.weight", {3, d, d}, conv);
    add("encoder.conv2.bias", {1, d}, TensorType::F32);
    for (int i = 0; i < hp.n_audio_layer; ++i) {
        const std::string p = "encoder.blocks." + std::to_string(i);
        attention(p + ".attn");
        norm(p + ".attn_ln");
        mlp(p + ".mlp");
        norm(p + ".mlp_ln");
    }
    norm("encoder.ln_post");
    add("decoder.positional_embedding", {d, hp.n_text_ctx}, TensorType::F32);
    add("decoder.token_embedding.weight", {d, hp.n_vocab}, matrixType);
    for (int i = 0; i < hp.n_text_layer; ++i) {
        const std::string p = "decoder.blocks." + std::to_string(i);
        attention(p + ".attn");
        norm(p + ".attn_ln");
        attention(p + ".cross_attn");
        norm(p + ".cross_attn_ln");
        mlp(p + ".mlp");
        norm(p + ".mlp_ln");
    }
    norm("decoder.ln");
    return list;
}

std::vector<std::string> ModelWriter::vocabulary() const {
    std::vector<std::string> v(vocabCount);
    for (int i = 0; i < vocabCount; ++i) {
        if (i < 256) {
            v[i] = std::string(1, static_cast<char>(i));
        } else if (i == 50256 && hparams.n_vocab >= 51865) {
            v[i].clear();
        } else {
            v[i] = "t" + std::to_string(i);
        }
    }
    return v;
}

std::vector<float> ModelWriter::slaneyFilters(int nMels) {
    const int bins = 201;
    std::vector<double> hz(nMels + 2);
    const double lo = hzToMel(0.0), hi = hzToMel(8000.0);
    const double step = (hi - lo) / (nMels + 1);
    for (int i = 0; i < nMels + 2; ++i) hz[i] = melToHz(i == nMels + 1 ? hi : lo + i * step);
    std::vector<float> w(static_cast<size_t>(nMels) * bins);
    for (int m = 0; m < nMels; ++m) {
        const double norm = 2.0 / (hz[m + 2] - hz[m]);
        for (int k = 0; k < bins; ++k) {
            const double f = k * 8000.0 / 200.0;
            const double lower = (f - hz[m]) / (hz[m + 1] - hz[m]);
            const double upper = (hz[m + 2] - f) / (hz[m + 2] - hz[m + 1]);
            const float tri = static_cast<float>(std::max(0.0, std::min(lower, upper)));
            w[m * bins + k] = static_cast<float>(tri * norm);
        }
    }
    return w;
}

namespace {

// The values of one tensor, with what depends on its name and shape worked out once rather than per value.
class TensorValues {
public:
    TensorValues(const std::string& name, const std::vector<int64_t>& ne, uint64_t seed) : base_(fnv1a(name) + seed) {
        if (endsWith(name, "positional_embedding") || endsWith(name, ".bias")) {
            kind_ = Kind::Small;
        } else if (endsWith(name, "ln.weight") || endsWith(name, "ln_post.weight")) {
            kind_ = Kind::NearOne;
        } else {
            divisor_ = std::sqrt(static_cast<double>(ne.size() == 3 ? ne[0] * ne[1] : ne[0]));
        }
    }

    double at(int64_t j) const {
        const uint64_t h = splitmix(base_ + static_cast<uint64_t>(j));
        const double r = 2.0 * (static_cast<double>(h >> 40) / 16777216.0) - 1.0;
        switch (kind_) {
            case Kind::Small: return 0.1 * r;
            case Kind::NearOne: return 1.0 + 0.1 * r;
            case Kind::Scaled: break;
        }
        return r / divisor_;
    }

private:
    enum class Kind { Small, NearOne, Scaled };
    uint64_t base_;
    Kind kind_ = Kind::Scaled;
    double divisor_ = 1.0;
};

}  // namespace

double ModelWriter::value(const std::string& name, const std::vector<int64_t>& ne, int64_t j) const {
    return TensorValues(name, ne, seed).at(j);
}

bool ModelWriter::write(const std::string& path, const std::vector<Tensor>& list) const {
    std::unique_ptr<FILE, int (*)(FILE*)> f(fopen(path.c_str(), "wb"), fclose);
    if (!f) return false;
    auto put = [&](const void* p, size_t n) { return fwrite(p, 1, n, f.get()) == n; };
    auto putInt = [&](int32_t v) { return put(&v, 4); };
    const uint32_t magic = 0x67676d6c;
    bool ok = put(&magic, 4);
    const Hparams& hp = hparams;
    for (int32_t v : {hp.n_vocab, hp.n_audio_ctx, hp.n_audio_state, hp.n_audio_head, hp.n_audio_layer, hp.n_text_ctx,
                      hp.n_text_state, hp.n_text_head, hp.n_text_layer, hp.n_mels, hp.ftype})
        ok = ok && putInt(v);
    const std::vector<float> filters = slaneyFilters(hp.n_mels);
    ok = ok && putInt(hp.n_mels) && putInt(201) && put(filters.data(), filters.size() * 4);
    const std::vector<std::string> vocab = vocabulary();
    ok = ok && putInt(static_cast<int32_t>(vocab.size()));
    for (const std::string& t : vocab) {
        const uint32_t len = static_cast<uint32_t>(t.size());
        ok = ok && put(&len, 4) && put(t.data(), t.size());
    }
    std::vector<float> row;
    std::vector<uint8_t> bytes;
    for (const Tensor& t : list) {
        ok = ok && putInt(static_cast<int32_t>(t.ne.size())) && putInt(static_cast<int32_t>(t.name.size())) &&
             putInt(t.storedTypeId >= 0 ? t.storedTypeId : static_cast<int32_t>(t.type));
        for (int64_t n : t.ne) ok = ok && putInt(static_cast<int32_t>(n));
        ok = ok && put(t.name.data(), t.name.size());
        const int64_t cols = t.ne[0];
        int64_t rows = 1;
        for (size_t i = 1; i < t.ne.size(); ++i) rows *= t.ne[i];
        row.resize(cols);
        bytes.resize(rowBytes(t.type, cols));
        const TensorValues values(t.name, t.ne, seed);
        for (int64_t r = 0; r < rows && ok; ++r) {
            if (t.type == TensorType::F16) {
                auto* out = reinterpret_cast<uint16_t*>(bytes.data());
                for (int64_t c = 0; c < cols; ++c)
                    out[c] = fp32ToFp16(static_cast<float>(values.at(r * cols + c)));
            } else {
                for (int64_t c = 0; c < cols; ++c) row[c] = static_cast<float>(values.at(r * cols + c));
                if (t.type == TensorType::F32) {
                    memcpy(bytes.data(), row.data(), cols * 4);
                } else {
                    quantizeRow(t.type, row.data(), bytes.data(), cols);
                }
            }
            ok = put(bytes.data(), bytes.size());
        }
    }
    return ok && fflush(f.get()) == 0;
}

}  // namespace recognizer
