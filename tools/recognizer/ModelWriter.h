#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "compute/TensorType.h"
#include "core/Hparams.h"

namespace recognizer {

// Writes ggml model files with generated contents: the exact Slaney filter bank, a synthetic vocabulary and
// deterministic pseudo-random weights. Seed 0 gives the reference model "SYN-A" used by the tests.
class ModelWriter {
public:
    struct Tensor {
        std::string name;
        std::vector<int64_t> ne;  // fastest axis first
        TensorType type;
        int32_t storedTypeId = -1;  // when >= 0, written as the record's type instead of `type`
    };

    // Real dimensions: "tiny", "base", "small", "medium", "large", "syn-a" (d 64, 4 heads, 3 + 3 layers).
    static Hparams preset(const std::string& name, bool englishOnly);

    explicit ModelWriter(const Hparams& hp, TensorType matrixType = TensorType::F16, uint64_t seed = 0);

    // Every tensor of the model, in the converter's order and with the types a published file uses.
    std::vector<Tensor> tensors() const;
    // Entries 0-255 are the single bytes, then "t<id>"; a multilingual vocabulary stores entry 50256 empty.
    std::vector<std::string> vocabulary() const;
    static std::vector<float> slaneyFilters(int nMels);
    // Value j of a tensor, before storage rounding.
    double value(const std::string& name, const std::vector<int64_t>& ne, int64_t j) const;

    bool write(const std::string& path) const { return write(path, tensors()); }
    bool write(const std::string& path, const std::vector<Tensor>& list) const;

    Hparams hparams;
    TensorType matrixType;
    uint64_t seed;
    int vocabCount = 50257;
};

}  // namespace recognizer
