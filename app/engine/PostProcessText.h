#pragma once

#include <string>

// Cleans a recognizer text: drops annotations in [..], (..) and *..* (never across a line break), trims spaces
// (U+0020 only) at both ends and, when `literalPunctuation` is on, removes the recognizer's own , . ; / ? ! and turns
// spoken punctuation words into signs. The caller reads the setting; the function itself holds no state and may run
// on several threads at once. Invalid UTF-8 in `text` becomes U+FFFD.
std::string postProcessText(const std::string& text, bool literalPunctuation);
