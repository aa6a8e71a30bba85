#pragma once

#include <QPlainTextEdit>

#include "platform/Prompt.h"

// The model page's prompt field: a text field whose text wraps, one line high while it holds one line and growing with
// its text up to three lines, then scrolling. Return starts no new line and Tab moves on, as in a one-line field.
// `edited` reports every change the user makes, never one made through setText. The field holds at most
// Prompt::maxLength characters: once full it takes no more text, and a paste puts in only what fits.
class PromptField : public QPlainTextEdit {
    Q_OBJECT

public:
    static constexpr int lineLimit = 3;
    static constexpr int maxLength = Prompt::maxLength;

    explicit PromptField(QWidget* parent = nullptr);

    QString text() const { return toPlainText(); }
    // Shows `text`, or its last maxLength characters when it is longer (as the recognizer would use it).
    void setText(const QString& text);
    // The lines the field is high: its text's wrapped lines, 1 to 3.
    int visibleLineCount() const;

signals:
    void edited(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int wrappedLineCount() const;
    void dropExcess();
    void fitHeight();

    bool settingText_ = false;
};
