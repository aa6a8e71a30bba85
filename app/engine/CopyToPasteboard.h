#pragma once

#include <string>

// Replaces the clipboard's contents with `text` (the empty text included). A clipboard that does not take the text is
// logged and left cleared. GUI thread only.
void copyToPasteboard(const std::string& text);
