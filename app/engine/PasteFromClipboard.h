#pragma once

// Types Ctrl+V into the focused application, which pastes what the clipboard holds. Reports nothing: without a
// display that accepts synthetic keys nothing is typed.
void pasteFromClipboard();
