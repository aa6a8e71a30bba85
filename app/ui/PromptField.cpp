#include "ui/PromptField.h"

#include <QKeyEvent>
#include <QTextBlock>
#include <QTextLayout>

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
    int lines = 0;
    for (QTextBlock block = document()->firstBlock(); block.isValid(); block = block.next())
        lines += std::max(1, block.layout() ? block.layout()->lineCount() : 1);
    return lines;
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
