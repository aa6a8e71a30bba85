#include "core/ModelLoader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <unordered_map>

#include "compute/Quantization.h"
#include "compute/TensorType.h"
#include "core/Decoder.h"
#include "core/Encoder.h"
#include "core/Transcriber.h"

namespace recognizer {

namespace {

constexpr uint32_t kMagic = 0x67676d6c;
constexpr uint32_t kGgufMagic = 0x46554747;  // "GGUF" read as a little-endian number
constexpr int kFilterBins = 201;
constexpr uint32_t kMaxTokenBytes = 1024;
// The working memory a model may ask for: this much, plus this many times its file size. Real models of every size
// and type need at most half of it; a header whose text context or head counts ask for gigabytes that its tensors do
// not back stays out.
constexpr uint64_t kWorkingBase = uint64_t(256) << 20;
constexpr uint64_t kWorkingPerFileByte = 4;

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
    char buf[512];
    va_list args;
    va_start(args, fmt);
    vsnprintf(buf, sizeof buf, fmt, args);
    va_end(args);
    return buf;
}

// Bounded reads from the open file; every short read becomes an error naming what was being read.
class Reader {
public:
    Reader(FILE* f, int64_t size) : f_(f), size_(size) {}
    int64_t remaining() const { return size_ - pos_; }
    bool read(void* dst, int64_t n) {
        if (n > remaining()) return false;
        if (n > 0 && fread(dst, 1, static_cast<size_t>(n), f_) != static_cast<size_t>(n)) return false;
        pos_ += n;
        return true;
    }
    template <class T>
    bool value(T& v) {
        return read(&v, sizeof v);
    }

private:
    FILE* f_;
    int64_t size_;
    int64_t pos_ = 0;
};

enum class Role { Matrix, Vector };

struct Expected {
    std::vector<int64_t> ne;
    Role role;
    WeightView* matrix = nullptr;
    const float** vector = nullptr;
    bool seen = false;
};

class Table {
public:
    void matrix(const std::string& name, std::vector<int64_t> ne, WeightView& target) {
        entries_[name] = Expected{std::move(ne), Role::Matrix, &target, nullptr};
        order_.push_back(name);
    }
    void vector(const std::string& name, std::vector<int64_t> ne, const float*& target) {
        entries_[name] = Expected{std::move(ne), Role::Vector, nullptr, &target};
        order_.push_back(name);
    }
    void attention(const std::string& prefix, int64_t d, AttentionWeights& a) {
        matrix(prefix + ".query.weight", {d, d}, a.query);
        vector(prefix + ".query.bias", {d}, a.queryBias);
        matrix(prefix + ".key.weight", {d, d}, a.key);
        matrix(prefix + ".value.weight", {d, d}, a.value);
        vector(prefix + ".value.bias", {d}, a.valueBias);
        matrix(prefix + ".out.weight", {d, d}, a.out);
        vector(prefix + ".out.bias", {d}, a.outBias);
    }
    void layerNorm(const std::string& prefix, int64_t d, LayerNormWeights& ln) {
        vector(prefix + ".weight", {d}, ln.weight);
        vector(prefix + ".bias", {d}, ln.bias);
    }
    void mlp(const std::string& prefix, int64_t d, MlpWeights& m) {
        matrix(prefix + ".0.weight", {d, 4 * d}, m.fc1);
        vector(prefix + ".0.bias", {4 * d}, m.fc1Bias);
        matrix(prefix + ".2.weight", {4 * d, d}, m.fc2);
        vector(prefix + ".2.bias", {d}, m.fc2Bias);
    }
    Expected* find(const std::string& name) {
        auto it = entries_.find(name);
        return it == entries_.end() ? nullptr : &it->second;
    }
    const std::string* firstMissing() const {
        for (const auto& name : order_) {
            if (!entries_.at(name).seen) return &name;
        }
        return nullptr;
    }
    size_t size() const { return order_.size(); }

private:
    std::unordered_map<std::string, Expected> entries_;
    std::vector<std::string> order_;
};

void buildTable(Model& m, Table& t) {
    const Hparams& hp = m.hparams;
    const int64_t d = hp.n_audio_state;
    m.encoder.resize(hp.n_audio_layer);
    m.decoder.resize(hp.n_text_layer);
    t.vector("encoder.positional_embedding", {d, hp.n_audio_ctx}, m.encoderPositions);
    t.matrix("encoder.conv1.weight", {3, hp.n_mels, d}, m.conv1);
    t.vector("encoder.conv1.bias", {1, d}, m.conv1Bias);
    t.matrix("encoder.conv2.weight", {3, d, d}, m.conv2);
    t.vector("encoder.conv2.bias", {1, d}, m.conv2Bias);
    for (int i = 0; i < hp.n_audio_layer; ++i) {
        const std::string p = "encoder.blocks." + std::to_string(i);
        EncoderLayer& l = m.encoder[i];
        t.attention(p + ".attn", d, l.attn);
        t.layerNorm(p + ".attn_ln", d, l.attnLn);
        t.mlp(p + ".mlp", d, l.mlp);
        t.layerNorm(p + ".mlp_ln", d, l.mlpLn);
    }
    t.layerNorm("encoder.ln_post", d, m.lnPost);
    t.vector("decoder.positional_embedding", {d, hp.n_text_ctx}, m.decoderPositions);
    t.matrix("decoder.token_embedding.weight", {d, hp.n_vocab}, m.tokenEmbedding);
    for (int i = 0; i < hp.n_text_layer; ++i) {
        const std::string p = "decoder.blocks." + std::to_string(i);
        DecoderLayer& l = m.decoder[i];
        t.attention(p + ".attn", d, l.attn);
        t.layerNorm(p + ".attn_ln", d, l.attnLn);
        t.attention(p + ".cross_attn", d, l.cross);
        t.layerNorm(p + ".cross_attn_ln", d, l.crossLn);
        t.mlp(p + ".mlp", d, l.mlp);
        t.layerNorm(p + ".mlp_ln", d, l.mlpLn);
    }
    t.layerNorm("decoder.ln", d, m.decoderLn);
}

std::string checkHparams(const Hparams& hp) {
    if (hp.n_vocab < 51864 || hp.n_vocab > 51866)
        return format("unsupported vocabulary size %d (expected 51864, 51865 or 51866)", hp.n_vocab);
    if (hp.n_audio_ctx != 1500)
        return format("unsupported audio context %d (a 30 s window has 1500 positions)", hp.n_audio_ctx);
    if (hp.n_audio_state <= 0 || hp.n_audio_state > 8192)
        return format("impossible audio state size %d", hp.n_audio_state);
    if (hp.n_text_state != hp.n_audio_state)
        return format("text state size %d differs from audio state size %d", hp.n_text_state, hp.n_audio_state);
    if (hp.n_audio_head <= 0 || hp.n_audio_state % hp.n_audio_head != 0)
        return format("impossible audio head count %d for state size %d", hp.n_audio_head, hp.n_audio_state);
    if (hp.n_text_head <= 0 || hp.n_text_state % hp.n_text_head != 0)
        return format("impossible text head count %d for state size %d", hp.n_text_head, hp.n_text_state);
    if (hp.n_audio_layer <= 0 || hp.n_audio_layer > 256)
        return format("impossible audio layer count %d", hp.n_audio_layer);
    if (hp.n_text_layer <= 0 || hp.n_text_layer > 256)
        return format("impossible text layer count %d", hp.n_text_layer);
    if (hp.n_text_ctx < 32 || hp.n_text_ctx > 4096) return format("impossible text context %d", hp.n_text_ctx);
    if (hp.n_mels <= 0 || hp.n_mels > 512) return format("impossible mel band count %d", hp.n_mels);
    const int ftype = hp.ftype % 1000;
    const int qntvr = hp.ftype / 1000;
    if (hp.ftype < 0 || !(ftype <= 3 || (ftype >= 7 && ftype <= 9)))
        return format("unsupported file type %d", hp.ftype);
    if (qntvr > 2) return format("unsupported quantization version %d", qntvr);
    return {};
}

// Quantized blocks changed layout twice; only the current layout (and the 5-bit types of version 1, which already
// had it) can be read.
bool quantizationLayoutSupported(TensorType type, int qntvr) {
    if (!isQuantized(type)) return true;
    if (qntvr == 2) return true;
    return qntvr == 1 && (type == TensorType::Q5_0 || type == TensorType::Q5_1);
}

std::string shapeText(const std::vector<int64_t>& ne) {
    std::string s = "[";
    for (size_t i = 0; i < ne.size(); ++i) s += (i ? ", " : "") + std::to_string(ne[i]);
    return s + "]";
}

std::string readTensors(Model& m, Reader& r, Table& table, int64_t fileSize) {
    const int qntvr = m.hparams.ftype / 1000;
    const size_t arenaBytes = static_cast<size_t>(fileSize) + 64 * (table.size() + 1);
    m.arena.reset(static_cast<uint8_t*>(::operator new[](arenaBytes, std::align_val_t(64))));
    size_t used = 0;
    int count = 0;
    while (r.remaining() > 0) {
        int32_t nDims = 0, nameLen = 0, ttype = 0;
        if (!r.value(nDims) || !r.value(nameLen) || !r.value(ttype))
            return format("truncated tensor record after %d tensors", count);
        if (nDims < 1 || nDims > 4) return format("tensor record %d has %d dimensions", count, nDims);
        if (nameLen < 1 || nameLen > 255) return format("tensor record %d has a name of %d bytes", count, nameLen);
        std::vector<int64_t> ne(nDims);
        for (auto& n : ne) {
            int32_t v = 0;
            if (!r.value(v)) return format("truncated tensor record after %d tensors", count);
            n = v;
        }
        std::string name(nameLen, '\0');
        if (!r.read(name.data(), nameLen)) return format("truncated tensor record after %d tensors", count);
        Expected* e = table.find(name);
        if (!e) return format("unknown tensor '%s'", name.c_str());
        if (e->seen) return format("tensor '%s' appears twice", name.c_str());
        if (ne != e->ne)
            return format("tensor '%s' has shape %s, expected %s", name.c_str(), shapeText(ne).c_str(),
                          shapeText(e->ne).c_str());
        if (!isKnownTensorType(ttype)) return format("tensor '%s' has unknown type %d", name.c_str(), ttype);
        const auto type = static_cast<TensorType>(ttype);
        if (e->role == Role::Vector && type != TensorType::F32 && type != TensorType::F16)
            return format("tensor '%s' has type %s; only f32 and f16 are supported for it", name.c_str(),
                          tensorTypeName(type));
        if (ne[0] % blockElements(type) != 0)
            return format("tensor '%s' has rows of %lld values, not a whole number of %s blocks", name.c_str(),
                          static_cast<long long>(ne[0]), tensorTypeName(type));
        if (!quantizationLayoutSupported(type, qntvr))
            return format("tensor '%s' uses the %s layout of quantization version %d, which is not supported; "
                          "re-quantize the model",
                          name.c_str(), tensorTypeName(type), qntvr);
        int64_t rows = 1;
        for (int i = 1; i < nDims; ++i) rows *= ne[i];
        const int64_t bytes = static_cast<int64_t>(rowBytes(type, ne[0])) * rows;
        if (bytes > r.remaining())
            return format("truncated data of tensor '%s' (%lld bytes expected, %lld left)", name.c_str(),
                          static_cast<long long>(bytes), static_cast<long long>(r.remaining()));
        used = (used + 63) & ~static_cast<size_t>(63);
        uint8_t* data = m.arena.get() + used;
        if (!r.read(data, bytes)) return format("cannot read the data of tensor '%s'", name.c_str());
        used += static_cast<size_t>(bytes);
        e->seen = true;
        ++count;
        if (e->role == Role::Matrix) {
            // One output channel per outermost index; a conv kernel row holds input channels x taps.
            const int64_t outputs = ne[nDims - 1];
            *e->matrix = WeightView{type, outputs, ne[0] * rows / outputs, data};
        } else if (type == TensorType::F32) {
            *e->vector = reinterpret_cast<const float*>(data);
        } else {
            auto& wide = m.expanded.emplace_back(static_cast<size_t>(ne[0] * rows));
            convertFp16ToFp32(reinterpret_cast<const uint16_t*>(data), wide.data(), ne[0] * rows);
            *e->vector = wide.data();
        }
    }
    if (count == 0) return "the file holds no tensors";
    if (const std::string* missing = table.firstMissing()) return format("tensor '%s' is missing", missing->c_str());
    return {};
}

std::string loadFrom(FILE* f, int64_t fileSize, std::unique_ptr<Model>& out) {
    Reader r(f, fileSize);
    uint32_t magic = 0;
    if (!r.value(magic)) return "the file is too short to be a model";
    if (magic == kGgufMagic) return "GGUF files are not supported; use a ggml model file";
    if (magic != kMagic) return format("bad magic 0x%08x; not a ggml model file", magic);
    Hparams hp;
    int32_t* fields[] = {&hp.n_vocab,      &hp.n_audio_ctx, &hp.n_audio_state, &hp.n_audio_head,
                         &hp.n_audio_layer, &hp.n_text_ctx, &hp.n_text_state, &hp.n_text_head,
                         &hp.n_text_layer, &hp.n_mels,      &hp.ftype};
    for (int32_t* field : fields) {
        if (!r.value(*field)) return "truncated header";
    }
    if (std::string e = checkHparams(hp); !e.empty()) return e;
    if (std::string e = ModelLoader::checkWorkingMemory(hp, fileSize); !e.empty()) return e;

    int32_t nMel = 0, nFft = 0;
    if (!r.value(nMel) || !r.value(nFft)) return "truncated mel filter block";
    if (nMel != hp.n_mels || nFft != kFilterBins)
        return format("mel filter block is %d x %d, expected %d x %d", nMel, nFft, hp.n_mels, kFilterBins);
    std::vector<float> filters(static_cast<size_t>(nMel) * nFft);
    if (!r.read(filters.data(), static_cast<int64_t>(filters.size() * sizeof(float))))
        return "truncated mel filter block";

    int32_t count = 0;
    if (!r.value(count)) return "truncated vocabulary";
    const int maxCount = hp.n_vocab >= 51865 ? 50258 : 50257;  // the special tokens follow the stored ones
    if (count < 0 || count > maxCount) return format("vocabulary holds %d tokens; at most %d fit", count, maxCount);
    std::vector<std::string> tokens(count);
    for (int i = 0; i < count; ++i) {
        uint32_t len = 0;
        if (!r.value(len)) return "truncated vocabulary";
        if (len > kMaxTokenBytes) return format("token %d is %u bytes long; the file is corrupt", i, len);
        tokens[i].resize(len);
        if (!r.read(tokens[i].data(), len)) return "truncated vocabulary";
    }
    auto model = std::make_unique<Model>(hp, std::move(filters), std::move(tokens));
    model->fileBytes = fileSize;
    Table table;
    buildTable(*model, table);
    if (std::string e = readTensors(*model, r, table, fileSize); !e.empty()) return e;
    out = std::move(model);
    return {};
}

}  // namespace

