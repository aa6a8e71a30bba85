#pragma once

#include <cstddef>
#include <string>

// The prompt that gives the recognizer context (the setting activePrompt), and its bound. The recognizer takes only
// the last 224 tokens of a prompt (half its 448-token text context); English runs at about four characters a token,
// so some 900 characters fill that. 4,096 characters leave room for words and scripts with longer tokens, and keep a
// prompt under 24 KiB in JSON even when every character must be escaped: a dictation's record (meta.json, read up to
// 1 MiB) and the settings file always have room for it.
struct Prompt {
    // In UTF-16 code units, as the prompt field counts its text.
    static constexpr int maxLength = 4096;

    // `text` (UTF-8) cut to its last maxLength characters, which are what the recognizer would have used of it; a
    // text within the bound is returned unchanged.
    static std::string bounded(std::string text) {
        // maxLength UTF-16 units take at most three bytes each in UTF-8; more bytes than that means more characters,
        // or bytes that are no UTF-8 at all.
        constexpr std::size_t maxBytes = 3 * std::size_t(maxLength);
        // Walk back from the end, counting each sequence by its lead byte: four-byte sequences are two UTF-16 units.
        int length = 0;
        for (std::size_t i = text.size(); i-- > 0;) {
            const auto byte = static_cast<unsigned char>(text[i]);
            if ((byte & 0xC0) != 0x80) length += byte >= 0xF0 ? 2 : 1;
            if (length > maxLength || text.size() - i > maxBytes) {
                // Kept: everything from the next sequence on.
                std::size_t next = i + 1;
                while (next < text.size() && (static_cast<unsigned char>(text[next]) & 0xC0) == 0x80) ++next;
                text.erase(0, next);
                break;
            }
        }
        return text;
    }
};
