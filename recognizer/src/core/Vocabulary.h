#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace recognizer {

// Token texts and the special token ids, which follow from the vocabulary size.
class Vocabulary {
public:
    // `texts` holds the byte strings stored in the file (id = position); nVocab is the model's output size.
    Vocabulary(int nVocab, std::vector<std::string> texts);
    Vocabulary(const Vocabulary&) = delete;
    Vocabulary& operator=(const Vocabulary&) = delete;

    int size() const { return nVocab_; }
    bool multilingual() const { return nVocab_ >= 51865; }
    int numLanguages() const { return numLanguages_; }

    int eot() const { return eot_; }
    int sot() const { return sot_; }
    int translate() const { return translate_; }
    int transcribe() const { return transcribe_; }
    int solm() const { return solm_; }
    int prev() const { return prev_; }
    int nosp() const { return nosp_; }
    int notimestamps() const { return not_; }
    int beg() const { return beg_; }
    int languageToken(int langId) const { return sot_ + 1 + langId; }

    // The stored bytes of a token, or "" for ids the file does not hold.
    std::string_view text(int id) const;
    // Bytes for ordinary tokens, a bracketed name such as "[_BEG_]" or "[_TT_12]" for the special ones.
    std::string displayText(int id) const;
    int storedCount() const { return static_cast<int>(texts_.size()); }
    // The id whose stored text is exactly `text`, or -1.
    int find(std::string_view text) const;

    // Splits text into words the way the model's tokenizer does, then matches each word greedily, longest token first.
    std::vector<int> tokenize(std::string_view text) const;

    // Language codes in id order; -1 for a code the model does not know.
    int languageId(std::string_view code) const;
    static const char* languageCode(int langId);

private:
    int nVocab_;
    int numLanguages_;
    int eot_, sot_, translate_, transcribe_, solm_, prev_, nosp_, not_, beg_;
    std::vector<std::string> texts_;
    std::unordered_map<std::string_view, int> byText_;
    size_t longest_ = 0;
};

}  // namespace recognizer