std::string ModelLoader::checkWorkingMemory(const Hparams& hp, int64_t fileSize) {
    const uint64_t working = Encoder::workingBytes(hp) + Decoder::workingBytes(hp, Transcriber::kMaxDecoders);
    const uint64_t bound = kWorkingBase + kWorkingPerFileByte * static_cast<uint64_t>(fileSize);
    if (working <= bound) return {};
    return format("the header asks for %llu MiB of working memory (text context %d, %d text heads, %d audio heads), "
                  "more than a %lld MiB model can need (at most %llu MiB); the file is damaged or not a real model",
                  static_cast<unsigned long long>(working >> 20), hp.n_text_ctx, hp.n_text_head, hp.n_audio_head,
                  static_cast<long long>(fileSize >> 20), static_cast<unsigned long long>(bound >> 20));
}

std::unique_ptr<Model> ModelLoader::load(const std::string& path, std::string& error) {
    // Checked before opening, so that no device is opened, and again on the descriptor; O_NONBLOCK keeps the open of
    // a FIFO put in the file's place meanwhile from waiting for a writer.
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        error = format("cannot open '%s': %s", path.c_str(), strerror(errno));
        return nullptr;
    }
    if (!S_ISREG(st.st_mode)) {
        error = format("cannot read '%s': not a regular file", path.c_str());
        return nullptr;
    }
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        error = format("cannot open '%s': %s", path.c_str(), strerror(errno));
        return nullptr;
    }
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = format("cannot read '%s': not a regular file", path.c_str());
        close(fd);
        return nullptr;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    FILE* f = fdopen(fd, "rb");
    if (!f) {
        error = format("cannot open '%s': %s", path.c_str(), strerror(errno));
        close(fd);
        return nullptr;
    }
    const int64_t size = st.st_size;
    std::unique_ptr<Model> model;
    std::string e;
    try {
        e = size == 0 ? "the file is empty" : loadFrom(f, size, model);
    } catch (const std::bad_alloc&) {
        model.reset();
        e = format("not enough memory to load a model of %lld MiB", static_cast<long long>(size >> 20));
    }
    fclose(f);
    if (!e.empty()) {
        error = format("'%s': %s", path.c_str(), e.c_str());
        return nullptr;
    }
    return model;
}

}  // namespace recognizer
