// Loading model files: every tensor type, and a clear refusal of each kind of bad file.

#include "core/ModelLoader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "TestModels.h"
#include "compute/Quantization.h"
#include "support/Fifo.h"
#include "support/ReadFile.h"

using recognizer::ModelLoader;
using recognizer::ModelWriter;
using recognizer::TensorType;
using rectest::TestModels;

namespace {

std::string load(const std::string& path) {
    std::string error;
    auto model = ModelLoader::load(path, error);
    EXPECT_EQ(model == nullptr, !error.empty());
    return model ? "" : error;
}

// Writes a SYN-A variant after `edit` changes its tensor list.
template <class Edit>
std::string writeEdited(const std::string& name, Edit edit) {
    ModelWriter w(ModelWriter::preset("syn-a", false), TensorType::Q8_0, 0);
    auto list = w.tensors();
    edit(w, list);
    const std::string path = TestModels::folder() + "/" + name + ".bin";
    EXPECT_TRUE(w.write(path, list));
    return path;
}

std::string writeBytes(const std::string& name, const std::string& bytes) {
    const std::string path = TestModels::folder() + "/" + name + ".bin";
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

}  // namespace

TEST(ModelLoader, LoadsEveryTensorTypeKeepingWeightsAsStored) {
    for (TensorType type : {TensorType::F32, TensorType::F16, TensorType::Q4_0, TensorType::Q4_1, TensorType::Q5_0,
                            TensorType::Q5_1, TensorType::Q8_0}) {
        SCOPED_TRACE(recognizer::tensorTypeName(type));
        std::string error;
        auto m = ModelLoader::load(TestModels::synA(type), error);
        ASSERT_TRUE(m) << error;
        EXPECT_EQ(m->hparams.n_audio_state, 64);
        EXPECT_EQ(m->encoder.size(), 3u);
        EXPECT_EQ(m->decoder[2].mlp.fc2.type, type);
        EXPECT_EQ(m->tokenEmbedding.type, type);
        EXPECT_EQ(m->tokenEmbedding.rows, 51865);
        EXPECT_EQ(m->conv1.type, type == TensorType::F32 ? TensorType::F32 : TensorType::F16);
        EXPECT_EQ(m->conv1.cols, 3 * 80);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(m->tokenEmbedding.data) % 64, 0u);
        // A weight read back equals the value written (after storage rounding).
        ModelWriter w(m->hparams, type, 0);
        float row[64], expected[64];
        recognizer::dequantizeRow(type, m->decoder[1].attn.out.data, row, 64);
        for (int i = 0; i < 64; ++i)
            expected[i] = static_cast<float>(w.value("decoder.blocks.1.attn.out.weight", {64, 64}, i));
        for (int i = 0; i < 64; ++i) EXPECT_NEAR(row[i], expected[i], type == TensorType::F32 ? 0 : 0.02) << i;
        EXPECT_EQ(m->decoderLn.weight[3], static_cast<float>(w.value("decoder.ln.weight", {64}, 3)));
        EXPECT_EQ(m->vocab.text(300), "t300");
        EXPECT_EQ(m->filters[1], ModelWriter::slaneyFilters(80)[1]);
    }
}

TEST(ModelLoader, SpecialTokensFollowTheVocabularySize) {
    struct Case {
        int nVocab, eot, sot, translate, transcribe, solm, prev, nosp, notTs, beg, languages;
    };
    for (const Case& c : {Case{51864, 50256, 50257, 50357, 50358, 50359, 50360, 50361, 50362, 50363, 99},
                          Case{51865, 50257, 50258, 50358, 50359, 50360, 50361, 50362, 50363, 50364, 99},
                          Case{51866, 50257, 50258, 50359, 50360, 50361, 50362, 50363, 50364, 50365, 100}}) {
        recognizer::Vocabulary v(c.nVocab, {});
        EXPECT_EQ(v.eot(), c.eot);
        EXPECT_EQ(v.sot(), c.sot);
        EXPECT_EQ(v.translate(), c.translate);
        EXPECT_EQ(v.transcribe(), c.transcribe);
        EXPECT_EQ(v.solm(), c.solm);
        EXPECT_EQ(v.prev(), c.prev);
        EXPECT_EQ(v.nosp(), c.nosp);
        EXPECT_EQ(v.notimestamps(), c.notTs);
        EXPECT_EQ(v.beg(), c.beg);
        EXPECT_EQ(v.numLanguages(), c.languages);
        EXPECT_EQ(c.nVocab - v.beg(), 1501);
    }
    recognizer::Vocabulary v3(51866, {});
    EXPECT_EQ(v3.languageId("yue"), 99);
    EXPECT_EQ(v3.languageId("de"), 2);
    EXPECT_EQ(v3.displayText(v3.beg() + 12), "[_TT_12]");
    EXPECT_EQ(v3.displayText(v3.languageToken(2)), "[_LANG_de]");
}

