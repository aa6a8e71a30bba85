#include "platform/QtPasteboard.h"

#include <QClipboard>
#include <QGuiApplication>

void QtPasteboard::clearContents() {
    if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->clear(QClipboard::Clipboard);
}

bool QtPasteboard::writeString(const std::string& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) return false;
    const QString value = QString::fromStdString(text);
    clipboard->setText(value, QClipboard::Clipboard);
    // setText reports nothing; reading back tells whether the platform took the text (it answers from our own copy
    // while we own the selection).
    return clipboard->text(QClipboard::Clipboard) == value;
}
