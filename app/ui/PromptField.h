#pragma once

#include <QPlainTextEdit>

// The model page's prompt field: a text field whose text wraps, one line high while it holds one line and growing with
// its text up to three lines, then scrolling. Return starts no new line and Tab moves on, as in a one-line field.
// `edited` reports every change the user makes, never one made through setText.
class PromptField : public QPlainTextEdit {
    Q_OBJECT

public:
    static constexpr int lineLimit = 3;

    explicit PromptField(QWidget* parent = nullptr);

    QString text() const { return toPlainText(); }
    void setText(const QString& text);
    // The lines the field is high: its text's wrapped lines, 1 to 3.
    int visibleLineCount() const;

signals:
    void edited(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int wrappedLineCount() const;
    void fitHeight();

    bool settingText_ = false;
};