TEST(ModelLoader, LoadsLargeV3ShapedFiles) {
    auto hp = ModelWriter::preset("syn-a", false);
    hp.n_vocab = 51866;
    hp.n_mels = 128;
    const std::string path = TestModels::folder() + "/v3.bin";
    ASSERT_TRUE(ModelWriter(hp, TensorType::Q5_0, 3).write(path));
    std::string error;
    auto m = ModelLoader::load(path, error);
    ASSERT_TRUE(m) << error;
    EXPECT_EQ(m->conv1.cols, 3 * 128);
    EXPECT_EQ(m->vocab.numLanguages(), 100);
}

TEST(ModelLoader, RefusesDamagedFilesWithAClearReason) {
    const std::string good = vctest::readFile(TestModels::synA(TensorType::Q8_0));
    auto withInt = [&](size_t offset, int32_t v) {
        std::string b = good;
        memcpy(b.data() + offset, &v, 4);
        return b;
    };
    EXPECT_NE(load(TestModels::folder() + "/does-not-exist.bin").find("cannot open"), std::string::npos);
    EXPECT_NE(load(TestModels::folder()).find("not a regular file"), std::string::npos);
    EXPECT_NE(load(writeBytes("empty", "")).find("empty"), std::string::npos);
    EXPECT_NE(load(writeBytes("gguf", "GGUF\3\0\0\0")).find("GGUF"), std::string::npos);
    EXPECT_NE(load(writeBytes("magic", "lmgx" + good.substr(4))).find("bad magic"), std::string::npos);
    EXPECT_NE(load(writeBytes("header", good.substr(0, 30))).find("truncated header"), std::string::npos);
    EXPECT_NE(load(writeBytes("vocab-size", withInt(4, 50000))).find("vocabulary size"), std::string::npos);
    EXPECT_NE(load(writeBytes("state", withInt(28, 32))).find("differs"), std::string::npos);
    EXPECT_NE(load(writeBytes("heads", withInt(16, 7))).find("head count"), std::string::npos);
    EXPECT_NE(load(writeBytes("layers", withInt(20, -1))).find("layer count"), std::string::npos);
    EXPECT_NE(load(writeBytes("ftype", withInt(44, 2005))).find("file type"), std::string::npos);
    EXPECT_NE(load(writeBytes("qntvr", withInt(44, 7))).find("re-quantize"), std::string::npos);
    EXPECT_NE(load(writeBytes("filters", withInt(52, 200))).find("mel filter"), std::string::npos);
    const size_t vocabAt = 48 + 8 + 80 * 201 * 4;
    EXPECT_NE(load(writeBytes("token-len", withInt(vocabAt + 4, 5000))).find("corrupt"), std::string::npos);
    EXPECT_NE(load(writeBytes("vocab-count", withInt(vocabAt, 60000))).find("tokens"), std::string::npos);
    EXPECT_NE(load(writeBytes("cut-vocab", good.substr(0, vocabAt + 100))).find("truncated vocabulary"),
              std::string::npos);
    EXPECT_NE(load(writeBytes("cut-tensor", good.substr(0, good.size() - 10))).find("truncated data"),
              std::string::npos);
    EXPECT_NE(load(writeBytes("cut-record", good + std::string(6, '\0'))).find("truncated tensor record"),
              std::string::npos);
    // Header, filters and vocabulary only: there is nothing to run.
    size_t tensorsAt = vocabAt + 4;
    for (int i = 0; i < 50257; ++i) {
        uint32_t len;
        memcpy(&len, good.data() + tensorsAt, 4);
        tensorsAt += 4 + len;
    }
    EXPECT_NE(load(writeBytes("no-tensors", good.substr(0, tensorsAt))).find("no tensors"), std::string::npos);
}

