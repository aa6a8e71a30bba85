#include "ui/PromptField.h"

#include "ui/TextBlock.h"

#include <QKeyEvent>

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
        fitHeight();
        if (!settingText_) emit edited(toPlainText());
    });
    fitHeight();
}

void PromptField::setText(const QString& text) {
    if (text == toPlainText()) return;
    settingText_ = true;
    setPlainText(text);
    settingText_ = false;
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
