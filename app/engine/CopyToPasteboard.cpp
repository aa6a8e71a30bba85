#include "engine/CopyToPasteboard.h"

#include "platform/AppLog.h"
#include "platform/Pasteboard.h"

void copyToPasteboard(const std::string& text) {
    Pasteboard& pasteboard = Pasteboard::general();
    pasteboard.clearContents();
    if (!pasteboard.writeString(text)) AppLog::error("Error setting clipboard value");
}