TEST(ModelLoader, RefusesWrongTensorLists) {
    using List = std::vector<ModelWriter::Tensor>;
    auto reason = [](const std::string& name, auto edit) { return load(writeEdited(name, edit)); };
    EXPECT_NE(reason("unknown", [](ModelWriter&, List& l) { l[7].name = "encoder.blocks.0.attn.key.bias"; })
                  .find("unknown tensor 'encoder.blocks.0.attn.key.bias'"),
              std::string::npos);
    EXPECT_NE(reason("missing", [](ModelWriter&, List& l) { l.pop_back(); }).find("'decoder.ln.bias' is missing"),
              std::string::npos);
    EXPECT_NE(reason("twice", [](ModelWriter&, List& l) { l.push_back(l[3]); }).find("appears twice"),
              std::string::npos);
    EXPECT_NE(reason("shape", [](ModelWriter&, List& l) { l[5].ne = {64, 32}; }).find("has shape [64, 32]"),
              std::string::npos);
    EXPECT_NE(reason("dims", [](ModelWriter&, List& l) { l[2].ne = {64}; }).find("expected [1, 64]"),
              std::string::npos);
    EXPECT_NE(reason("type-id", [](ModelWriter&, List& l) { l[5].storedTypeId = 12; }).find("unknown type 12"),
              std::string::npos);
    // The record says f32 but holds f16 values: the data runs past the end of the file.
    EXPECT_NE(reason("type-size",
                     [](ModelWriter&, List& l) {
                         l.back().type = TensorType::F16;
                         l.back().storedTypeId = 0;
                     })
                  .find("truncated data of tensor 'decoder.ln.bias'"),
              std::string::npos);
    EXPECT_NE(reason("vector-type", [](ModelWriter&, List& l) { l.back().type = TensorType::Q8_0; l.back().ne = {64}; })
                  .find("only f32 and f16"),
              std::string::npos);
    EXPECT_NE(reason("conv-quant", [](ModelWriter&, List& l) { l[1].storedTypeId = 8; }).find("whole number of q8_0 blocks"),
              std::string::npos);
}

TEST(ModelLoader, SpecialFilesAreRefusedWithoutWaitingForThem) {
    const vctest::Fifo fifo(TestModels::folder() + "/fifo.bin");
    std::string reason;
    EXPECT_TRUE(fifo.returnsWithin([&] { reason = load(fifo.path()); }));
    EXPECT_NE(reason.find("not a regular file"), std::string::npos) << reason;
    const std::string zero = TestModels::folder() + "/zero.bin";
    std::filesystem::create_symlink("/dev/zero", zero);
    EXPECT_NE(load(zero).find("not a regular file"), std::string::npos);
}

// Bytes of a file that ModelWriter would write for `hp` (without writing it).
int64_t modelFileBytes(const recognizer::Hparams& hp, TensorType type) {
    const ModelWriter w(hp, type, 0);
    int64_t bytes = 4 + 11 * 4 + 8 + int64_t(hp.n_mels) * 201 * 4 + 4;
    for (const std::string& token : w.vocabulary()) bytes += 4 + int64_t(token.size());
    for (const auto& t : w.tensors()) {
        int64_t rows = 1;
        for (size_t i = 1; i < t.ne.size(); ++i) rows *= t.ne[i];
        bytes += 12 + 4 * int64_t(t.ne.size()) + int64_t(t.name.size()) + int64_t(rowBytes(t.type, t.ne[0])) * rows;
    }
    return bytes;
}

TEST(ModelLoader, WorkingMemoryIsBoundedByTheFileSize) {
    // Every published size in every storage type stays well within the bound...
    for (const char* size : {"tiny", "base", "small", "medium", "large"}) {
        for (TensorType type : {TensorType::F32, TensorType::F16, TensorType::Q4_0, TensorType::Q5_0, TensorType::Q8_0}) {
            auto hp = ModelWriter::preset(size, false);
            const int64_t bytes = modelFileBytes(ModelWriter(hp, type, 0).hparams, type);
            EXPECT_EQ(ModelLoader::checkWorkingMemory(hp, bytes / 2), "") << size << " " << tensorTypeName(type);
        }
    }
    // ...while a small file whose tensors do back a long text context, but whose header splits the decoder into
    // one-value heads, would need gigabytes for the decoder's scores.
    auto hp = ModelWriter::preset("syn-a", false);
    hp.n_text_ctx = 4096;
    hp.n_text_head = 64;
    const std::string path = TestModels::folder() + "/greedy.bin";
    ASSERT_TRUE(ModelWriter(hp, TensorType::F16, 0).write(path));
    const std::string reason = load(path);
    EXPECT_NE(reason.find("working memory (text context 4096, 64 text heads, 4 audio heads)"), std::string::npos)
        << reason;
    EXPECT_NE(reason.find("the file is damaged or not a real model"), std::string::npos) << reason;
}
