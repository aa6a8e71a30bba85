#include "ui/PromptField.h"

#include "ui/TextBlock.h"

#include <QKeyEvent>
#include <QMimeData>

#include <algorithm>
#include <cmath>

PromptField::PromptField(QWidget* parent) : QPlainTextEdit(parent) {
    setTabChangesFocus(true);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (toPlainText().size() > maxLength) {
            dropExcess();  // changes the text again, and that change is the one reported
            return;
        }
        fitHeight();
        if (!settingText_) emit edited(toPlainText());
    });
    fitHeight();
}

void PromptField::setText(const QString& text) {
    QString shown = text;
    if (shown.size() > maxLength) {
        shown = shown.right(maxLength);
        if (shown.front().isLowSurrogate()) shown.remove(0, 1);
    }
    if (shown == toPlainText()) return;
    settingText_ = true;
    setPlainText(shown);
    settingText_ = false;
}

void PromptField::insertFromMimeData(const QMimeData* source) {
    if (!source->hasText()) return;
    // Only what fits is inserted: a pasted book never reaches the document.
    const int room = maxLength - (toPlainText().size() - textCursor().selectedText().size());
    QString text = source->text().left(std::max(room, 0));
    if (!text.isEmpty() && text.back().isHighSurrogate()) text.chop(1);
    if (text.isEmpty()) return;
    QMimeData fitting;
    fitting.setText(text);
    QPlainTextEdit::insertFromMimeData(&fitting);
}

void PromptField::dropExcess() {
    // The excess is what was just put in: the characters before the cursor (or the end, when that is not enough).
    QTextCursor cursor = textCursor();
    const QString text = toPlainText();
    const int excess = int(text.size()) - maxLength;
    int start = cursor.position() >= excess ? cursor.position() - excess : maxLength;
    const int end = start + excess;
    if (start > 0 && text.at(start).isLowSurrogate()) --start;  // never half a character
    cursor.setPosition(start);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
}

int PromptField::wrappedLineCount() const {
    // Worked out from the text itself: the document lays out its lines only when it is next drawn.
    const int width = viewport()->width() - static_cast<int>(std::ceil(2 * document()->documentMargin()));
    const TextBlock::Lines lines = TextBlock::layOut(toPlainText(), font(), width, true, lineLimit);
    return static_cast<int>(lines.lines.size()) + (lines.truncated ? 1 : 0);
}

int PromptField::visibleLineCount() const { return std::clamp(wrappedLineCount(), 1, lineLimit); }

void PromptField::fitHeight() {
    const int lines = visibleLineCount();
    const int text = static_cast<int>(std::ceil(lines * fontMetrics().lineSpacing() + 2 * document()->documentMargin()));
    const QMargins margins = contentsMargins();
    setFixedHeight(text + margins.top() + margins.bottom() + 2 * frameWidth());
}

void PromptField::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->ignore();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void PromptField::resizeEvent(QResizeEvent* event) {
    QPlainTextEdit::resizeEvent(event);
    // A new width wraps the text anew.
    fitHeight();
}
