#pragma once

#include <memory>
#include <string>

// The desktop's clipboard as the dictation delivers to it: one plain text at a time. Used on the GUI thread only.
class Pasteboard {
public:
    virtual ~Pasteboard() = default;

    // Drops whatever the clipboard holds.
    virtual void clearContents() = 0;
    // Makes `text` the clipboard's plain text; false when the clipboard did not take it.
    virtual bool writeString(const std::string& text) = 0;

    // The pasteboard the application delivers to: the system clipboard unless another one is installed.
    static Pasteboard& general();
    // Installs `pasteboard` in place of the system clipboard (tests); nullptr restores the system clipboard.
    static void setGeneral(std::shared_ptr<Pasteboard> pasteboard);
};
