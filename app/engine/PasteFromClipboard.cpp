#include "engine/PasteFromClipboard.h"

#include "platform/KeyPoster.h"

void pasteFromClipboard() { KeyPoster::system().postPaste(); }
