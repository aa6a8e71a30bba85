#pragma once

#include <QFrame>

class TextBlock;

// The help text of an info button, shown verbatim in a popup 300 points wide: the text wraps within it, its lines
// left-aligned in a centred block, and the popup is as high as the whole text.
class InfoPopoverView : public QFrame {
    Q_OBJECT

public:
    static constexpr int popoverWidth = 300;

    explicit InfoPopoverView(const QString& infoText, QWidget* parent = nullptr);

    QString infoText() const;
    TextBlock* textBlock() const { return text_; }

private:
    TextBlock* text_;
};
