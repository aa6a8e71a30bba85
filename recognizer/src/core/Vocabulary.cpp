#include "core/Vocabulary.h"

#include <algorithm>
#include <cstring>

namespace recognizer {

namespace {

const char* const kLanguages[] = {
    "en", "zh", "de", "es", "ru", "ko", "fr", "ja", "pt", "tr", "pl", "ca", "nl", "ar", "sv", "it", "id",
    "hi", "fi", "vi", "he", "uk", "el", "ms", "cs", "ro", "da", "hu", "ta", "no", "th", "ur", "hr", "bg",
    "lt", "la", "mi", "ml", "cy", "sk", "te", "fa", "lv", "bn", "sr", "az", "sl", "kn", "et", "mk", "br",
    "eu", "is", "hy", "ne", "mn", "bs", "kk", "sq", "sw", "gl", "mr", "pa", "si", "km", "sn", "yo", "so",
    "af", "oc", "ka", "be", "tg", "sd", "gu", "am", "yi", "lo", "uz", "fo", "ht", "ps", "tk", "nn", "mt",
    "sa", "lb", "my", "bo", "tl", "mg", "as", "tt", "haw", "ln", "ha", "ba", "jw", "su", "yue",
};
constexpr int kLanguageCount = sizeof(kLanguages) / sizeof(kLanguages[0]);

bool isSpace(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }
// Bytes of multi-byte UTF-8 sequences count as letters, so that accented words stay whole.
bool isLetter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c >= 0x80; }
bool isOther(unsigned char c) { return !isSpace(c) && !isDigit(c) && !isLetter(c); }

// Length of the word that starts at `i`, following the tokenizer's pre-split pattern.
size_t wordLength(std::string_view s, size_t i) {
    const size_t n = s.size();
    if (s[i] == '\'') {
        for (const char* suffix : {"re", "ve", "ll", "s", "t", "m", "d"}) {
            size_t len = strlen(suffix);
            if (s.compare(i + 1, len, suffix) == 0) return 1 + len;
        }
    }
    size_t j = i;
    if (s[j] == ' ' && j + 1 < n && !isSpace(static_cast<unsigned char>(s[j + 1]))) ++j;
    for (bool (*cls)(unsigned char) : {isLetter, isDigit, isOther}) {
        if (cls(static_cast<unsigned char>(s[j]))) {
            size_t k = j;
            while (k < n && cls(static_cast<unsigned char>(s[k]))) ++k;
            return k - i;
        }
    }
    // A run of whitespace; its last character stays with a following word.
    size_t k = i;
    while (k < n && isSpace(static_cast<unsigned char>(s[k]))) ++k;
    if (k < n && k - i > 1) --k;
    return k - i;
}

}  // namespace

Vocabulary::Vocabulary(int nVocab, std::vector<std::string> texts) : nVocab_(nVocab), texts_(std::move(texts)) {
    const bool ml = multilingual();
    numLanguages_ = std::clamp(nVocab - 51765 - (ml ? 1 : 0), 0, kLanguageCount);
    eot_ = 50256;
    sot_ = 50257;
    translate_ = 50357;
    transcribe_ = 50358;
    solm_ = 50359;
    prev_ = 50360;
    nosp_ = 50361;
    not_ = 50362;
    beg_ = 50363;
    if (ml) {
        const int dt = numLanguages_ - 98;
        ++eot_;
        ++sot_;
        translate_ += dt;
        transcribe_ += dt;
        solm_ += dt;
        prev_ += dt;
        nosp_ += dt;
        not_ += dt;
        beg_ += dt;
    }
    byText_.reserve(texts_.size());
    for (size_t id = 0; id < texts_.size(); ++id) {
        if (texts_[id].empty()) continue;
        byText_.emplace(texts_[id], static_cast<int>(id));
        longest_ = std::max(longest_, texts_[id].size());
    }
}

std::string_view Vocabulary::text(int id) const {
    if (id < 0 || id >= static_cast<int>(texts_.size())) return {};
    return texts_[id];
}

std::string Vocabulary::displayText(int id) const {
    if (id < static_cast<int>(texts_.size()) && id >= 0 && id != eot_) return texts_[id];
    if (id == eot_) return "[_EOT_]";
    if (id == sot_) return "[_SOT_]";
    if (id == translate_) return "[_TRANSLATE_]";
    if (id == transcribe_) return "[_TRANSCRIBE_]";
    if (id == solm_) return "[_SOLM_]";
    if (id == prev_) return "[_PREV_]";
    if (id == nosp_) return "[_NOSP_]";
    if (id == not_) return "[_NOT_]";
    if (id == beg_) return "[_BEG_]";
    if (id > sot_ && id <= sot_ + numLanguages_) return std::string("[_LANG_") + languageCode(id - sot_ - 1) + "]";
    if (id > beg_ && id < nVocab_) return "[_TT_" + std::to_string(id - beg_) + "]";
    return "[_extra_token_" + std::to_string(id) + "]";
}

int Vocabulary::find(std::string_view text) const {
    auto it = byText_.find(text);
    return it == byText_.end() ? -1 : it->second;
}

std::vector<int> Vocabulary::tokenize(std::string_view text) const {
    std::vector<int> tokens;
    size_t i = 0;
    while (i < text.size()) {
        const size_t end = i + wordLength(text, i);
        size_t pos = i;
        while (pos < end) {
            size_t len = std::min(end - pos, longest_);
            int id = -1;
            for (; len > 0; --len) {
                id = find(text.substr(pos, len));
                if (id >= 0) break;
            }
            if (id < 0) {
                ++pos;  // a byte no token covers is dropped
                continue;
            }
            tokens.push_back(id);
            pos += len;
        }
        i = end;
    }
    return tokens;
}

int Vocabulary::languageId(std::string_view code) const {
    for (int i = 0; i < numLanguages_; ++i) {
        if (code == kLanguages[i]) return i;
    }
    return -1;
}

const char* Vocabulary::languageCode(int langId) {
    return langId >= 0 && langId < kLanguageCount ? kLanguages[langId] : "";
}

}  // namespace recognizer
